// Reading and writing the image files the development host handles itself:
// PNG (libpng) and PFM for saving, PNG and OpenEXR for reading one channel
// of an image as a render buffer.
#ifndef DEVHOST_IMAGEFILES_H
#define DEVHOST_IMAGEFILES_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace devhost {

// A failure to read or write an image file; the text is the cause alone,
// the caller names the operation and the file.
class ImageFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Pixels row by row from the top, `channels` samples per pixel.
template <class T> struct Pixels {
    int width = 0, height = 0, channels = 0;
    std::vector<T> samples;
};

// An 8-bit PNG of 1 (grey), 2 (grey and alpha), 3 (RGB) or 4 (RGBA)
// channels. Throws ImageFileError.
void writePng(const std::string &path, const Pixels<unsigned char> &image);

// A portable float map of 1 (grey, "Pf") or 3 (RGB, "PF") channels,
// little-endian, rows stored from the bottom up. Throws ImageFileError.
void writePfm(const std::string &path, const Pixels<float> &image);

// Every channel of a PNG file as it stores them (palettes expanded to RGB,
// transparency to an alpha channel, low bit depths to 8 bits): 1 (grey),
// 2 (grey and alpha), 3 (RGB) or 4 (RGBA) samples per pixel, each 0-255,
// or 0-65535 when *bitDepth (set when given) is 16. Throws ImageFileError.
Pixels<std::uint16_t> readPng(const std::string &path, int *bitDepth = nullptr);

// One channel of an image as floats over the image's full size (the
// display window of an OpenEXR file; pixels outside its data window are 0).
// PNG samples are scaled to 0-1; PNG channels are named "R", "G", "B", "A",
// or "Y" (and "A") for grey images. Throws ImageFileError naming the
// channels the file has when the channel is missing.
Pixels<float> readImageChannel(const std::string &path, const std::string &channel);

} // namespace devhost

#endif

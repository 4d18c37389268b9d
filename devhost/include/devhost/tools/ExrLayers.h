// The layers of an OpenEXR part: its channels grouped by the part of their
// name before the last '.', the way compositing programs show them.
#ifndef DEVHOST_TOOLS_EXRLAYERS_H
#define DEVHOST_TOOLS_EXRLAYERS_H

#include <memory>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfMultiPartInputFile.h>

namespace devhost {

struct LayerChannel {
    std::string name; // the full channel name, "Diff.R"
    std::string base; // the name within its layer, "R"
    Imf::PixelType type = Imf::HALF;
    int xSampling = 1, ySampling = 1;
};

struct Layer {
    std::string name; // "" for the channels without a layer (R, G, B, A, Z...)
    std::vector<LayerChannel> channels;
};

// Layers in name order, the top level first; within a layer R G B A, then
// X Y Z, then the other channels by name.
std::vector<Layer> layersOf(const Imf::ChannelList &channels);

// Opens an OpenEXR file of any kind for reading. Throws HostError naming
// the file and the cause ("file not found", "not a regular file", or what
// the library found) before OpenEXR could wait on a pipe or a device.
std::unique_ptr<Imf::MultiPartInputFile> openExrFile(const std::string &path);

// "half", "float" or "uint".
const char *pixelTypeName(Imf::PixelType type);

// "R G B A" for the named channels of a layer, by their base names.
std::string baseNames(const std::vector<LayerChannel> &channels);

} // namespace devhost

#endif

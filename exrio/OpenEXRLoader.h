// "LW_OpenEXR": the image loader through which the host loads OpenEXR
// files. The whole load happens inside the activation: test the file, judge
// its headers, choose the part and layer that make the image, read their
// channels as floats, ask the host for an image of a fitting type, send
// size, metadata and pixel aspect, then the rows.
//
// Channels are read as FLOAT slices, the library converting HALF and UINT
// samples, so float files arrive exactly; luminance-chroma files go through
// the library's RGBA reading, which alone turns them into colours. Deep
// scan-line parts are flattened by the library (composited by depth).
//
// Placement: host row j, column i shows the file's pixel
// (displayWindow.min.x + i, displayWindow.min.y + j). Only the rows of the
// data window that fall inside the display window are read and sent; in a
// sent row the columns without data are 0, and rows without data are not
// sent (a host's new image is 0 there). File pixels outside the display
// window are dropped.
//
// Damaged and hostile files end in a result code or an exception, never in
// allocations a header merely claims: the headers are read and judged
// (see ExrLayout.h) before the library opens the file.
#ifndef RAVELCAST_EXRIO_OPENEXRLOADER_H
#define RAVELCAST_EXRIO_OPENEXRLOADER_H

#include <cstddef>
#include <string>
#include <vector>

#include "exrio/ExrLayout.h"

#include "exrio/RenderMetadata.h"
#include "hostkit/ImageLoaderHandler.h"

namespace ravelcast {

// Channel-set bits of the channels directly in a layer ("" for the base
// level, else the layer's name and a dot): R 1, G 2, B 4, A 8, Y 16,
// chroma ("RY" or "BY") 32.
int loaderChannelSet(const std::vector<std::string> &names, const std::string &layer);

// The host image type for a channel set: 4 (RGB floats) for exactly R, G,
// B or exactly Y with chroma, 3 (grey floats) for exactly Y, 6 (RGBA
// floats) for anything else.
int loaderImageType(int channelSet);

// The channels an image is made of: a part and a layer in it.
struct LoaderChoice {
    std::size_t part = 0;
    std::string layer; // "" (the base level) or a layer's name and a dot
};

// The first part, in file order, with base-level R, G, B or Y; else the
// first part with a layer holding such channels, and in it the first such
// layer in channel-list order (its A belongs to it); else part 0. Parts
// the loader cannot read (deep tiled, deep without "Z"), and parts of a
// view other than a multi-view file's default one, are passed over while
// another part is readable.
LoaderChoice chooseLoaderChannels(const ExrLayout &layout);

class OpenEXRLoader : public hostkit::ImageLoaderHandler {
public:
    OpenEXRLoader(int version, LWImageLoaderLocal *access);

    // IPSTAT_NOREC for a file that is not OpenEXR, IPSTAT_BADFILE when its
    // pixel data is incomplete (its chunk offset tables do not fit in it,
    // or an entry is missing or points past its end), IPSTAT_FAILED when the host gives no image, IPSTAT_ABORT
    // when the user stops the progress, a code the host's sendLine
    // answered, or IPSTAT_OK. Unreadable, damaged or unaffordable files
    // throw an Iex exception whose message starts "Cannot read image file ".
    int load(const std::string &fileName) override;

    const RenderMetadata &metadata() const { return metadata_; }

private:
    void sendHeaderFacts(const Imf::Header &header, int width, int height);

    RenderMetadata metadata_;
};

} // namespace ravelcast

#endif

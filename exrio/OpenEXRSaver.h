// "OpenEXR(.exr)": the image saver through which the host writes an
// ordinary image as a scan-line OpenEXR file. One saver is made per image;
// the host sends the size, its metadata (as items, or the pixel aspect as a
// parameter) and the lines, and each line is converted and written at once.
// Compression and channel pixel type come from the shared saver settings
// record; the header carries the render metadata.
//
// Two cases the host protocol leaves open are settled here:
// - UINT channels ("Int 32"): 8-bit host values are written as their code
//   0-255; float host values are converted to unsigned integers (truncated
//   towards zero, negative and NaN 0, saturating at 4294967295), never
//   reinterpreted from the float's bits.
// - Indexed-colour lines (host type 2): each index is looked up in the
//   palette the host gave through setMap (entries not given keep a grey
//   ramp: index i is (i, i, i)), and written as "R", "G", "B".
#ifndef RAVELCAST_EXRIO_OPENEXRSAVER_H
#define RAVELCAST_EXRIO_OPENEXRSAVER_H

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ImfHeader.h>

#include "exrio/DynamicBuffer.h"
#include "exrio/ExrFiles.h"
#include "exrio/RenderMetadata.h"
#include "exrio/SaverSettings.h"
#include "hostkit/ImageSaverHandler.h"

namespace ravelcast {

// The channel names of a host image type: "R", "G", "B" for 0, 2 and 4;
// "Y" for 1 and 3; "R", "G", "B", "A" otherwise.
std::vector<std::string> saverChannelNames(int imageType);

// The header of a saved image: every attribute of the metadata's header,
// then the image's own: display and data window (0, 0) to (width - 1,
// height - 1), the pixel aspect when it is not 0, screen window centre
// (0, 0) and width 1, increasing-Y line order, the compression, and the
// image type's channels, all of the given pixel type. Throws
// std::invalid_argument for a size below 1, an unknown compression or
// pixel type.
Imf::Header saverHeader(const Imf::Header &metadata, int width, int height, float pixelAspect,
                        int compression, int pixelType, int imageType);

class OpenEXRSaver : public hostkit::ImageSaverHandler {
public:
    OpenEXRSaver(int protocolType, LWImageSaverLocal *local);
    ~OpenEXRSaver() override;

    // Before the first line the last size sent counts. Once the file is
    // open its size is fixed: another size throws, and every later line is
    // refused (IPSTAT_FAILED) and done answers IPSTAT_FAILED.
    void setSize(int width, int height) override;
    // With IPSTAT_OK after every line of the image was written: finishes
    // the file and puts it in place (throws when it cannot, and the old
    // file stays). A failure code, an earlier failed line or missing lines
    // drop the file instead: nothing is left behind, the old file stays,
    // and a failure is answered (missing lines throw, naming the file).
    int done(int code) override;
    // Tags 3 to 52 go to the render metadata. Tag 1, the pixel aspect as
    // decimal text, is taken as set-parameter 1 would be: version-3 hosts
    // send it this way instead.
    int metadataItem(int tag, const char *text) override;
    // Only parameter 1, the pixel aspect ratio, is used; values that are
    // not finite and positive are ignored.
    void setParameter(int param, int ival, float fval) override;
    // Opens the file at the first line, converts the line for the record's
    // image type and writes it. Lines are written in the order they come.
    int sendLine(int y, const void *pixels) override;
    void setMap(int index, const unsigned char rgb[3]) override;

    int width() const { return width_; }
    int height() const { return height_; }
    float pixelAspect() const { return pixelAspect_; }
    const RenderMetadata &metadata() const { return metadata_; }
    const SaverSettingsRecord &settings() const { return *settings_; }
    bool fileOpen() const { return output_ != nullptr || lineOutput_ != nullptr; }

protected:
    // The line converters, each filling the channel buffers for all width
    // pixels.
    void greyBytes(const unsigned char *pixels);
    void greyFloats(const float *pixels);
    void rgbaFloats(const float *pixels);
    void rgbaBytes(const unsigned char *pixels);
    void rgbFloats(const float *pixels);
    void rgbBytes(const unsigned char *pixels);
    void indexedBytes(const unsigned char *pixels);
    // Creates the file with its header and frame buffer; does nothing when
    // it is open already. Answers IPSTAT_OK; library failures are thrown.
    int openFile();
    void writeLine();

private:
    enum Channel { kR, kG, kB, kA, kY, kChannels };

    int width_ = 0, height_ = 0;
    bool sizeRefused_ = false;
    bool failed_ = false;
    int linesWritten_ = 0;
    float pixelAspect_ = 0.0f;
    RenderMetadata metadata_;
    SaverSettingsRecord *settings_;
    std::map<std::string, std::unique_ptr<LineBuffer>> lines_;
    std::array<LineBuffer *, kChannels> buffers_{};
    std::array<unsigned char, 256 * 3> palette_{};
    // One of the two: the file written through the library, or (ZIP, ZIPS
    // and uncompressed files) its lines packed here, into line_.
    std::unique_ptr<ExrOutput> output_;
    std::unique_ptr<ExrLineOutput> lineOutput_;
    std::vector<unsigned char> line_;
};

} // namespace ravelcast

#endif

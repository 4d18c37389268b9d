// One channel of an exportable render buffer: its names, the host buffer it
// reads, its Flip setting and its preview samples.
#ifndef RAVELCAST_EXPORT_BUFFERCHANNEL_H
#define RAVELCAST_EXPORT_BUFFERCHANNEL_H

#include <functional>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfPixelType.h>

#include "hostkit/FrameAccess.h"

#include "hostkit/BlockIO.h"
#include "hostkit/Fields.h"
#include "hostkit/Storeable.h"
#include "hostkit/utility/RefCounted.h"

namespace ravelcast {

// A row of the catalogue's channel lists; a null long name ends a list.
struct ChannelSpec {
    const char *longName;
    const char *channelName;
    int hostBuffer;
    int requestMask;
};

// The running extremes start here: the largest float and the smallest
// positive normal float (so an all-negative buffer keeps this maximum).
constexpr float kNoMinimum = 3.40282347e38f;
constexpr float kNoMaximum = 1.17549435e-38f;

// A channel resampled to a preview size with the box kernel, and the
// extremes of the source samples it read.
struct Resampled {
    std::vector<float> samples; // width x height, row by row; empty without data
    int width = 0;
    int height = 0;
    float minimum = kNoMinimum;
    float maximum = kNoMaximum;
};

// The box-kernel resampling of one channel onto width x height, fed the
// host's rows one at a time, so that other work can use the same rows.
class BoxResampler {
public:
    // excluded: source samples that do not widen the extremes (empty: none).
    BoxResampler(int sourceWidth, int sourceHeight, int width, int height,
                 std::function<bool(float)> excluded = {});
    // Row y of the source, in order from 0; a null line gives zeros.
    void row(int y, const float *line);
    // The vertical pass over the rows given.
    Resampled finish();

private:
    int sourceWidth_, sourceHeight_;
    std::function<bool(float)> excluded_;
    Resampled result_;
    std::vector<float> rows_; // every source row at the target width
};

class BufferChannel : public hostkit::RefCounted {
public:
    explicit BufferChannel(const ChannelSpec &spec);

    // The channel's scene sub-block (its CSER level).
    hostkit::ErrorText load(hostkit::LoadState &state);
    hostkit::ErrorText save(hostkit::SaveState &state);
    const std::string &channelName() const;
    const std::string &longName() const;
    void setChannelName(const std::string &name);
    bool flip() const;
    void setFlip(bool flip);
    // prefix.channel, or whichever is not empty; "Y" for a single channel
    // with both empty, otherwise empty.
    std::string fullChannelName(bool singleChannel, const std::string &prefix) const;
    // Throws the library's exception for an empty name.
    void insertChannel(Imf::PixelType type, Imf::ChannelList &list, bool singleChannel,
                               const std::string &prefix) const;
    // The host's line y of this channel's buffer; may be null.
    const float *getLine(int y, const hostkit::FrameAccess &access) const;
    int requestMask() const;
    // Replaces the preview samples (and their extremes).
    void setPreview(Resampled preview) { preview_ = std::move(preview); }
    // The stored sample, 0 outside the preview.
    float previewSample(int x, int y) const;
    ~BufferChannel() override = default;

    int hostBuffer() const { return hostBuffer_; }
    void setHostBuffer(int buffer) { hostBuffer_ = buffer; }
    float previewMinimum() const { return preview_.minimum; }
    float previewMaximum() const { return preview_.maximum; }
    int previewWidth() const { return preview_.width; }
    int previewHeight() const { return preview_.height; }
    // Copies the user settings (names, host buffer, Flip) of another channel.
    void copySettings(const BufferChannel &other);

    // The box-kernel resampling of the channel's host buffer.
    Resampled resample(const hostkit::FrameAccess &access, int width, int height) const;
    // Kernel width for resampling source samples onto target samples.
    static int kernelWidth(int source, int target);

    // The channel-level settings, each named once.
    static const hostkit::FieldTable<BufferChannel> &fields();

private:
    std::string longName_;
    std::string channelName_;
    int hostBuffer_;
    int requestMask_;
    Resampled preview_;
    bool flip_ = false;
};

} // namespace ravelcast

#endif

#include "export/BufferChannel.h"
#include "export/FilterControls.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace ravelcast {

namespace {

// One pass of the box kernel over n source samples (read through at(i)) onto
// m target samples. visit(v) sees every source sample read, weighted or not.
template <class At, class Visit>
void boxPass(int n, int m, At at, float *out, Visit visit)
{
    if (m == n) {
        for (int j = 0; j < n; ++j) {
            const float v = at(j);
            visit(v);
            out[j] = v;
        }
        return;
    }
    const int k = BufferChannel::kernelWidth(n, m);
    const float ratio = static_cast<float>(n) / static_cast<float>(m);
    for (int j = 0; j < m; ++j) {
        const float c = ratio * static_cast<float>(j);
        const int first = static_cast<int>(std::trunc(std::floor(c) - k * 0.5));
        float sum = 0.0f, weights = 0.0f;
        for (int t = 0; t < k; ++t) {
            const int col = first + t;
            const bool inside = col >= 0 && col < n;
            const float v = at(inside ? col : 0);
            visit(v);
            if (inside) {
                sum += v;
                weights += 1.0f;
            }
        }
        out[j] = weights > 0.0f ? sum / weights : 0.0f;
    }
}
} // namespace

BufferChannel::BufferChannel(const ChannelSpec &spec)
    : longName_(spec.longName), channelName_(spec.channelName), hostBuffer_(spec.hostBuffer),
      requestMask_(spec.requestMask)
{
}

const hostkit::FieldTable<BufferChannel> &BufferChannel::fields()
{
    using namespace hostkit::fields;
    using hostkit::blockId;
    using hostkit::Control;
    using C = BufferChannel;
    static const hostkit::FieldTable<C> table({
        text<C, &C::channelName_>({blockId("CXNM"), "EXRChannelName"})
            .on(kChannelNameControl, "Channel Name", Control::Text),
        // A buffer number the host does not have keeps the channel's own.
        number<C, &C::hostBuffer_>({blockId("CLBF"), "LWBuffer"}, hostkit::Stored::I4, 0,
                                   LWBUF_COUNT - 1),
        flag<C, &C::flip_>({blockId("FLIP"), "Flip"})
            .on(kFlipChannelControl, "Flip Channel", Control::Boolean),
    });
    return table;
}

hostkit::ErrorText BufferChannel::load(hostkit::LoadState &state)
{
    hostkit::ErrorText error;
    while (unsigned int id = state.findBlock(fields().idents())) {
        hostkit::FoundBlock block(state);
        fields().load(*this, id, state, error);
    }
    return error;
}

hostkit::ErrorText BufferChannel::save(hostkit::SaveState &state)
{
    fields().save(*this, state);
    return {};
}

const std::string &BufferChannel::channelName() const { return channelName_; }
const std::string &BufferChannel::longName() const { return longName_; }
void BufferChannel::setChannelName(const std::string &name) { channelName_ = name; }
bool BufferChannel::flip() const { return flip_; }
void BufferChannel::setFlip(bool flip) { flip_ = flip; }

std::string BufferChannel::fullChannelName(bool singleChannel, const std::string &prefix) const
{
    if (prefix.empty() && channelName_.empty())
        return singleChannel ? "Y" : "";
    if (prefix.empty())
        return channelName_;
    if (channelName_.empty())
        return prefix;
    return prefix + "." + channelName_;
}

void BufferChannel::insertChannel(Imf::PixelType type, Imf::ChannelList &list,
                                  bool singleChannel, const std::string &prefix) const
{
    list.insert(fullChannelName(singleChannel, prefix), Imf::Channel(type, 1, 1, false));
}

const float *BufferChannel::getLine(int y, const hostkit::FrameAccess &access) const
{
    return access.line(hostBuffer_, y);
}

int BufferChannel::requestMask() const { return requestMask_; }

int BufferChannel::kernelWidth(int source, int target)
{
    const int k = static_cast<int>(std::ceil(static_cast<double>(source) / target));
    return k <= 1 ? 2 : k;
}

BoxResampler::BoxResampler(int sourceWidth, int sourceHeight, int width, int height,
                           std::function<bool(float)> excluded)
    : sourceWidth_(sourceWidth), sourceHeight_(sourceHeight), excluded_(std::move(excluded)),
      rows_(static_cast<std::size_t>(std::max(sourceHeight, 0)) * std::max(width, 0))
{
    result_.width = width;
    result_.height = height;
}

void BoxResampler::row(int y, const float *line)
{
    const int width = result_.width;
    if (y < 0 || y >= sourceHeight_ || width <= 0)
        return;
    float *out = &rows_[static_cast<std::size_t>(y) * width];
    if (!line) {
        std::fill(out, out + width, 0.0f);
        return;
    }
    Resampled &r = result_;
    const std::function<bool(float)> &excluded = excluded_;
    boxPass(sourceWidth_, width, [line](int i) { return line[i]; }, out, [&r, &excluded](float v) {
        if (excluded && excluded(v))
            return;
        r.minimum = std::min(r.minimum, v);
        r.maximum = std::max(r.maximum, v);
    });
}

Resampled BoxResampler::finish()
{
    // Vertical pass on the columns; it leaves the extremes alone.
    const int width = result_.width, height = result_.height;
    result_.samples.assign(static_cast<std::size_t>(width) * height, 0.0f);
    std::vector<float> column(static_cast<std::size_t>(std::max(height, 0)));
    for (int x = 0; x < width; ++x) {
        boxPass(sourceHeight_, height,
                [&](int i) { return rows_[static_cast<std::size_t>(i) * width + x]; },
                column.data(), [](float) {});
        for (int y = 0; y < height; ++y)
            result_.samples[static_cast<std::size_t>(y) * width + x] = column[y];
    }
    rows_.clear();
    return std::move(result_);
}

Resampled BufferChannel::resample(const hostkit::FrameAccess &access, int width, int height) const
{
    Resampled r;
    r.width = width;
    r.height = height;
    if (width <= 0 || height <= 0 || !getLine(0, access) || access.width() <= 0 ||
        access.height() <= 0)
        return r;
    BoxResampler resampler(access.width(), access.height(), width, height);
    for (int y = 0; y < access.height(); ++y)
        resampler.row(y, getLine(y, access));
    return resampler.finish();
}

float BufferChannel::previewSample(int x, int y) const
{
    if (x < 0 || y < 0 || x >= preview_.width || y >= preview_.height || preview_.samples.empty())
        return 0.0f;
    return preview_.samples[static_cast<std::size_t>(y) * preview_.width + x];
}

void BufferChannel::copySettings(const BufferChannel &other) { fields().copy(*this, other); }

} // namespace ravelcast

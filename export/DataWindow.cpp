#include "export/DataWindow.h"

#include <algorithm>
#include <climits>

namespace ravelcast {

Imath::Box2i emptyWindow()
{
    return Imath::Box2i(Imath::V2i(INT_MAX, INT_MAX), Imath::V2i(INT_MIN, INT_MIN));
}

namespace {

// The tests, inlined into the scans below. A half is 0 for magnitudes up to
// 2^-25 (rounded to nearest, ties to even); a finite value beyond 65504
// becomes infinity, and only infinity is at or beyond half(2e14).
struct UintZero {
    bool operator()(float v) const { return std::isnan(v) || std::trunc(v) == 0.0f; }
};
struct HalfZero {
    bool operator()(float v) const { return std::fabs(v) <= 0x1p-25f; }
};
struct FloatZero {
    bool operator()(float v) const { return v == 0.0f || std::isnan(v); }
};
struct FarUint {
    bool operator()(float v) const
    {
        if (std::isnan(v))
            return false;
        const auto wide = static_cast<std::int64_t>(std::trunc(std::clamp(v, -9.2e18f, 9.2e18f)));
        return static_cast<std::uint32_t>(wide) > 552894463u;
    }
};
struct FarHalf {
    bool operator()(float v) const { return v > 65504.0f; }
};
struct FarFloat {
    bool operator()(float v) const { return v >= 2e14f; }
};

template <class F> decltype(auto) withTest(Emptiness kind, F &&f)
{
    switch (kind) {
    case Emptiness::Uint: return f(UintZero());
    case Emptiness::Half: return f(HalfZero());
    case Emptiness::Float: return f(FloatZero());
    case Emptiness::FarUint: return f(FarUint());
    case Emptiness::FarHalf: return f(FarHalf());
    default: return f(FarFloat());
    }
}

// The first x from `from` towards `to` (step +1 or -1) where the line holds
// data; `to` when it holds none there.
template <class Empty> int firstHolding(Empty empty, const float *line, int from, int to, int step)
{
    int x = from;
    // Whole runs of 16 at a time: the test of a run has no branch per
    // value, so the compiler makes it a few vector compares.
    constexpr int kRun = 16;
    while ((to - x) * step >= kRun) {
        const float *run = step > 0 ? line + x : line + x - (kRun - 1);
        bool all = true;
        for (int k = 0; k < kRun; ++k)
            all &= empty(run[k]);
        if (!all)
            break;
        x += step * kRun;
    }
    while (x != to && empty(line[x]))
        x += step;
    return x;
}

} // namespace

bool isEmpty(Emptiness kind, float v)
{
    return withTest(kind, [v](auto empty) { return empty(v); });
}

DataWindowMeter::DataWindowMeter(Emptiness empty, int channels, int width, int height)
    : empty_(empty), channels_(channels), width_(width),
      seen_(static_cast<std::size_t>(std::max(height, 0)), false), box_(emptyWindow())
{
}

bool DataWindowMeter::measured(int y) const
{
    return y < 0 || y >= static_cast<int>(seen_.size()) || seen_[static_cast<std::size_t>(y)];
}

void DataWindowMeter::row(int y, const float *const *lines)
{
    if (measured(y))
        return;
    seen_[static_cast<std::size_t>(y)] = true;
    // A pixel holds data when any channel does there: a pure red pixel, a
    // normal (0, 1, 0). Only the row's ends matter; each channel is scanned
    // from each side up to the data another channel already found there, a
    // missing line holding none.
    int first = width_, last = -1;
    withTest(empty_, [&](auto empty) {
        for (int c = 0; c < channels_; ++c) {
            const float *line = lines[c];
            if (!line)
                continue;
            first = firstHolding(empty, line, 0, first, 1);
            if (first == width_)
                continue;
            last = std::max(last, firstHolding(empty, line, width_ - 1, last, -1));
        }
        return 0;
    });
    if (first == width_)
        return;
    box_.min.y = std::min(box_.min.y, y);
    box_.max.y = std::max(box_.max.y, y);
    box_.min.x = std::min(box_.min.x, first);
    box_.max.x = std::max(box_.max.x, last);
}

} // namespace ravelcast

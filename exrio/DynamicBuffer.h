// One line of one channel of an image being saved, held in the channel's
// pixel type, and the slice through which the library reads it.
#ifndef RAVELCAST_EXRIO_DYNAMICBUFFER_H
#define RAVELCAST_EXRIO_DYNAMICBUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <ImfFrameBuffer.h>
#include <ImfPixelType.h>
#include <half.h>

namespace ravelcast {

// 1/255 as the nearest float (bits 0x3B808081): an 8-bit host value times
// this is its 0-1 value.
constexpr float kByteScale = 1.0f / 255.0f;

// What the saver's converters see of a channel's line.
class LineBuffer {
public:
    virtual ~LineBuffer() = default;
    // An 8-bit host value of pixel x.
    virtual void setByte(int x, unsigned char value) = 0;
    // A float host value of pixel x.
    virtual void setFloat(int x, float value) = 0;
    // The pixel type the line holds.
    virtual Imf::PixelType pixelType() const = 0;
    // The line as a slice of a file whose data window starts at column 0:
    // every scan line reads the same storage (y stride 0).
    virtual Imf::Slice slice() const = 0;
    virtual int width() const = 0;
    // The line's values as a file stores them (on a machine that stores
    // numbers least significant byte first), width() of them.
    virtual const unsigned char *bytes() const = 0;
    virtual std::size_t byteCount() const = 0;
};

// T is half (HALF channels), float (FLOAT) or std::uint32_t (UINT).
//
// half and float lines store 8-bit values as value / 255 and float values
// as they are (rounded to the nearest half for half). A UINT line stores
// 8-bit values as their code 0-255, so an 8-bit image keeps its values
// exactly, and float values converted as the library converts them
// (truncated towards zero; negative and NaN give 0; 2^32 and more, and
// +infinity, give 4294967295) - never the float's bits.
template <class T> class DynamicBuffer final : public LineBuffer {
public:
    explicit DynamicBuffer(int width) : line_(width > 0 ? static_cast<std::size_t>(width) : 0) {}

    void setByte(int x, unsigned char value) override { line_[at(x)] = fromByte(value); }
    void setFloat(int x, float value) override { line_[at(x)] = fromFloat(value); }
    Imf::PixelType pixelType() const override;
    Imf::Slice slice() const override
    {
        return Imf::Slice(pixelType(), reinterpret_cast<char *>(const_cast<T *>(line_.data())),
                          sizeof(T), 0);
    }
    int width() const override { return static_cast<int>(line_.size()); }
    const unsigned char *bytes() const override
    {
        return reinterpret_cast<const unsigned char *>(line_.data());
    }
    std::size_t byteCount() const override { return line_.size() * sizeof(T); }

    const T *data() const { return line_.data(); }
    T value(int x) const { return line_[at(x)]; }

    static T fromByte(unsigned char value);
    static T fromFloat(float value);

private:
    static std::size_t at(int x) { return static_cast<std::size_t>(x); }
    std::vector<T> line_;
};

std::uint32_t floatToUnsigned(float value);

template <> inline Imf::PixelType DynamicBuffer<half>::pixelType() const { return Imf::HALF; }
template <> inline Imf::PixelType DynamicBuffer<float>::pixelType() const { return Imf::FLOAT; }
template <> inline Imf::PixelType DynamicBuffer<std::uint32_t>::pixelType() const
{
    return Imf::UINT;
}

template <> inline half DynamicBuffer<half>::fromByte(unsigned char v) { return half(v * kByteScale); }
template <> inline half DynamicBuffer<half>::fromFloat(float v) { return half(v); }
template <> inline float DynamicBuffer<float>::fromByte(unsigned char v) { return v * kByteScale; }
template <> inline float DynamicBuffer<float>::fromFloat(float v) { return v; }
template <> inline std::uint32_t DynamicBuffer<std::uint32_t>::fromByte(unsigned char v)
{
    return v;
}
template <> inline std::uint32_t DynamicBuffer<std::uint32_t>::fromFloat(float v)
{
    return floatToUnsigned(v);
}

} // namespace ravelcast

#endif

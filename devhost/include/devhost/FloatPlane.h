// A zero-filled array of floats for one image plane. Large planes are
// mapped straight from the system and, where the system offers it, backed
// by huge pages: a full-HD frame with every buffer is half a gigabyte, and
// first-touch page faults would otherwise cost more than rendering it.
#ifndef DEVHOST_FLOATPLANE_H
#define DEVHOST_FLOATPLANE_H

#include <cstddef>

namespace devhost {

class FloatPlane {
public:
    FloatPlane() = default;
    // count zero floats; throws std::bad_alloc.
    explicit FloatPlane(std::size_t count);
    ~FloatPlane();
    FloatPlane(const FloatPlane &other);
    FloatPlane &operator=(const FloatPlane &other);
    FloatPlane(FloatPlane &&other) noexcept;
    FloatPlane &operator=(FloatPlane &&other) noexcept;

    float *data() { return data_; }
    const float *data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    float &operator[](std::size_t i) { return data_[i]; }
    float operator[](std::size_t i) const { return data_[i]; }
    float *begin() { return data_; }
    float *end() { return data_ + size_; }
    const float *begin() const { return data_; }
    const float *end() const { return data_ + size_; }

private:
    void release() noexcept;

    float *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0; // bytes mapped from the system; 0: heap memory
};

} // namespace devhost

#endif

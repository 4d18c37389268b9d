#include "devhost/FloatPlane.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace devhost {

namespace {
#if defined(__linux__)
constexpr std::size_t kHugePage = std::size_t(2) << 20;
#endif
} // namespace

FloatPlane::FloatPlane(std::size_t count)
{
    if (count == 0)
        return;
    if (count > static_cast<std::size_t>(-1) / sizeof(float) / 2)
        throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(float);
#if defined(__linux__)
    if (bytes >= kHugePage) {
        const std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void *p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        madvise(p, length, MADV_HUGEPAGE); // advice only: fine if refused
        data_ = static_cast<float *>(p);   // fresh mappings read as zero
        size_ = count;
        mapped_ = length;
        return;
    }
#endif
    data_ = static_cast<float *>(std::calloc(count, sizeof(float)));
    if (!data_)
        throw std::bad_alloc();
    size_ = count;
}

FloatPlane::~FloatPlane() { release(); }

void FloatPlane::release() noexcept
{
    if (!data_)
        return;
#if defined(__linux__)
    if (mapped_) {
        munmap(data_, mapped_);
        data_ = nullptr;
        size_ = mapped_ = 0;
        return;
    }
#endif
    std::free(data_);
    data_ = nullptr;
    size_ = mapped_ = 0;
}

FloatPlane::FloatPlane(const FloatPlane &other) : FloatPlane(other.size_)
{
    if (size_)
        std::memcpy(data_, other.data_, size_ * sizeof(float));
}

FloatPlane &FloatPlane::operator=(const FloatPlane &other)
{
    if (this != &other) {
        FloatPlane copy(other);
        *this = std::move(copy);
    }
    return *this;
}

FloatPlane::FloatPlane(FloatPlane &&other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0))
{
}

FloatPlane &FloatPlane::operator=(FloatPlane &&other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

} // namespace devhost

// The set of host render buffers a filter asks for, read from either of the
// two forms a filter answers: a bit mask (activation version 4) or a counted
// list (version 5).
#ifndef DEVHOST_BUFFERREQUEST_H
#define DEVHOST_BUFFERREQUEST_H

#include <bitset>
#include <vector>

#include <lwsdk/filter.h>

namespace devhost {

class BufferRequest {
public:
    // Bit i asks for buffer i (i < 32); the refraction colours 36, 37 and 38
    // need every bit of 0x920020, 0x1240020 and 0x2480020, refraction alpha
    // (39) bit 0x20. Buffers 40-59 cannot be asked for in this form.
    static BufferRequest fromMask(unsigned int mask);
    // Count, then that many buffer numbers; numbers outside 0-59 are
    // ignored, a null list or a negative count asks for nothing, and a count
    // above kMaxListCount is taken as that many.
    static BufferRequest fromList(const int *list);
    static BufferRequest all();

    static constexpr int kMaxListCount = 4096;

    void add(int buffer);
    bool has(int buffer) const;
    bool empty() const { return set_.none(); }
    int count() const { return static_cast<int>(set_.count()); }
    // The buffers in increasing order.
    std::vector<int> buffers() const;
    BufferRequest &operator|=(const BufferRequest &other);
    bool operator==(const BufferRequest &other) const { return set_ == other.set_; }
    bool operator!=(const BufferRequest &other) const { return set_ != other.set_; }

private:
    std::bitset<LWBUF_COUNT> set_;
};

} // namespace devhost

#endif

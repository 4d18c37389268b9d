// Intrusive reference counting: the object carries its count and is
// destroyed when the last Ref to it goes.
#ifndef HOSTKIT_UTILITY_REFCOUNTED_H
#define HOSTKIT_UTILITY_REFCOUNTED_H

#include <utility>

namespace hostkit {

class RefCounted {
public:
    void addRef() const { ++refs_; }
    void release() const
    {
        if (--refs_ == 0)
            delete this;
    }
    int refCount() const { return refs_; }

protected:
    RefCounted() = default;
    RefCounted(const RefCounted &) : refs_(0) {}
    RefCounted &operator=(const RefCounted &) { return *this; }
    virtual ~RefCounted() = default;

private:
    mutable int refs_ = 0;
};

template <class T> class Ref {
public:
    Ref() = default;
    Ref(T *p) : p_(p) // NOLINT: implicit from a new object is the point
    {
        if (p_)
            p_->addRef();
    }
    Ref(const Ref &o) : Ref(o.p_) {}
    Ref(Ref &&o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U> Ref(const Ref<U> &o) : Ref(o.get()) {}
    ~Ref()
    {
        if (p_)
            p_->release();
    }
    Ref &operator=(Ref o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }

    T *get() const { return p_; }
    T *operator->() const { return p_; }
    T &operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T *p_ = nullptr;
};

} // namespace hostkit

#endif

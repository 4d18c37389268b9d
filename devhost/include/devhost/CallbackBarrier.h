// The host's own side of the C tables: an exception thrown inside one of
// the development host's callbacks must not unwind into the module (a C
// caller cannot take it, and the process would end). Every function the
// module can call through a table is wrapped here; an exception is
// reported on standard error, counted, and the call answers the zero value
// of its return type, as a real host answers a call it cannot serve.
#ifndef DEVHOST_CALLBACKBARRIER_H
#define DEVHOST_CALLBACKBARRIER_H

#include <exception>
#include <type_traits>

#if defined(_MSC_VER)
#define DEVHOST_CALLBACK_NAME __FUNCSIG__
#else
#define DEVHOST_CALLBACK_NAME __PRETTY_FUNCTION__
#endif

namespace devhost {

// Reports an exception that reached a callback; never throws.
void reportCallbackFailure(const char *callback, const char *what) noexcept;
// How many exceptions the barrier stopped in this process.
int callbackFailures() noexcept;

namespace detail {

template <class R, class Call> R barrier(const char *callback, Call &&call) noexcept
{
    try {
        return call();
    } catch (const std::exception &e) {
        reportCallbackFailure(callback, e.what());
    } catch (...) {
        reportCallbackFailure(callback, "an exception of unknown type");
    }
    if constexpr (!std::is_void_v<R>)
        return R{};
}

template <auto F> struct Guarded;
template <class R, class... A, R (*F)(A...)> struct Guarded<F> {
    static R call(A... a) noexcept
    {
        return barrier<R>(DEVHOST_CALLBACK_NAME, [&]() -> R { return F(a...); });
    }
};

// A captureless lambda kept once per closure type, so a plain function can
// call it without an instance of its own.
template <class L> const L &kept(const L *first = nullptr)
{
    static const L lambda = *first;
    return lambda;
}

template <class L, class R, class... A> R callKept(A... a) noexcept
{
    return barrier<R>(DEVHOST_CALLBACK_NAME, [&]() -> R { return kept<L>()(a...); });
}

template <class L, class R, class... A> auto keptThunk(R (*)(A...))
{
    return &callKept<L, R, A...>;
}

} // namespace detail

// The guarded form of a named callback: table.fn = guarded<fnThunk>;
template <auto F> inline constexpr auto guarded = &detail::Guarded<F>::call;

// The guarded form of a captureless lambda: table.fn = guardedLambda([](...) {...});
template <class L> auto guardedLambda(const L &lambda)
{
    detail::kept(&lambda);
    return detail::keptThunk<L>(+lambda);
}

} // namespace devhost

#endif

// The one place where exceptions stop before they reach the host.
//
// Every C callback runs its body through one of these guards. Exceptions
// are caught in a fixed order (std::exception, which OpenEXR's Iex
// exceptions derive from, then anything else) and either shown as a
// two-line error through "Info Messages 2" or handed back as error text.
#ifndef HOSTKIT_EXCEPTIONBARRIER_H
#define HOSTKIT_EXCEPTIONBARRIER_H

#include <exception>
#include <string>
#include <utility>

#include "hostkit/HostInfo.h"

namespace hostkit {

// Shows headline (e.g. "An exception occured in ImageFilter::Process():")
// with description as second line. Never throws.
void reportError(const char *headline, const char *description) noexcept;

// Description of the exception being handled; only call inside a catch.
const char *currentExceptionText() noexcept;

// Runs f; on an exception shows headline and answers neutral.
template <class R, class F>
R guarded(const char *headline, R neutral, F &&f) noexcept
{
    try {
        return std::forward<F>(f)();
    } catch (...) {
        reportError(headline, currentExceptionText());
    }
    return neutral;
}

template <class F> void guardedVoid(const char *headline, F &&f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        reportError(headline, currentExceptionText());
    }
}

// Runs f, which answers a text to hand the host (kept in storage); an
// exception's description is handed over instead. Never null.
template <class F> const char *guardedString(std::string &storage, F &&f) noexcept
{
    try {
        storage = std::forward<F>(f)();
    } catch (...) {
        try {
            storage = currentExceptionText();
        } catch (...) {
            return "out of memory";
        }
    }
    return storage.c_str();
}

// Runs f, which answers an error text (empty for none); an exception's
// description becomes the text. The answer points into storage, or is null
// for no error.
template <class F> const char *guardedText(std::string &storage, F &&f) noexcept
{
    const char *text = guardedString(storage, std::forward<F>(f));
    return *text ? text : nullptr;
}

// For callbacks the host makes before any of its services can be reached
// (module startup and shutdown): nothing can be shown, so an exception only
// makes the answer neutral.
template <class R, class F> R guardedQuiet(R neutral, F &&f) noexcept
{
    try {
        return std::forward<F>(f)();
    } catch (...) {
    }
    return neutral;
}

// An activation: keeps the host's global function, then runs f, which fills
// the host's table and answers the activation code. On an exception
// onFailure marks the host's record (it must not throw), the error is shown
// under headline and the answer is failure.
template <class F, class OnFailure>
int guardedActivation(const char *headline, GlobalFunc global, int failure, F &&f,
                      OnFailure &&onFailure) noexcept
{
    try {
        beginActivation(global);
        return std::forward<F>(f)();
    } catch (...) {
        onFailure();
        reportError(headline, currentExceptionText());
    }
    return failure;
}

template <class F>
int guardedActivation(const char *headline, GlobalFunc global, int failure, F &&f) noexcept
{
    return guardedActivation(headline, global, failure, std::forward<F>(f), [] {});
}

} // namespace hostkit

#endif

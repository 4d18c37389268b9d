#include "devhost/CallbackBarrier.h"

#include <atomic>
#include <cstdio>

namespace devhost {

namespace {
std::atomic<int> g_failures{0};
}

void reportCallbackFailure(const char *callback, const char *what) noexcept
{
    ++g_failures;
    std::fprintf(stderr, "devhost: a host callback failed and answered nothing: %s (in %s)\n",
                 what ? what : "", callback ? callback : "?");
}

int callbackFailures() noexcept { return g_failures.load(); }

} // namespace devhost

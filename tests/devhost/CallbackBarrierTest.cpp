// The host's own callbacks: an exception stops at the table entry, is
// counted and reported, and the call answers zero; lambdas of the same
// signature keep their own bodies.

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "devhost/CallbackBarrier.h"

namespace {

int half(int n)
{
    if (n % 2)
        throw std::invalid_argument("odd");
    return n / 2;
}

TEST(CallbackBarrier, StopsExceptionsAtTheTableEntry)
{
    const int before = devhost::callbackFailures();
    int (*named)(int) = devhost::guarded<half>;
    int (*twice)(int) = devhost::guardedLambda([](int n) { return n * 2; });
    int (*thrice)(int) = devhost::guardedLambda([](int n) {
        if (n < 0)
            throw 7;
        return n * 3;
    });
    void (*fails)(const char *) =
        devhost::guardedLambda([](const char *s) { throw std::runtime_error(s); });
    const char *(*text)() = devhost::guardedLambda([]() -> const char * { throw std::bad_alloc(); });

    testing::internal::CaptureStderr();
    EXPECT_EQ(named(8), 4);
    EXPECT_EQ(named(7), 0);
    EXPECT_EQ(twice(5), 10);
    EXPECT_EQ(thrice(5), 15);
    EXPECT_EQ(thrice(-1), 0);
    fails("the disk is gone");
    EXPECT_EQ(text(), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(devhost::callbackFailures() - before, 4);
    EXPECT_NE(err.find("a host callback failed and answered nothing: odd"), std::string::npos) << err;
    EXPECT_NE(err.find("the disk is gone"), std::string::npos) << err;
    EXPECT_NE(err.find("an exception of unknown type"), std::string::npos) << err;
}

} // namespace

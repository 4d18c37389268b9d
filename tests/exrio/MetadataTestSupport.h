// Helpers of the render metadata tests: header attributes read back by
// name, and an environment variable set for one scope.
#ifndef RAVELCAST_TESTS_METADATATESTSUPPORT_H
#define RAVELCAST_TESTS_METADATATESTSUPPORT_H

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <ImfFloatAttribute.h>
#include <ImfHeader.h>
#include <ImfIntAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>

namespace metadatatest {

// Sets (or unsets, with nullopt) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, std::optional<std::string> value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        apply(value);
    }
    ~ScopedEnv() { apply(old_); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    void apply(const std::optional<std::string> &value)
    {
        if (value)
            testsupport::setEnv(name_, value->c_str());
        else
            testsupport::setEnv(name_, nullptr);
        tzset();
    }
    std::string name_;
    std::optional<std::string> old_;
};

inline std::string stringAttr(const Imf::Header &h, const char *name)
{
    const auto *a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? a->value() : "<missing>";
}

inline float floatAttr(const Imf::Header &h, const char *name)
{
    const auto *a = h.findTypedAttribute<Imf::FloatAttribute>(name);
    return a ? a->value() : NAN;
}

inline std::set<std::string> names(const Imf::Header &h)
{
    std::set<std::string> out;
    for (auto it = h.begin(); it != h.end(); ++it)
        out.insert(it.name());
    return out;
}

// True when both attributes have the same type and value.
inline bool sameAttribute(const Imf::Attribute &a, const Imf::Attribute &b)
{
    if (std::string(a.typeName()) != b.typeName())
        return false;
    if (auto *s = dynamic_cast<const Imf::StringAttribute *>(&a))
        return s->value() == dynamic_cast<const Imf::StringAttribute &>(b).value();
    if (auto *i = dynamic_cast<const Imf::IntAttribute *>(&a))
        return i->value() == dynamic_cast<const Imf::IntAttribute &>(b).value();
    if (auto *f = dynamic_cast<const Imf::FloatAttribute *>(&a))
        return f->value() == dynamic_cast<const Imf::FloatAttribute &>(b).value();
    if (auto *r = dynamic_cast<const Imf::RationalAttribute *>(&a)) {
        const Imf::Rational &o = dynamic_cast<const Imf::RationalAttribute &>(b).value();
        return r->value().n == o.n && r->value().d == o.d;
    }
    return true; // windows, channels and the like are the library's business
}

// Every attribute of a except the named ones is present in b, equal.
inline void expectSameExcept(const Imf::Header &a, const Imf::Header &b,
                             const std::set<std::string> &skip)
{
    for (auto it = a.begin(); it != a.end(); ++it) {
        if (skip.count(it.name()))
            continue;
        const Imf::Attribute *other = b.findTypedAttribute<Imf::Attribute>(it.name());
        ASSERT_NE(other, nullptr) << it.name();
        EXPECT_TRUE(sameAttribute(it.attribute(), *other)) << it.name();
    }
    for (auto it = b.begin(); it != b.end(); ++it) {
        if (!skip.count(it.name())) {
            EXPECT_NE(a.findTypedAttribute<Imf::Attribute>(it.name()), nullptr) << it.name();
        }
    }
}

inline std::time_t localTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

constexpr unsigned int productWord(int major, int minor, int build)
{
    return (unsigned(major) << 20) | (unsigned(minor) << 16) | (unsigned(build) << 4) | 1u;
}

} // namespace metadatatest

#endif

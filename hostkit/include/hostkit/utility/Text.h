// Small text helpers.
#ifndef HOSTKIT_UTILITY_TEXT_H
#define HOSTKIT_UTILITY_TEXT_H

#include <string>

namespace hostkit {

// s without blanks, tabs and carriage returns at either end.
inline std::string trimmed(const std::string &s)
{
    const char *blanks = " \t\r";
    const std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// a and b the same but for the case of ASCII letters, whatever the locale.
inline bool sameIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

} // namespace hostkit

#endif

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

} // namespace hostkit

#endif

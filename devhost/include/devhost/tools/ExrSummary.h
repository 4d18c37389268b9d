// `devhost header`: a readable summary of an OpenEXR file's headers, its
// channels grouped by layer and every other attribute listed once.
#ifndef DEVHOST_TOOLS_EXRSUMMARY_H
#define DEVHOST_TOOLS_EXRSUMMARY_H

#include <iosfwd>
#include <string>

#include <ImfAttribute.h>

namespace devhost {

// Prints the summary of every part of the file. Throws HostError naming
// the file and the cause when it cannot be read as OpenEXR.
void printExrSummary(const std::string &path, std::ostream &out);

// An attribute's value as text: strings quoted, numbers in the C locale,
// vectors and boxes in brackets, unknown types by type name and size.
std::string attributeText(const Imf::Attribute &attribute);

// A number in the C locale, at most `digits` significant digits.
std::string numberText(double value, int digits = 6);

} // namespace devhost

#endif

// How the OpenEXR file streams report a failed operation: an Iex::InputExc
// (on the output side too) whose message is the operation's label, then
// " failed with error: ", then the platform's text for the cause.
#ifndef RAVELCAST_EXRIO_STREAMFAILURE_H
#define RAVELCAST_EXRIO_STREAMFAILURE_H

#include <string>

#include "hostkit/utility/PlatformFile.h"

namespace ravelcast {

// The text of a read that found the end of the file before all the bytes it
// was asked for: no platform code stands for it.
constexpr const char *kUnexpectedEndOfFile = "unexpected end of file";

std::string streamFailureMessage(const char *label, const std::string &cause);

// Throw Iex::InputExc with the labelled message.
[[noreturn]] void throwStreamFailure(const char *label, const std::string &cause);
[[noreturn]] void throwStreamFailure(const char *label, hostkit::PlatformFile::ErrorCode code);

// The OpenEXR library's own prefix for a file that fails while it is opened
// over a stream: "Cannot open image file \"<name>\". " for output, "Cannot
// read image file \"<name>\". " for input. Used where the module creates the
// stream, so that a failure there reads like one inside the library.
std::string outputOpenPrefix(const std::string &fileName);
std::string inputOpenPrefix(const std::string &fileName);

} // namespace ravelcast

#endif

#include "exrio/StreamFailure.h"

#include <Iex.h>

namespace ravelcast {

std::string streamFailureMessage(const char *label, const std::string &cause)
{
    return std::string(label) + " failed with error: " + cause;
}

void throwStreamFailure(const char *label, const std::string &cause)
{
    throw Iex::InputExc(streamFailureMessage(label, cause));
}

void throwStreamFailure(const char *label, hostkit::PlatformFile::ErrorCode code)
{
    throwStreamFailure(label, hostkit::PlatformFile::errorText(code));
}

std::string outputOpenPrefix(const std::string &fileName)
{
    return "Cannot open image file \"" + fileName + "\". ";
}

std::string inputOpenPrefix(const std::string &fileName)
{
    return "Cannot read image file \"" + fileName + "\". ";
}

} // namespace ravelcast

#include "exrio/Win32OFStream.h"

#include <Iex.h>

#include "exrio/StreamFailure.h"

namespace Imf {

namespace {

constexpr const char *kOpenLabel = "Win32OFStream::Win32OFStream()";
constexpr const char *kWriteLabel = "Win32OFStream::write()";
constexpr const char *kTellLabel = "Win32OFStream::tellp()";
constexpr const char *kSeekLabel = "Win32OFStream::seekp()";

} // namespace

Win32OFStream::Win32OFStream(const std::string &fileName) : OStream(fileName.c_str())
{
    if (!file_.createForWriting(fileName))
        ravelcast::throwStreamFailure(kOpenLabel, file_.error());
}

Win32OFStream::~Win32OFStream() = default;

void Win32OFStream::fail(const char *label, const std::string &cause)
{
    const std::string message = ravelcast::streamFailureMessage(label, cause);
    if (failure_.empty())
        failure_ = message;
    throw Iex::InputExc(message);
}

void Win32OFStream::write(const char c[], int n)
{
    if (n < 0)
        fail(kWriteLabel, "negative byte count");
    if (!file_.write(c, static_cast<std::size_t>(n)))
        fail(kWriteLabel, ravelcast::PlatformFile::errorText(file_.error()));
}

uint64_t Win32OFStream::tellp()
{
    std::uint64_t position = 0;
    if (!file_.tell(&position))
        fail(kTellLabel, ravelcast::PlatformFile::errorText(file_.error()));
    return position;
}

void Win32OFStream::seekp(uint64_t pos)
{
    if (!file_.seek(pos))
        fail(kSeekLabel, ravelcast::PlatformFile::errorText(file_.error()));
}

} // namespace Imf

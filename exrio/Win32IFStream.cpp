#include "exrio/Win32IFStream.h"

#include <Iex.h>

#include "exrio/StreamFailure.h"

namespace Imf {

namespace {

constexpr const char *kOpenLabel = "Win32IFStream::Win32IFStream()";
constexpr const char *kReadLabel = "Win32IFStream::read()";
constexpr const char *kTellLabel = "Win32IFStream::tellg()";
constexpr const char *kSeekLabel = "Win32IFStream::seekg()";

} // namespace

Win32IFStream::Win32IFStream(const std::string &fileName) : IStream(fileName.c_str())
{
    if (!file_.openForReading(fileName))
        throw Iex::InputExc("File does not exist.");
    // Only Windows can answer with a valid handle and an error code; the
    // handle is released with this object's members as the throw leaves.
    if (const auto code = file_.error())
        ravelcast::throwStreamFailure(kOpenLabel, code);
}

Win32IFStream::~Win32IFStream() = default;

bool Win32IFStream::read(char c[], int n)
{
    if (n < 0)
        ravelcast::throwStreamFailure(kReadLabel, "negative byte count");
    std::size_t got = 0;
    if (!file_.read(c, static_cast<std::size_t>(n), &got))
        ravelcast::throwStreamFailure(kReadLabel, file_.error());
    // The library relies on getting all of it: a short read at the end of a
    // damaged file must not leave stale bytes in its buffer unnoticed.
    if (got < static_cast<std::size_t>(n))
        ravelcast::throwStreamFailure(kReadLabel, ravelcast::kUnexpectedEndOfFile);
    return !atEnd();
}

bool Win32IFStream::atEnd()
{
    // Only for the answer of read(): the bytes have arrived, so a file whose
    // position or length cannot be known (a pipe) is not failed for it; it
    // is simply not known to be at its end.
    std::uint64_t position = 0;
    std::uint64_t length = 0;
    if (!file_.tell(&position) || !file_.size(&length))
        return false;
    return position >= length;
}

uint64_t Win32IFStream::tellg()
{
    std::uint64_t position = 0;
    if (!file_.tell(&position))
        ravelcast::throwStreamFailure(kTellLabel, file_.error());
    return position;
}

void Win32IFStream::seekg(uint64_t pos)
{
    if (!file_.seek(pos))
        ravelcast::throwStreamFailure(kSeekLabel, file_.error());
}

void Win32IFStream::clear()
{
    ravelcast::PlatformFile::clearThreadError();
}

} // namespace Imf

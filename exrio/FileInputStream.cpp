#include "exrio/FileInputStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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
    std::uint64_t at = 0;
    seekable_ = file_.tell(&at) && at == 0 && file_.size(&knownLength_);
    if (seekable_)
        buffer_.resize(kBufferBytes);
}

Win32IFStream::~Win32IFStream() = default;

// Reads at position_: a plain read where the platform already is, else a
// read at the offset (one platform call instead of a seek and a read),
// after which the platform's own position is no longer known.
bool Win32IFStream::platformRead(char *c, std::size_t n, std::size_t *got)
{
    if (!seekable_ || platformAt_ == position_) {
        const bool ok = file_.read(c, n, got);
        platformAt_ += *got;
        return ok;
    }
    platformAt_ = kUnknownPosition;
    return file_.readAt(position_, c, n, got);
}

void Win32IFStream::readDirect(char *c, std::size_t n)
{
    std::size_t got = 0;
    const bool ok = platformRead(c, n, &got);
    position_ += got;
    if (!ok)
        ravelcast::throwStreamFailure(kReadLabel, file_.error());
    // The library relies on getting all of it: a short read at the end of a
    // damaged file must not leave stale bytes in its buffer unnoticed.
    if (got < n)
        ravelcast::throwStreamFailure(kReadLabel, ravelcast::kUnexpectedEndOfFile);
}

bool Win32IFStream::fill()
{
    bufferStart_ = position_;
    bufferLength_ = 0;
    std::size_t got = 0;
    const bool ok = platformRead(buffer_.data(), fillBytes_, &got);
    bufferLength_ = got;
    // Reading on where the last fill ended reads further ahead each time.
    fillBytes_ = std::min(fillBytes_ * 2, buffer_.size());
    if (!ok)
        ravelcast::throwStreamFailure(kReadLabel, file_.error());
    return got > 0;
}

bool Win32IFStream::read(char c[], int n)
{
    if (n < 0)
        ravelcast::throwStreamFailure(kReadLabel, "negative byte count");
    std::size_t want = static_cast<std::size_t>(n);
    // The common case, the library reading a few bytes: all in the buffer.
    if (position_ >= bufferStart_ && position_ - bufferStart_ + want <= bufferLength_) {
        std::memcpy(c, buffer_.data() + (position_ - bufferStart_), want);
        position_ += want;
        return position_ < knownLength_ || !atEnd();
    }
    if (!seekable_) {
        readDirect(c, want);
        return !atEnd();
    }
    while (want > 0) {
        const std::uint64_t bufferEnd = bufferStart_ + bufferLength_;
        if (position_ >= bufferStart_ && position_ < bufferEnd) {
            const std::size_t offset = static_cast<std::size_t>(position_ - bufferStart_);
            const std::size_t take = std::min(want, bufferLength_ - offset);
            std::memcpy(c, buffer_.data() + offset, take);
            c += take;
            want -= take;
            position_ += take;
            continue;
        }
        if (want >= fillBytes_) {
            readDirect(c, want);
            break;
        }
        if (!fill())
            ravelcast::throwStreamFailure(kReadLabel, ravelcast::kUnexpectedEndOfFile);
    }
    return !atEnd();
}

bool Win32IFStream::atEnd()
{
    // Only for the answer of read(): the bytes have arrived, so a file whose
    // position or length cannot be known (a pipe) is not failed for it; it
    // is simply not known to be at its end. The length is asked again only
    // when the position reaches the one last known, so a file that grows
    // meanwhile is still answered exactly.
    if (!seekable_)
        return false;
    if (position_ < knownLength_)
        return false;
    std::uint64_t length = 0;
    if (!file_.size(&length))
        return false;
    knownLength_ = length;
    return position_ >= length;
}

uint64_t Win32IFStream::tellg()
{
    if (seekable_)
        return position_;
    std::uint64_t position = 0;
    if (!file_.tell(&position))
        ravelcast::throwStreamFailure(kTellLabel, file_.error());
    return position;
}

void Win32IFStream::seekg(uint64_t pos)
{
    if (seekable_) {
        // Inside the buffered bytes only the position moves.
        if (pos >= bufferStart_ && pos <= bufferStart_ + bufferLength_) {
            position_ = pos;
            return;
        }
        // Elsewhere the next read goes to the offset itself; only an offset
        // the platform cannot represent is its business now.
        if (pos <= static_cast<std::uint64_t>(INT64_MAX)) {
            position_ = pos;
            bufferStart_ = pos;
            bufferLength_ = 0;
            // A jump may be one of many small reads all over the file (a
            // reader checking chunk headers): read ahead little until
            // reading goes on.
            fillBytes_ = kFirstFillBytes;
            return;
        }
    }
    if (!file_.seek(pos))
        ravelcast::throwStreamFailure(kSeekLabel, file_.error());
    position_ = platformAt_ = pos;
    bufferStart_ = pos;
    bufferLength_ = 0;
}

void Win32IFStream::clear()
{
    hostkit::PlatformFile::clearThreadError();
}

} // namespace Imf

#include "exrio/FileOutputStream.h"

#include <Iex.h>

#include "exrio/StreamFailure.h"

namespace Imf {

namespace {

constexpr const char *kOpenLabel = "Win32OFStream::Win32OFStream()";
constexpr const char *kWriteLabel = "Win32OFStream::write()";
constexpr const char *kSeekLabel = "Win32OFStream::seekp()";

} // namespace

Win32OFStream::Win32OFStream(const std::string &fileName) : OStream(fileName.c_str())
{
    if (!file_.createForWriting(fileName))
        ravelcast::throwStreamFailure(kOpenLabel, file_.error());
    buffer_.reserve(kBufferBytes);
}

Win32OFStream::Win32OFStream(hostkit::PlatformFile::Handle handle, const std::string &fileName)
    : OStream(fileName.c_str())
{
    file_.borrow(handle);
    buffer_.reserve(kBufferBytes);
}

Win32OFStream::~Win32OFStream()
{
    try {
        flush();
    } catch (...) {
        // Kept in failure_ for an owner that asks; a destructor cannot throw.
    }
}

void Win32OFStream::close() noexcept
{
    try {
        flush();
    } catch (...) {
        // Kept in failure_.
    }
    if (file_.isOpen() && !file_.close() && failure_.empty())
        failure_ = ravelcast::streamFailureMessage(
            "Win32OFStream::close()", hostkit::PlatformFile::errorText(file_.error()));
}

void Win32OFStream::fail(const char *label, const std::string &cause)
{
    const std::string message = ravelcast::streamFailureMessage(label, cause);
    if (failure_.empty())
        failure_ = message;
    throw Iex::InputExc(message);
}

void Win32OFStream::writeOut(const char *c, std::size_t n)
{
    if (!file_.write(c, n))
        fail(kWriteLabel, hostkit::PlatformFile::errorText(file_.error()));
    platformAt_ += n;
}

void Win32OFStream::flush()
{
    if (buffer_.empty())
        return;
    // Taken out first: bytes that failed once are not written again.
    std::vector<char> pending;
    pending.reserve(kBufferBytes);
    pending.swap(buffer_);
    writeOut(pending.data(), pending.size());
    pending.clear();
    pending.swap(buffer_);
}

void Win32OFStream::write(const char c[], int n)
{
    if (n < 0)
        fail(kWriteLabel, "negative byte count");
    const std::size_t count = static_cast<std::size_t>(n);
    if (buffer_.size() + count > kBufferBytes)
        flush();
    if (count >= kBufferBytes)
        writeOut(c, count);
    else
        buffer_.insert(buffer_.end(), c, c + count);
}

uint64_t Win32OFStream::tellp() { return platformAt_ + buffer_.size(); }

void Win32OFStream::seekp(uint64_t pos)
{
    flush();
    if (pos == platformAt_)
        return;
    if (!file_.seek(pos))
        fail(kSeekLabel, hostkit::PlatformFile::errorText(file_.error()));
    platformAt_ = pos;
}

} // namespace Imf

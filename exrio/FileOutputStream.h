// The output stream through which the OpenEXR library writes every file the
// module writes: one platform file handle and a write buffer.
//
// The library writes headers and offset tables a few bytes at a time; those
// gather in a 64 KiB buffer, and writes at least that large go straight to
// the platform. The buffer is written out when it is full, before a seek,
// by flush() and by the destructor; a failure surfaces at that moment, with
// the label of the write, and is kept in failure().
#ifndef RAVELCAST_EXRIO_FILEOUTPUTSTREAM_H
#define RAVELCAST_EXRIO_FILEOUTPUTSTREAM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <ImfIO.h>

#include "hostkit/utility/PlatformFile.h"

namespace Imf {

// It serves every platform; the class keeps its first name, which its
// messages carry.
class Win32OFStream : public OStream {
public:
    // Creates the file, or truncates it when it exists; on Windows nobody
    // else may open it meanwhile. Throws Iex::InputExc with the labelled
    // message "Win32OFStream::Win32OFStream() failed with error: ..." when
    // it cannot be created (missing folder, no access, file in use).
    explicit Win32OFStream(const std::string &fileName);

    // Writes through an open file another object owns (a replacing write's
    // temporary), from its position 0. fileName is the name the library
    // and the messages give the file: the user's, not the temporary's.
    Win32OFStream(hostkit::PlatformFile::Handle handle, const std::string &fileName);

    // Writes out the buffer (a failure is kept in failure(), not thrown)
    // and closes the file.
    ~Win32OFStream() override;

    Win32OFStream(const Win32OFStream &) = delete;
    Win32OFStream &operator=(const Win32OFStream &) = delete;

    // Writes all n bytes of c (into the buffer or to the file). Throws
    // Iex::InputExc with the labelled message ("Win32OFStream::write()
    // failed with error: ...") when bytes cannot reach the file.
    void write(const char c[], int n) override;

    // The position, in bytes from the start of the file, buffered bytes
    // included.
    uint64_t tellp() override;

    // Writes out the buffer and moves to an absolute position. Throws
    // Iex::InputExc with the labelled message.
    void seekp(uint64_t pos) override;

    // Writes out the buffer; throws like write().
    void flush();
    // Writes out the buffer and closes the file (a borrowed one is left to
    // its owner); a failure of either is kept in failure() (quotas and
    // network file systems report at close).
    void close() noexcept;

    // The message of the first write, tell or seek that failed since the
    // stream was opened; empty when none did. The library swallows such
    // failures while it finishes a file from its destructor; this is how
    // the owner still learns of them.
    const std::string &failure() const { return failure_; }

private:
    [[noreturn]] void fail(const char *label, const std::string &cause);

    static constexpr std::size_t kBufferBytes = std::size_t(64) << 10;

    void writeOut(const char *c, std::size_t n);

    hostkit::PlatformFile file_;
    std::string failure_;
    std::uint64_t platformAt_ = 0; // where the buffer's bytes go
    std::vector<char> buffer_;
};

} // namespace Imf

#endif

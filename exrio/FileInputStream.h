// The input stream through which the OpenEXR library reads every file the
// module reads: one platform file handle and a read buffer.
//
// The library reads headers, attribute texts and preview images a few bytes
// (often one) at a time; without a buffer each of those is a system call.
// Small reads are served from a buffer of up to 64 KiB; reads at least as
// large as the next fill go straight into the caller's memory. After a seek
// that leaves the buffer the first fill is 256 bytes, and each fill that
// follows on doubles, so scattered small reads stay cheap and sequential
// reading soon reads 64 KiB at a time. Seeks and tells cost no system
// call: a read after a seek reads at its offset (one call, not a seek and a
// read). Positions stay exact, and an offset the platform cannot represent
// still fails at the seek. Files that cannot seek (pipes) are read
// unbuffered.
#ifndef RAVELCAST_EXRIO_FILEINPUTSTREAM_H
#define RAVELCAST_EXRIO_FILEINPUTSTREAM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <ImfIO.h>

#include "hostkit/utility/PlatformFile.h"

namespace Imf {

// It serves every platform; the class keeps its first name, which its
// messages carry.
class Win32IFStream : public IStream {
public:
    // Opens an existing file for reading; others may read it meanwhile (on
    // Windows they may not write it). Throws Iex::InputExc "File does not
    // exist." when it cannot be opened, whatever the cause, and the labelled
    // message "Win32IFStream::Win32IFStream() failed with error: ..." when
    // the platform reports an error although the file opened.
    explicit Win32IFStream(const std::string &fileName);

    // Closes the file.
    ~Win32IFStream() override;

    Win32IFStream(const Win32IFStream &) = delete;
    Win32IFStream &operator=(const Win32IFStream &) = delete;

    // Reads exactly n bytes into c. Throws Iex::InputExc with the labelled
    // message ("Win32IFStream::read() failed with error: ...") on a platform
    // error, and when the file ends before n bytes arrived (cause
    // "unexpected end of file"). Answers false when the read left the
    // position at the end of the file, that is when it delivered the file's
    // last byte; true otherwise (also when the file cannot tell its position
    // or length, as a pipe).
    bool read(char c[], int n) override;

    // The position, in bytes from the start of the file; 0 right after
    // opening. Throws Iex::InputExc with the labelled message.
    uint64_t tellg() override;

    // Moves to an absolute position; throws Iex::InputExc with the labelled
    // message.
    void seekg(uint64_t pos) override;

    // Resets the calling thread's error state. Never throws; the position
    // stays.
    void clear() override;

private:
    static constexpr std::size_t kBufferBytes = std::size_t(64) << 10;
    static constexpr std::size_t kFirstFillBytes = std::size_t(256);

    static constexpr std::uint64_t kUnknownPosition = ~std::uint64_t(0);

    bool atEnd();
    bool platformRead(char *c, std::size_t n, std::size_t *got);
    // Reads n bytes at position_ from the platform into c.
    void readDirect(char *c, std::size_t n);
    // Refills the buffer from position_; false when the file has ended.
    bool fill();

    hostkit::PlatformFile file_;
    bool seekable_ = false;
    std::uint64_t position_ = 0;      // where the next read starts
    std::uint64_t platformAt_ = 0;    // the platform's own position
    std::uint64_t bufferStart_ = 0;   // file offset of buffer_[0]
    std::size_t bufferLength_ = 0;    // valid bytes in buffer_
    std::uint64_t knownLength_ = 0;   // the file's length when last asked
    std::size_t fillBytes_ = kFirstFillBytes; // the next fill's size
    std::vector<char> buffer_;
};

} // namespace Imf

#endif

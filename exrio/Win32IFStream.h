// The input stream through which the OpenEXR library reads every file the
// module reads: one platform file handle, no buffer of its own.
#ifndef RAVELCAST_EXRIO_WIN32IFSTREAM_H
#define RAVELCAST_EXRIO_WIN32IFSTREAM_H

#include <cstdint>
#include <string>

#include <ImfIO.h>

#include "exrio/PlatformFile.h"

namespace Imf {

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
    bool atEnd();

    ravelcast::PlatformFile file_;
};

} // namespace Imf

#endif

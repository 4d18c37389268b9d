// The output stream through which the OpenEXR library writes every file the
// module writes: one platform file handle, no buffer of its own.
#ifndef RAVELCAST_EXRIO_WIN32OFSTREAM_H
#define RAVELCAST_EXRIO_WIN32OFSTREAM_H

#include <cstdint>
#include <string>

#include <ImfIO.h>

#include "exrio/PlatformFile.h"

namespace Imf {

class Win32OFStream : public OStream {
public:
    // Creates the file, or truncates it when it exists; on Windows nobody
    // else may open it meanwhile. Throws Iex::InputExc with the labelled
    // message "Win32OFStream::Win32OFStream() failed with error: ..." when
    // it cannot be created (missing folder, no access, file in use).
    explicit Win32OFStream(const std::string &fileName);

    // Closes the file.
    ~Win32OFStream() override;

    Win32OFStream(const Win32OFStream &) = delete;
    Win32OFStream &operator=(const Win32OFStream &) = delete;

    // Writes all n bytes of c. Throws Iex::InputExc with the labelled
    // message ("Win32OFStream::write() failed with error: ...").
    void write(const char c[], int n) override;

    // The position, in bytes from the start of the file. Throws
    // Iex::InputExc with the labelled message.
    uint64_t tellp() override;

    // Moves to an absolute position. Throws Iex::InputExc with the labelled
    // message.
    void seekp(uint64_t pos) override;

    // The message of the first write, tell or seek that failed since the
    // stream was opened or since forgetFailure(); empty when none did. The
    // library swallows such failures while it finishes a file from its
    // destructor; this is how the owner still learns of them.
    const std::string &failure() const { return failure_; }
    void forgetFailure() { failure_.clear(); }

private:
    [[noreturn]] void fail(const char *label, const std::string &cause);

    ravelcast::PlatformFile file_;
    std::string failure_;
};

} // namespace Imf

#endif

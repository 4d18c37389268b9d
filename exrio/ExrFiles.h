// OpenEXR files written and read through the module's own streams, each
// holder keeping the library's file together with the stream it needs: the
// library does not own a stream it is handed, so both live here, the file
// destroyed before the stream.
//
// When the stream cannot be created or opened the message reads as it does
// for a failure inside the library: "Cannot open image file \"<name>\". " for
// output and "Cannot read image file \"<name>\". " for input, followed by the
// stream's message (for a missing input file "File does not exist.").
//
// Output files are written whole or not at all (hostkit::AtomicFile): the
// bytes go to a temporary of the writer's own, which becomes the file only
// once it is finished, flushed to the disk and renamed over the file. Every
// message names the file, never the temporary.
#ifndef RAVELCAST_EXRIO_EXRFILES_H
#define RAVELCAST_EXRIO_EXRFILES_H

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>

#include "exrio/FileInputStream.h"
#include "exrio/FileOutputStream.h"

namespace hostkit {
class AtomicFile;
}

namespace ravelcast {

// A scan-line file being written.
class ExrOutput {
public:
    // Begins replacing the file and writes its header. A folder or a
    // read-only file under the name is refused. Throws the library's Iex
    // exceptions.
    ExrOutput(const std::string &fileName, const Imf::Header &header,
              int numThreads = Imf::globalThreadCount());
    // A multi-part file, one part per header (each named, of one type).
    ExrOutput(const std::string &fileName, const std::vector<Imf::Header> &headers,
              int numThreads = Imf::globalThreadCount());

    // A file that close() did not finish is dropped: what was under the
    // name stays as it was.
    ~ExrOutput();

    ExrOutput(const ExrOutput &) = delete;
    ExrOutput &operator=(const ExrOutput &) = delete;

    // The library's file, until close(). Throws Iex::LogicExc after close()
    // and for a multi-part file.
    Imf::OutputFile &file();
    // The multi-part file, until close(). Throws Iex::LogicExc after close()
    // and for a single-part file.
    Imf::MultiPartOutputFile &parts();

    const std::string &fileName() const { return fileName_; }

    // Finishes the file (the library writes its table of line offsets) and
    // puts it in place. When any write since the file was opened failed
    // (the library ignores a failure of its last one) this throws
    // Iex::InputExc "Cannot close image file \"<name>\". " followed by the
    // stream's message; when it cannot be flushed or put in place,
    // "Cannot write image file \"<name>\". " and the cause. Either way the
    // unfinished file is dropped and the name keeps what it had. Does
    // nothing when already closed.
    void close();

private:
    void flushHeader();
    // Drops the unfinished file: the temporary is removed.
    void discard() noexcept;

    std::string fileName_;
    std::unique_ptr<hostkit::AtomicFile> target_;
    std::unique_ptr<Imf::Win32OFStream> stream_;
    std::unique_ptr<Imf::OutputFile> file_;
    std::unique_ptr<Imf::MultiPartOutputFile> parts_;
};

// An uncompressed single-part scan-line file whose lines the caller packs
// itself: each goes to the file as it is, through the library's core, so
// no frame buffer is copied line by line on the way (for uncompressed
// files that copy is most of the library's work). The same replacing write
// as ExrOutput, and the same messages.
class ExrLineOutput {
public:
    // Whether the header can be written this way: no compression, and only
    // attributes of the kinds the module writes (on a machine that stores
    // numbers as the file does, least significant byte first).
    static bool carries(const Imf::Header &header);

    // Begins replacing the file and writes its header, as ExrOutput does.
    // Throws the library's Iex exceptions.
    ExrLineOutput(const std::string &fileName, const Imf::Header &header);
    ~ExrLineOutput();
    ExrLineOutput(const ExrLineOutput &) = delete;
    ExrLineOutput &operator=(const ExrLineOutput &) = delete;

    // Bytes of a packed line: every channel's values over the data window's
    // width, the channels in the file's order, least significant byte first.
    std::size_t lineBytes() const { return lineBytes_; }
    // Where a channel's values start in a packed line.
    std::size_t channelOffset(const std::string &name) const;

    // Writes line y of the data window; lines go in increasing order.
    // Throws Iex::InputExc "Failed to write pixel data to image file ...",
    // followed by the stream's message.
    void writeLine(int y, const unsigned char *packed);

    // Finishes the file (its table of line offsets) and closes it, throwing
    // as ExrOutput::close() does. Does nothing when already closed.
    void close();

    const std::string &fileName() const { return fileName_; }

private:
    friend struct LineOutputCore;
    void discard() noexcept;
    [[noreturn]] void fail(const std::string &prefix, int code);

    std::string fileName_;
    std::unique_ptr<hostkit::AtomicFile> target_;
    std::unique_ptr<Imf::Win32OFStream> stream_;
    void *context_ = nullptr;
    std::map<std::string, std::size_t> offsets_;
    std::size_t lineBytes_ = 0;
    std::string streamFailure_;
    std::string coreMessage_;
};

// Any OpenEXR file, its channels read through frame buffers of one's own.
class ExrInput {
public:
    // Opens the file and reads its header; throws the library's Iex
    // exceptions.
    explicit ExrInput(const std::string &fileName, int numThreads = Imf::globalThreadCount());
    ~ExrInput();
    ExrInput(const ExrInput &) = delete;
    ExrInput &operator=(const ExrInput &) = delete;

    Imf::InputFile &file() { return *file_; }
    const std::string &fileName() const { return fileName_; }

private:
    std::string fileName_;
    std::unique_ptr<Imf::Win32IFStream> stream_;
    std::unique_ptr<Imf::InputFile> file_;
};

// An OpenEXR file read as RGBA pixels (luminance-chroma files converted).
class ExrRgbaInput {
public:
    // Opens the file and reads its header; throws the library's Iex
    // exceptions.
    explicit ExrRgbaInput(const std::string &fileName,
                          int numThreads = Imf::globalThreadCount());
    ~ExrRgbaInput();
    ExrRgbaInput(const ExrRgbaInput &) = delete;
    ExrRgbaInput &operator=(const ExrRgbaInput &) = delete;

    Imf::RgbaInputFile &file() { return *file_; }
    const std::string &fileName() const { return fileName_; }

private:
    std::string fileName_;
    std::unique_ptr<Imf::Win32IFStream> stream_;
    std::unique_ptr<Imf::RgbaInputFile> file_;
};

} // namespace ravelcast

#endif

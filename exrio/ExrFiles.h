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

// A scan-line file, of one part or of several, whose lines the caller packs
// itself: uncompressed parts take them as they are, ZIPS and ZIP parts
// (exrio/ZipChunk.h) have their chunks compressed here, and every chunk
// goes to the file through the library's core. No frame buffer is copied
// line by line on the way, and the compression is the module's own rather
// than the library's zlib, at less than half its time. With the library's
// global threads the chunks of a call are compressed on its thread pool,
// and written in order. The same replacing write as ExrOutput, and the
// same messages.
class ExrLineOutput {
public:
    // Whether a part can be written this way: no compression, ZIPS or ZIP,
    // lines in increasing order, one sample per pixel, and only attributes
    // of the kinds the module writes (on a machine that stores numbers as
    // the file does, least significant byte first).
    static bool carries(const Imf::Header &header);
    // Every part, each by its own compression.
    static bool carries(const std::vector<Imf::Header> &parts);

    // Begins replacing the file and writes its header, as ExrOutput does.
    // Throws the library's Iex exceptions.
    ExrLineOutput(const std::string &fileName, const Imf::Header &header);
    // A multi-part file, one part per header (each named, of one type).
    ExrLineOutput(const std::string &fileName, const std::vector<Imf::Header> &parts);
    ~ExrLineOutput();
    ExrLineOutput(const ExrLineOutput &) = delete;
    ExrLineOutput &operator=(const ExrLineOutput &) = delete;

    // Bytes of a packed line of a part: every channel's values over the data
    // window's width, the channels in the file's order, least significant
    // byte first.
    std::size_t lineBytes(int part = 0) const;
    // Where a channel's values start in a packed line of a part.
    std::size_t channelOffset(const std::string &name, int part = 0) const;
    // Lines a call best hands over: whole chunks of the part, one per
    // thread of the library's pool (one chunk without threads).
    int bandLines(int part = 0) const;

    // Writes rows lines of a part from line y on, packed one after the
    // other. Lines go in increasing order, the parts one after the other;
    // the lines of a chunk not yet whole are kept here until it is. Without
    // the library's threads the packed lines are not used once this
    // returns. With them, the whole chunks of a call are compressed on its
    // pool while the caller packs the next lines elsewhere: the packed
    // lines must stay as they are until the next writeLines(), flush() or
    // close() returns. Throws Iex::InputExc "Failed to write pixel data to
    // image file ...", followed by the stream's message, and Iex::ArgExc
    // for lines out of order or outside the data window.
    void writeLines(int part, int y, int rows, const unsigned char *packed);
    void writeLine(int y, const unsigned char *packed) { writeLines(0, y, 1, packed); }
    // Whether writeLines() may go on using the caller's lines once it
    // returns: the library has threads.
    static bool compressesAside();
    // Waits for the chunks compressed on the library's threads and writes
    // them; the caller's lines are free then. Throws as writeLines() does.
    void flush();

    // Finishes the file (its table of line offsets) and closes it, throwing
    // as ExrOutput::close() does. A file some of whose lines were never
    // written is not kept: this throws Iex::LogicExc naming the file.
    // Does nothing when already closed.
    void close();

    const std::string &fileName() const { return fileName_; }

private:
    friend struct LineOutputCore;
    struct Part;
    void start(const std::vector<Imf::Header> &parts, bool multiPart);
    void writeChunks(Part &part, int index, int y, int chunks, const unsigned char *packed,
                     bool mayOverlap);
    void writeChunk(int index, int y, const void *bytes, std::size_t size);
    void discard() noexcept;
    [[noreturn]] void fail(const std::string &prefix, int code);

    std::string fileName_;
    std::unique_ptr<hostkit::AtomicFile> target_;
    std::unique_ptr<Imf::Win32OFStream> stream_;
    void *context_ = nullptr;
    std::vector<Part> parts_;
    struct Compressors;
    std::unique_ptr<Compressors> compressors_;
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

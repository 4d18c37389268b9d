#include "exrio/ExrFiles.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfPartType.h>
#include <ImfChromaticitiesAttribute.h>
#include <ImfDoubleAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfIntAttribute.h>
#include <ImfMatrixAttribute.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>
#include <IlmThreadPool.h>
#include <openexr.h>

#include "exrio/StreamFailure.h"
#include "exrio/ZipChunk.h"
#include "hostkit/utility/AtomicFile.h"

namespace ravelcast {

namespace {

std::unique_ptr<Imf::Win32IFStream> openStream(const std::string &fileName)
{
    try {
        return std::make_unique<Imf::Win32IFStream>(fileName);
    } catch (Iex::BaseExc &e) {
        // The library adds this prefix to anything that fails once it holds
        // the stream; a stream that cannot even be made gets the same.
        e.assign((inputOpenPrefix(fileName) + e.what()).c_str());
        throw;
    }
}

} // namespace

ExrInput::ExrInput(const std::string &fileName, int numThreads)
    : fileName_(fileName), stream_(openStream(fileName)),
      file_(std::make_unique<Imf::InputFile>(*stream_, numThreads))
{
}

ExrInput::~ExrInput()
{
    file_.reset();
    stream_.reset();
}

ExrRgbaInput::ExrRgbaInput(const std::string &fileName, int numThreads)
    : fileName_(fileName), stream_(openStream(fileName)),
      file_(std::make_unique<Imf::RgbaInputFile>(*stream_, numThreads))
{
}

ExrRgbaInput::~ExrRgbaInput()
{
    file_.reset();
    stream_.reset();
}

namespace {

// The file's replacing write begun and the stream that writes it, named
// after the file itself. Failures read as they would inside the library,
// "Cannot open image file \"<name>\". " and the cause, so the user sees
// one wording for "cannot open".
std::unique_ptr<hostkit::AtomicFile> beginTarget(const std::string &fileName)
{
    auto target = std::make_unique<hostkit::AtomicFile>();
    if (!target->open(fileName))
        throw Iex::InputExc(outputOpenPrefix(fileName) +
                            (target->refused()
                                 ? target->cause()
                                 : streamFailureMessage("Win32OFStream::Win32OFStream()",
                                                        target->cause())));
    return target;
}

std::unique_ptr<Imf::Win32OFStream> streamInto(hostkit::AtomicFile &target)
{
    return std::make_unique<Imf::Win32OFStream>(target.file().handle(), target.finalName());
}

// The stream's buffered bytes written and the stream closed, then the file
// put in place. A failure of the stream at any time since it opened (the
// library swallows those of its last writes) or of putting the file in
// place removes the unfinished file and throws, naming the user's file.
void commitStream(std::unique_ptr<Imf::Win32OFStream> &stream,
                  std::unique_ptr<hostkit::AtomicFile> &target)
{
    stream->close();
    const std::string failure = stream->failure();
    stream.reset();
    // Gone when this returns, committed or not: an unfinished file is
    // removed with it.
    const std::unique_ptr<hostkit::AtomicFile> file = std::move(target);
    if (!failure.empty())
        throw Iex::InputExc("Cannot close image file \"" + file->finalName() + "\". " + failure);
    if (!file->commit())
        throw Iex::InputExc("Cannot write image file \"" + file->finalName() + "\". " +
                            file->cause());
}

// The stream closed and the unfinished file removed.
void dropStream(std::unique_ptr<Imf::Win32OFStream> &stream,
                std::unique_ptr<hostkit::AtomicFile> &target) noexcept
{
    if (stream)
        stream->close();
    stream.reset();
    target.reset();
}

// The header's buffered bytes sent to the file, which fails here when it
// cannot take them, as it would while the library wrote them.
void flushHeaderOf(Imf::Win32OFStream &stream, const std::string &fileName)
{
    try {
        stream.flush();
    } catch (Iex::BaseExc &e) {
        e.assign((outputOpenPrefix(fileName) + e.what()).c_str());
        throw;
    }
}

} // namespace

ExrOutput::ExrOutput(const std::string &fileName, const Imf::Header &header, int numThreads)
    : fileName_(fileName), target_(beginTarget(fileName)), stream_(streamInto(*target_))
{
    try {
        file_ = std::make_unique<Imf::OutputFile>(*stream_, header, numThreads);
        flushHeader();
    } catch (...) {
        discard();
        throw;
    }
}

void ExrOutput::flushHeader() { flushHeaderOf(*stream_, fileName_); }

ExrOutput::ExrOutput(const std::string &fileName, const std::vector<Imf::Header> &headers,
                     int numThreads)
    : fileName_(fileName), target_(beginTarget(fileName)), stream_(streamInto(*target_))
{
    try {
        parts_ = std::make_unique<Imf::MultiPartOutputFile>(
            *stream_, headers.data(), static_cast<int>(headers.size()), false, numThreads);
        flushHeader();
    } catch (...) {
        discard();
        throw;
    }
}

ExrOutput::~ExrOutput()
{
    if (stream_)
        discard();
}

void ExrOutput::discard() noexcept
{
    try {
        file_.reset();
        parts_.reset();
    } catch (...) {
        // The library finishing a broken file: nothing of it is kept.
    }
    dropStream(stream_, target_);
}

Imf::OutputFile &ExrOutput::file()
{
    if (!file_)
        throw Iex::LogicExc("Image file \"" + fileName_ + "\" is " +
                            (parts_ ? "a multi-part file." : "already closed."));
    return *file_;
}

Imf::MultiPartOutputFile &ExrOutput::parts()
{
    if (!parts_)
        throw Iex::LogicExc("Image file \"" + fileName_ + "\" is " +
                            (file_ ? "a single-part file." : "already closed."));
    return *parts_;
}

void ExrOutput::close()
{
    if (!file_ && !parts_)
        return;
    try {
        file_.reset();
        parts_.reset();
    } catch (...) {
        // Its stream's failure is told below.
    }
    commitStream(stream_, target_);
}

// ------------------------------------------------------- line output

namespace {

// Written by the standard calls rather than as attributes of their own.
bool requiredAttribute(const std::string &name)
{
    static const char *const names[] = {"channels",         "compression",      "dataWindow",
                                        "displayWindow",    "lineOrder",        "pixelAspectRatio",
                                        "screenWindowCenter", "screenWindowWidth"};
    for (const char *n : names)
        if (name == n)
            return true;
    return false;
}

bool littleEndian()
{
    const std::uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

exr_attr_box2i_t box(const Imath::Box2i &b) { return {{b.min.x, b.min.y}, {b.max.x, b.max.y}}; }

} // namespace

// The core's callbacks. The core reports errors with its context locked, so
// the handler cannot ask the context for its user data: the output that calls
// the core names itself for the length of the call instead.
struct LineOutputCore {
    static thread_local ExrLineOutput *calling;

    struct Call {
        ExrLineOutput *was;
        explicit Call(ExrLineOutput *out) : was(calling) { calling = out; }
        ~Call() { calling = was; }
        Call(const Call &) = delete;
        Call &operator=(const Call &) = delete;
    };

    static void error(exr_const_context_t, exr_result_t, const char *message)
    {
        if (calling)
            calling->coreMessage_ = message ? message : "";
    }

    // Positional writes into the module's stream; a failure is kept for the
    // message and told to the core as a short write.
    static int64_t write(exr_const_context_t, void *data, const void *buffer, uint64_t size,
                         uint64_t offset, exr_stream_error_func_ptr_t)
    {
        ExrLineOutput &out = *static_cast<ExrLineOutput *>(data);
        try {
            if (out.stream_->tellp() != offset)
                out.stream_->seekp(offset);
            const char *bytes = static_cast<const char *>(buffer);
            for (uint64_t done = 0; done < size;) {
                const int n = static_cast<int>(
                    std::min<uint64_t>(size - done, std::numeric_limits<int>::max()));
                out.stream_->write(bytes + done, n);
                done += static_cast<uint64_t>(n);
            }
            return static_cast<int64_t>(size);
        } catch (const std::exception &e) {
            out.streamFailure_ = e.what();
            return -1;
        }
    }

    // The header's attributes given to the core; false for one of a kind
    // it is not given here.
    static bool attribute(exr_context_t c, int part, const char *name, const Imf::Attribute &a)
    {
        const std::string type = a.typeName();
        if (type == "string") {
            const std::string &v = static_cast<const Imf::StringAttribute &>(a).value();
            return v.find('\0') == std::string::npos &&
                   (!c || exr_attr_set_string(c, part, name, v.c_str()) == EXR_ERR_SUCCESS);
        }
        if (type == "int")
            return !c || exr_attr_set_int(c, part, name, static_cast<const Imf::IntAttribute &>(a).value()) ==
                             EXR_ERR_SUCCESS;
        if (type == "float")
            return !c || exr_attr_set_float(c, part, name,
                                            static_cast<const Imf::FloatAttribute &>(a).value()) ==
                             EXR_ERR_SUCCESS;
        if (type == "double")
            return !c || exr_attr_set_double(c, part, name,
                                             static_cast<const Imf::DoubleAttribute &>(a).value()) ==
                             EXR_ERR_SUCCESS;
        if (type == "rational") {
            const Imf::Rational &r = static_cast<const Imf::RationalAttribute &>(a).value();
            const exr_attr_rational_t v = {r.n, r.d};
            return !c || exr_attr_set_rational(c, part, name, &v) == EXR_ERR_SUCCESS;
        }
        if (type == "m44f") {
            const Imath::M44f &m = static_cast<const Imf::M44fAttribute &>(a).value();
            exr_attr_m44f_t v;
            for (int i = 0; i < 16; ++i)
                v.m[i] = m[i / 4][i % 4];
            return !c || exr_attr_set_m44f(c, part, name, &v) == EXR_ERR_SUCCESS;
        }
        if (type == "chromaticities") {
            const Imf::Chromaticities &ch = static_cast<const Imf::ChromaticitiesAttribute &>(a).value();
            const exr_attr_chromaticities_t v = {ch.red.x,  ch.red.y,  ch.green.x, ch.green.y,
                                                 ch.blue.x, ch.blue.y, ch.white.x, ch.white.y};
            return !c || exr_attr_set_chromaticities(c, part, name, &v) == EXR_ERR_SUCCESS;
        }
        if (type == "preview") {
            const Imf::PreviewImage &p = static_cast<const Imf::PreviewImageAttribute &>(a).value();
            static_assert(sizeof(Imf::PreviewRgba) == 4, "preview pixels are four bytes");
            const exr_attr_preview_t v = {p.width(), p.height(), 0,
                                          reinterpret_cast<const uint8_t *>(p.pixels())};
            return !c || exr_attr_set_preview(c, part, name, &v) == EXR_ERR_SUCCESS;
        }
        return false;
    }
};

thread_local ExrLineOutput *LineOutputCore::calling = nullptr;

namespace {

bool chunkedHere(Imf::Compression c)
{
    return c == Imf::NO_COMPRESSION || c == Imf::ZIPS_COMPRESSION || c == Imf::ZIP_COMPRESSION;
}

// Written by the core for every part of a multi-part file.
bool partAttribute(const std::string &name)
{
    return name == "name" || name == "type" || name == "chunkCount" || name == "version";
}

} // namespace

struct ExrLineOutput::Part {
    std::map<std::string, std::size_t> offsets;
    std::size_t lineBytes = 0;
    int chunkLines = 1;
    bool compressed = false;
    int minY = 0, maxY = -1;
    // The next line to come.
    int nextY = 0;
    // The lines of a chunk not yet whole.
    std::vector<unsigned char> pending;
    int pendingRows = 0;

    // Lines of the chunk that starts at line y.
    int chunkRows(int y) const { return std::min(chunkLines, maxY - y + 1); }
};

// A compressor per thread that compresses, and the stored bytes of every
// chunk of a call: kept from call to call, so the memory follows the
// chunks of a call, not the file.
struct ExrLineOutput::Compressors {
    std::vector<std::unique_ptr<ZipChunkCompressor>> compressors;
    std::vector<std::vector<unsigned char>> out;
    // The chunks in flight on the library's threads: their part, first
    // line, lines per chunk, the tasks' group and what failed in them.
    std::vector<ZipChunkCompressor::Stored> stored;
    int part = 0, y = 0, chunkLines = 1;
    std::function<void(std::size_t, ZipChunkCompressor &)> compress;
    std::unique_ptr<IlmThread::TaskGroup> group;
    std::vector<std::exception_ptr> failures;

    ZipChunkCompressor &at(std::size_t i)
    {
        while (compressors.size() <= i)
            compressors.push_back(std::make_unique<ZipChunkCompressor>());
        return *compressors[i];
    }
};

namespace {

// One thread's share of a call's chunks: every n-th from its first. A
// failure is kept for the calling thread, which the pool's threads cannot
// throw to.
class ChunkTask final : public IlmThread::Task {
public:
    using Compress = std::function<void(std::size_t chunk, ZipChunkCompressor &)>;
    ChunkTask(IlmThread::TaskGroup *group, ZipChunkCompressor &compressor, std::size_t first,
              std::size_t step, std::size_t chunks, const Compress &compress,
              std::exception_ptr &failure)
        : Task(group), compressor_(compressor), first_(first), step_(step), chunks_(chunks),
          compress_(compress), failure_(failure)
    {
    }
    void execute() override
    {
        try {
            for (std::size_t i = first_; i < chunks_; i += step_)
                compress_(i, compressor_);
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

private:
    ZipChunkCompressor &compressor_;
    std::size_t first_, step_, chunks_;
    const Compress &compress_;
    std::exception_ptr &failure_;
};

} // namespace

bool ExrLineOutput::carries(const Imf::Header &header)
{
    if (!chunkedHere(header.compression()) || header.lineOrder() != Imf::INCREASING_Y ||
        !littleEndian())
        return false;
    for (auto i = header.channels().begin(); i != header.channels().end(); ++i)
        if (i.channel().xSampling != 1 || i.channel().ySampling != 1)
            return false;
    for (auto i = header.begin(); i != header.end(); ++i)
        if (!requiredAttribute(i.name()) && !partAttribute(i.name()) &&
            !LineOutputCore::attribute(nullptr, 0, i.name(), i.attribute()))
            return false;
    if (header.hasType() && header.type() != Imf::SCANLINEIMAGE)
        return false;
    return true;
}

bool ExrLineOutput::carries(const std::vector<Imf::Header> &parts)
{
    if (parts.empty())
        return false;
    for (const Imf::Header &h : parts)
        if (!carries(h) || (parts.size() > 1 && !h.hasName()))
            return false;
    return true;
}

ExrLineOutput::ExrLineOutput(const std::string &fileName, const Imf::Header &header)
    : fileName_(fileName), target_(beginTarget(fileName)), stream_(streamInto(*target_)),
      compressors_(std::make_unique<Compressors>())
{
    start({header}, false);
}

ExrLineOutput::ExrLineOutput(const std::string &fileName, const std::vector<Imf::Header> &parts)
    : fileName_(fileName), target_(beginTarget(fileName)), stream_(streamInto(*target_)),
      compressors_(std::make_unique<Compressors>())
{
    start(parts, true);
}

void ExrLineOutput::start(const std::vector<Imf::Header> &headers, bool multiPart)
{
    const LineOutputCore::Call call(this);
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.user_data = this;
    init.write_fn = &LineOutputCore::write;
    init.error_handler_fn = &LineOutputCore::error;
    exr_context_t c = nullptr;
    const exr_result_t started = exr_start_write(&c, fileName_.c_str(), EXR_WRITE_FILE_DIRECTLY, &init);
    context_ = c;
    if (started != EXR_ERR_SUCCESS)
        fail(outputOpenPrefix(fileName_), started);

    exr_result_t r = EXR_ERR_SUCCESS;
    // Names beyond 31 bytes need the flag of long names, as the library sets it.
    bool longNames = false;
    for (const Imf::Header &header : headers) {
        for (auto i = header.channels().begin(); i != header.channels().end(); ++i)
            longNames = longNames || std::strlen(i.name()) > 31;
        for (auto i = header.begin(); i != header.end(); ++i)
            longNames = longNames || std::strlen(i.name()) > 31;
        if (multiPart && header.hasName())
            longNames = longNames || header.name().size() > 31;
    }
    if (longNames)
        r = exr_set_longname_support(c, 1);
    for (const Imf::Header &header : headers) {
        int part = 0;
        if (r == EXR_ERR_SUCCESS)
            r = exr_add_part(c, multiPart && header.hasName() ? header.name().c_str() : nullptr,
                             EXR_STORAGE_SCANLINE, &part);
        const exr_attr_box2i_t display = box(header.displayWindow()), data = box(header.dataWindow());
        const exr_attr_v2f_t centre = {header.screenWindowCenter().x, header.screenWindowCenter().y};
        if (r == EXR_ERR_SUCCESS)
            r = exr_initialize_required_attr(c, part, &display, &data, header.pixelAspectRatio(),
                                             &centre, header.screenWindowWidth(),
                                             static_cast<exr_lineorder_t>(header.lineOrder()),
                                             static_cast<exr_compression_t>(header.compression()));
        for (auto i = header.channels().begin(); i != header.channels().end() && !r; ++i) {
            r = exr_add_channel(c, part, i.name(), static_cast<exr_pixel_type_t>(i.channel().type),
                                i.channel().pLinear ? EXR_PERCEPTUALLY_LINEAR
                                                    : EXR_PERCEPTUALLY_LOGARITHMIC,
                                1, 1);
        }
        for (auto i = header.begin(); i != header.end() && !r; ++i) {
            if (requiredAttribute(i.name()) || partAttribute(i.name()))
                continue;
            if (!LineOutputCore::attribute(c, part, i.name(), i.attribute()))
                r = EXR_ERR_INVALID_ATTR;
        }
    }
    if (!r)
        r = exr_write_header(c);
    if (r != EXR_ERR_SUCCESS)
        fail(outputOpenPrefix(fileName_), r);
    try {
        flushHeaderOf(*stream_, fileName_);
    } catch (...) {
        discard();
        throw;
    }

    parts_.resize(headers.size());
    for (std::size_t p = 0; p < headers.size(); ++p) {
        const Imf::Header &header = headers[p];
        Part &part = parts_[p];
        const Imf::Compression compression = header.compression();
        part.compressed = compression != Imf::NO_COMPRESSION;
        part.chunkLines = part.compressed ? zipChunkLines(compression == Imf::ZIPS_COMPRESSION) : 1;
        part.minY = header.dataWindow().min.y;
        part.maxY = header.dataWindow().max.y;
        part.nextY = part.minY;
        // The core keeps the channels in the file's order.
        const exr_attr_chlist_t *channels = nullptr;
        exr_get_channels(c, static_cast<int>(p), &channels);
        const std::size_t width = static_cast<std::size_t>(header.dataWindow().size().x) + 1;
        for (int i = 0; channels && i < channels->num_channels; ++i) {
            const exr_attr_chlist_entry_t &e = channels->entries[i];
            part.offsets[std::string(e.name.str, static_cast<std::size_t>(e.name.length))] =
                part.lineBytes;
            part.lineBytes += width * (e.pixel_type == EXR_PIXEL_HALF ? 2 : 4);
        }
    }
}

ExrLineOutput::~ExrLineOutput()
{
    if (stream_)
        discard();
}

std::size_t ExrLineOutput::lineBytes(int part) const
{
    return parts_.at(static_cast<std::size_t>(part)).lineBytes;
}

std::size_t ExrLineOutput::channelOffset(const std::string &name, int part) const
{
    const Part &p = parts_.at(static_cast<std::size_t>(part));
    const auto at = p.offsets.find(name);
    if (at == p.offsets.end())
        throw Iex::ArgExc("Image file \"" + fileName_ + "\" has no channel \"" + name + "\".");
    return at->second;
}

int ExrLineOutput::bandLines(int part) const
{
    const Part &p = parts_.at(static_cast<std::size_t>(part));
    const int threads = IlmThread::ThreadPool::globalThreadPool().numThreads();
    // Uncompressed lines are cheap: a few per call still save the per-call
    // cost of converting them.
    // One chunk per thread, or per call without threads; single lines come
    // a few at a time, as uncompressed lines do.
    const int chunks = (p.chunkLines == 1 ? 16 : 1) * (p.compressed ? std::max(1, threads) : 1);
    return p.chunkLines * chunks;
}

void ExrLineOutput::writeLines(int index, int y, int rows, const unsigned char *packed)
{
    if (!context_)
        throw Iex::LogicExc("Image file \"" + fileName_ + "\" is already closed.");
    if (index < 0 || static_cast<std::size_t>(index) >= parts_.size())
        throw Iex::ArgExc("Image file \"" + fileName_ + "\" has no part " + std::to_string(index) + ".");
    Part &part = parts_[static_cast<std::size_t>(index)];
    if (rows < 0 || y != part.nextY || rows > part.maxY - y + 1)
        throw Iex::ArgExc("Lines " + std::to_string(y) + " to " + std::to_string(y + rows - 1) +
                          " are not the next lines of image file \"" + fileName_ + "\".");
    const LineOutputCore::Call call(this);
    const std::size_t lineBytes = part.lineBytes;
    if (!part.compressed) {
        flush();
        for (int r = 0; r < rows; ++r)
            writeChunk(index, y + r, packed + lineBytes * static_cast<std::size_t>(r), lineBytes);
        part.nextY += rows;
        return;
    }
    while (rows > 0) {
        if (part.pendingRows > 0 || rows < part.chunkRows(y)) {
            // Part of a chunk: kept until the chunk is whole.
            const int first = part.nextY - part.pendingRows;
            const int take = std::min(part.chunkRows(first) - part.pendingRows, rows);
            part.pending.resize(lineBytes * static_cast<std::size_t>(part.chunkLines));
            std::memcpy(part.pending.data() + lineBytes * static_cast<std::size_t>(part.pendingRows),
                        packed, lineBytes * static_cast<std::size_t>(take));
            part.pendingRows += take;
            part.nextY += take;
            y += take;
            rows -= take;
            packed += lineBytes * static_cast<std::size_t>(take);
            if (part.pendingRows == part.chunkRows(first)) {
                part.pendingRows = 0;
                writeChunks(part, index, first, 1, part.pending.data(), false);
            }
            continue;
        }
        // Whole chunks straight from the caller's lines.
        int chunks = 0, lines = 0;
        while (lines < rows && part.chunkRows(y + lines) <= rows - lines) {
            lines += part.chunkRows(y + lines);
            ++chunks;
        }
        writeChunks(part, index, y, chunks, packed, true);
        part.nextY += lines;
        y += lines;
        rows -= lines;
        packed += lineBytes * static_cast<std::size_t>(lines);
    }
}

// Chunks one after the other from line y, compressed and written in
// order. With the library's threads they are compressed on its pool while
// the caller goes on (written once the next chunks come, or at flush());
// without, here and now.
void ExrLineOutput::writeChunks(Part &part, int index, int y, int chunks,
                                const unsigned char *packed, bool mayOverlap)
{
    flush();
    Compressors &z = *compressors_;
    const std::size_t n = static_cast<std::size_t>(chunks);
    const std::size_t lineBytes = part.lineBytes;
    const int chunkLines = part.chunkLines, maxY = part.maxY;
    const std::size_t chunkBytes = lineBytes * static_cast<std::size_t>(chunkLines);
    const auto chunkAt = [=](std::size_t i) {
        const int first = y + static_cast<int>(i) * chunkLines;
        return ZipChunkCompressor::Stored{
            packed + chunkBytes * i,
            lineBytes * static_cast<std::size_t>(std::min(chunkLines, maxY - first + 1))};
    };
    const int threads = IlmThread::ThreadPool::globalThreadPool().numThreads();
    if (!compressesAside() || !mayOverlap) {
        if (z.out.empty())
            z.out.resize(1);
        ZipChunkCompressor &compressor = z.at(0);
        for (std::size_t i = 0; i < n; ++i) {
            const ZipChunkCompressor::Stored chunk = chunkAt(i);
            const ZipChunkCompressor::Stored s = compressor.compress(chunk.bytes, chunk.size, z.out[0]);
            writeChunk(index, y + static_cast<int>(i) * chunkLines, s.bytes, s.size);
        }
        return;
    }
    if (z.out.size() < n)
        z.out.resize(n);
    z.stored.assign(n, ZipChunkCompressor::Stored());
    const std::size_t tasks = std::min(n, static_cast<std::size_t>(threads));
    for (std::size_t t = 0; t < tasks; ++t)
        z.at(t);
    z.compress = [&z, chunkAt](std::size_t i, ZipChunkCompressor &c) {
        const ZipChunkCompressor::Stored chunk = chunkAt(i);
        z.stored[i] = c.compress(chunk.bytes, chunk.size, z.out[i]);
    };
    z.failures.assign(tasks, nullptr);
    z.part = index;
    z.y = y;
    z.chunkLines = chunkLines;
    z.group = std::make_unique<IlmThread::TaskGroup>();
    for (std::size_t t = 0; t < tasks; ++t)
        IlmThread::ThreadPool::addGlobalTask(new ChunkTask(
            z.group.get(), *z.compressors[t], t, tasks, n, z.compress, z.failures[t]));
}

bool ExrLineOutput::compressesAside()
{
    return IlmThread::ThreadPool::globalThreadPool().numThreads() > 0;
}

void ExrLineOutput::flush()
{
    Compressors &z = *compressors_;
    if (!z.group)
        return;
    // Waits for every task of the chunks in flight.
    z.group.reset();
    for (const std::exception_ptr &f : z.failures)
        if (f) {
            discard();
            std::rethrow_exception(f);
        }
    const LineOutputCore::Call call(this);
    for (std::size_t i = 0; i < z.stored.size(); ++i)
        writeChunk(z.part, z.y + static_cast<int>(i) * z.chunkLines, z.stored[i].bytes,
                   z.stored[i].size);
    z.stored.clear();
}

void ExrLineOutput::writeChunk(int index, int y, const void *bytes, std::size_t size)
{
    const exr_result_t r =
        exr_write_scanline_chunk(static_cast<exr_context_t>(context_), index, y, bytes, size);
    if (r != EXR_ERR_SUCCESS)
        fail("Failed to write pixel data to image file \"" + fileName_ + "\". ", r);
}

void ExrLineOutput::close()
{
    if (!context_)
        return;
    flush();
    for (const Part &p : parts_)
        if (p.nextY <= p.maxY) {
            discard();
            throw Iex::LogicExc("Image file \"" + fileName_ + "\" was closed before line " +
                                std::to_string(p.nextY) + " was written; it was not saved.");
        }
    const LineOutputCore::Call call(this);
    exr_context_t c = static_cast<exr_context_t>(context_);
    context_ = nullptr;
    exr_finish(&c);
    commitStream(stream_, target_);
}

void ExrLineOutput::discard() noexcept
{
    // The pool's tasks are done with the lines and the compressors first.
    if (compressors_)
        compressors_->group.reset();
    if (context_) {
        const LineOutputCore::Call call(this);
        exr_context_t c = static_cast<exr_context_t>(context_);
        context_ = nullptr;
        exr_finish(&c);
    }
    dropStream(stream_, target_);
}

void ExrLineOutput::fail(const std::string &prefix, int code)
{
    // The stream's own words where it failed, else the core's.
    std::string why = !streamFailure_.empty() ? streamFailure_
                      : !coreMessage_.empty() ? coreMessage_
                                              : exr_get_default_error_message(code);
    discard();
    throw Iex::InputExc(prefix + why);
}

} // namespace ravelcast

#include "exrio/ExrFiles.h"

#include <cstring>
#include <limits>

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfDoubleAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfIntAttribute.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>
#include <openexr.h>

#include "exrio/StreamFailure.h"
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
    static bool attribute(exr_context_t c, const char *name, const Imf::Attribute &a)
    {
        const std::string type = a.typeName();
        if (type == "string") {
            const std::string &v = static_cast<const Imf::StringAttribute &>(a).value();
            return v.find('\0') == std::string::npos &&
                   (!c || exr_attr_set_string(c, 0, name, v.c_str()) == EXR_ERR_SUCCESS);
        }
        if (type == "int")
            return !c || exr_attr_set_int(c, 0, name, static_cast<const Imf::IntAttribute &>(a).value()) ==
                             EXR_ERR_SUCCESS;
        if (type == "float")
            return !c || exr_attr_set_float(c, 0, name,
                                            static_cast<const Imf::FloatAttribute &>(a).value()) ==
                             EXR_ERR_SUCCESS;
        if (type == "double")
            return !c || exr_attr_set_double(c, 0, name,
                                             static_cast<const Imf::DoubleAttribute &>(a).value()) ==
                             EXR_ERR_SUCCESS;
        if (type == "rational") {
            const Imf::Rational &r = static_cast<const Imf::RationalAttribute &>(a).value();
            const exr_attr_rational_t v = {r.n, r.d};
            return !c || exr_attr_set_rational(c, 0, name, &v) == EXR_ERR_SUCCESS;
        }
        if (type == "preview") {
            const Imf::PreviewImage &p = static_cast<const Imf::PreviewImageAttribute &>(a).value();
            static_assert(sizeof(Imf::PreviewRgba) == 4, "preview pixels are four bytes");
            const exr_attr_preview_t v = {p.width(), p.height(), 0,
                                          reinterpret_cast<const uint8_t *>(p.pixels())};
            return !c || exr_attr_set_preview(c, 0, name, &v) == EXR_ERR_SUCCESS;
        }
        return false;
    }
};

thread_local ExrLineOutput *LineOutputCore::calling = nullptr;

bool ExrLineOutput::carries(const Imf::Header &header)
{
    if (header.compression() != Imf::NO_COMPRESSION || !littleEndian())
        return false;
    for (auto i = header.channels().begin(); i != header.channels().end(); ++i)
        if (i.channel().xSampling != 1 || i.channel().ySampling != 1)
            return false;
    for (auto i = header.begin(); i != header.end(); ++i)
        if (!requiredAttribute(i.name()) && !LineOutputCore::attribute(nullptr, i.name(), i.attribute()))
            return false;
    return true;
}

ExrLineOutput::ExrLineOutput(const std::string &fileName, const Imf::Header &header)
    : fileName_(fileName), target_(beginTarget(fileName)), stream_(streamInto(*target_))
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

    int part = 0;
    exr_result_t r = exr_add_part(c, nullptr, EXR_STORAGE_SCANLINE, &part);
    const exr_attr_box2i_t display = box(header.displayWindow()), data = box(header.dataWindow());
    const exr_attr_v2f_t centre = {header.screenWindowCenter().x, header.screenWindowCenter().y};
    if (r == EXR_ERR_SUCCESS)
        r = exr_initialize_required_attr(c, part, &display, &data, header.pixelAspectRatio(), &centre,
                                         header.screenWindowWidth(),
                                         static_cast<exr_lineorder_t>(header.lineOrder()),
                                         EXR_COMPRESSION_NONE);
    // Names beyond 31 bytes need the flag of long names, as the library sets it.
    bool longNames = false;
    for (auto i = header.channels().begin(); i != header.channels().end(); ++i)
        longNames = longNames || std::strlen(i.name()) > 31;
    for (auto i = header.begin(); i != header.end(); ++i)
        longNames = longNames || std::strlen(i.name()) > 31;
    if (!r && longNames)
        r = exr_set_longname_support(c, 1);
    for (auto i = header.channels().begin(); i != header.channels().end() && !r; ++i) {
        r = exr_add_channel(c, part, i.name(), static_cast<exr_pixel_type_t>(i.channel().type),
                            i.channel().pLinear ? EXR_PERCEPTUALLY_LINEAR
                                                : EXR_PERCEPTUALLY_LOGARITHMIC,
                            1, 1);
    }
    for (auto i = header.begin(); i != header.end() && !r; ++i) {
        if (requiredAttribute(i.name()))
            continue;
        if (!LineOutputCore::attribute(c, i.name(), i.attribute()))
            r = EXR_ERR_INVALID_ATTR;
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

    // The core keeps the channels in the file's order.
    const exr_attr_chlist_t *channels = nullptr;
    exr_get_channels(c, part, &channels);
    const std::size_t width = static_cast<std::size_t>(header.dataWindow().size().x) + 1;
    for (int i = 0; channels && i < channels->num_channels; ++i) {
        const exr_attr_chlist_entry_t &e = channels->entries[i];
        offsets_[std::string(e.name.str, static_cast<std::size_t>(e.name.length))] = lineBytes_;
        lineBytes_ += width * (e.pixel_type == EXR_PIXEL_HALF ? 2 : 4);
    }
}

ExrLineOutput::~ExrLineOutput()
{
    if (stream_)
        discard();
}

std::size_t ExrLineOutput::channelOffset(const std::string &name) const
{
    const auto at = offsets_.find(name);
    if (at == offsets_.end())
        throw Iex::ArgExc("Image file \"" + fileName_ + "\" has no channel \"" + name + "\".");
    return at->second;
}

void ExrLineOutput::writeLine(int y, const unsigned char *packed)
{
    if (!context_)
        throw Iex::LogicExc("Image file \"" + fileName_ + "\" is already closed.");
    const LineOutputCore::Call call(this);
    const exr_result_t r = exr_write_scanline_chunk(static_cast<exr_context_t>(context_), 0, y,
                                                    packed, lineBytes_);
    if (r != EXR_ERR_SUCCESS)
        fail("Failed to write pixel data to image file \"" + fileName_ + "\". ", r);
}

void ExrLineOutput::close()
{
    if (!context_)
        return;
    const LineOutputCore::Call call(this);
    exr_context_t c = static_cast<exr_context_t>(context_);
    context_ = nullptr;
    exr_finish(&c);
    commitStream(stream_, target_);
}

void ExrLineOutput::discard() noexcept
{
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

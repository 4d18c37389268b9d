#include "exrio/ExrFiles.h"

#include <Iex.h>

#include "exrio/StreamFailure.h"

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

std::unique_ptr<Imf::Win32OFStream> createStream(const std::string &fileName)
{
    try {
        return std::make_unique<Imf::Win32OFStream>(fileName);
    } catch (Iex::BaseExc &e) {
        // The library adds this prefix to anything that fails once it holds
        // the stream; a stream that cannot even be made gets the same, so the
        // user sees one wording for "cannot open".
        e.assign((outputOpenPrefix(fileName) + e.what()).c_str());
        throw;
    }
}

} // namespace

ExrOutput::ExrOutput(const std::string &fileName, const Imf::Header &header, int numThreads)
    : fileName_(fileName), stream_(createStream(fileName))
{
    file_ = std::make_unique<Imf::OutputFile>(*stream_, header, numThreads);
    flushHeader();
}

void ExrOutput::flushHeader()
{
    // The header is in the stream's buffer: a file that cannot take it
    // fails here, as it would while the library wrote it.
    try {
        stream_->flush();
    } catch (Iex::BaseExc &e) {
        e.assign((outputOpenPrefix(fileName_) + e.what()).c_str());
        throw;
    }
}

ExrOutput::ExrOutput(const std::string &fileName, const std::vector<Imf::Header> &headers,
                     int numThreads)
    : fileName_(fileName), stream_(createStream(fileName))
{
    parts_ = std::make_unique<Imf::MultiPartOutputFile>(
        *stream_, headers.data(), static_cast<int>(headers.size()), false, numThreads);
    flushHeader();
}

ExrOutput::~ExrOutput()
{
    file_.reset();
    parts_.reset();
    stream_.reset();
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
    // Only what fails while the file is finished counts here; an earlier
    // failure was thrown to the caller when it happened.
    stream_->forgetFailure();
    file_.reset();
    parts_.reset();
    try {
        stream_->flush();
    } catch (Iex::BaseExc &) {
        // Kept in failure() and reported below.
    }
    const std::string failure = stream_->failure();
    stream_.reset();
    if (!failure.empty())
        throw Iex::InputExc("Cannot close image file \"" + fileName_ + "\". " + failure);
}

} // namespace ravelcast

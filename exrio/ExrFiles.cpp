#include "exrio/ExrFiles.h"

#include <filesystem>

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

// The stream of a file written under the name `path` for `fileName`.
// Written under a name of its own beside the file, renamed into place only
// once complete: a failed or interrupted write never leaves a half file
// under the final name, and a good file there stays until replaced.
// A device or pipe named as the output is written as it is.
std::string temporaryName(const std::string &fileName)
{
    std::error_code ec;
    const auto status = std::filesystem::status(fileName, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return fileName;
    return fileName + ".ravelcast-tmp";
}

std::unique_ptr<Imf::Win32OFStream> createStream(const std::string &path,
                                                 const std::string &fileName)
{
    try {
        return std::make_unique<Imf::Win32OFStream>(path);
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
    : fileName_(fileName), tempName_(temporaryName(fileName)), stream_(createStream(tempName_, fileName))
{
    try {
        file_ = std::make_unique<Imf::OutputFile>(*stream_, header, numThreads);
        flushHeader();
    } catch (...) {
        discard();
        throw;
    }
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
    : fileName_(fileName), tempName_(temporaryName(fileName)), stream_(createStream(tempName_, fileName))
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
    if (stream_)
        stream_->close();
    stream_.reset();
    if (tempName_ != fileName_)
        PlatformFile::removeFile(tempName_);
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
    stream_->close();
    const std::string failure = stream_->failure();
    stream_.reset();
    if (!failure.empty()) {
        if (tempName_ != fileName_)
            PlatformFile::removeFile(tempName_);
        throw Iex::InputExc("Cannot close image file \"" + fileName_ + "\". " + failure);
    }
    PlatformFile::ErrorCode error = 0;
    if (tempName_ != fileName_ && !PlatformFile::replaceFile(tempName_, fileName_, &error)) {
        PlatformFile::removeFile(tempName_);
        throw Iex::InputExc("Cannot write image file \"" + fileName_ + "\". " +
                            PlatformFile::errorText(error));
    }
}

} // namespace ravelcast

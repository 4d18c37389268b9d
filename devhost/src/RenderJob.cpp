#include "devhost/RenderJob.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <lwsdk/scene.h>

#include "devhost/FilterAccess.h"
#include "devhost/Host.h"
#include "devhost/ImageUtility.h"

namespace devhost {

namespace {

bool parseFrame(const char *&p, const char *end, LWFrame *out)
{
    int v = 0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec != std::errc() || r.ptr == p || v < -kMaxFrameNumber || v > kMaxFrameNumber)
        return false;
    p = r.ptr;
    *out = v;
    return true;
}

std::string platformPath(std::string path)
{
#ifndef _WIN32
    // Scenes made on Windows name folders with '\'.
    for (char &c : path)
        if (c == '\\')
            c = '/';
#endif
    return path;
}

} // namespace

long long FrameRange::count() const
{
    if (last < first || step <= 0)
        return 0;
    return (static_cast<long long>(last) - first) / step + 1;
}

long long FrameRange::indexOf(LWFrame frame) const
{
    if (frame < first || frame > last || step <= 0)
        return 0;
    const long long offset = static_cast<long long>(frame) - first;
    return offset % step == 0 ? offset / step + 1 : 0;
}

bool parseFrameRange(const std::string &text, FrameRange *range)
{
    const char *p = text.data();
    const char *end = p + text.size();
    FrameRange r;
    if (!parseFrame(p, end, &r.first))
        return false;
    r.last = r.first;
    if (p != end) {
        if (*p != '-')
            return false;
        ++p;
        if (!parseFrame(p, end, &r.last) || p != end)
            return false;
    }
    if (r.last < r.first)
        return false;
    r.step = 1;
    *range = r;
    return true;
}

std::vector<AppliedServer *> imageFilters(const Scene &scene)
{
    std::vector<AppliedServer *> out;
    for (const auto &s : scene.servers)
        if (s->className == LWIMAGEFILTER_HCLASS && s->instance)
            out.push_back(s.get());
    return out;
}

BufferRequest filterRequest(const AppliedServer &filter)
{
    if (!filter.instance)
        return {};
    if (filter.version == LWIMAGEFILTER_VERSION_MASK)
        return filter.filter.flags.mask ? BufferRequest::fromMask(filter.filter.flags.mask(filter.instance))
                                        : BufferRequest{};
    return filter.filter.flags.list ? BufferRequest::fromList(filter.filter.flags.list(filter.instance))
                                    : BufferRequest{};
}

BufferRequest sceneRequest(const Scene &scene)
{
    BufferRequest r;
    for (AppliedServer *f : imageFilters(scene))
        r |= filterRequest(*f);
    return r;
}

void frameTimes(const Host &host, LWFrame frame, LWTime *start, LWTime *end)
{
    const SceneSettings &s = host.scene().settings;
    const double fps = s.framesPerSecond > 0 ? s.framesPerSecond : 24.0;
    *start = frame / fps;
    double blur = 0;
    if (s.renderOptions & LWROPT_MOTIONBLUR)
        if (const Camera *c = host.scene().camera(s.renderCamera))
            blur = c->blurLength;
    *end = *start + blur / fps;
}

RenderedFrame renderForFilter(Host &host, const AppliedServer &filter, LWFrame frame)
{
    host.setFrame(frame);
    Renderer renderer(host);
    return renderer.render(frame, filterRequest(filter));
}

void runFilter(Host &host, AppliedServer &filter, RenderedFrame &frame, LWMonitor *monitor)
{
    if (!filter.instance || !filter.filter.process)
        return;
    LWTime start, end;
    frameTimes(host, frame.frame(), &start, &end);
    FilterAccess access(frame, start, end, monitor);
    filter.filter.process(filter.instance, access.table());
    access.commit();
}

void writeBufferDump(const RenderedFrame &frame, const std::string &path)
{
    try {
        Imf::Header header(frame.width(), frame.height());
        Imf::FrameBuffer fb;
        const std::size_t xStride = sizeof(float);
        const std::size_t yStride = sizeof(float) * static_cast<std::size_t>(frame.width());
        for (int b : frame.buffers()) {
            const std::string name = "B" + std::to_string(b);
            header.channels().insert(name, Imf::Channel(Imf::FLOAT));
            fb.insert(name, Imf::Slice(Imf::FLOAT,
                                       reinterpret_cast<char *>(const_cast<float *>(frame.plane(b))),
                                       xStride, yStride));
        }
        Imf::OutputFile out(path.c_str(), header);
        out.setFrameBuffer(fb);
        out.writePixels(frame.height());
    } catch (const std::exception &e) {
        throw HostError("Cannot write the buffer dump \"" + path + "\": " + e.what());
    }
}

std::string frameFileName(const std::string &prefix, LWFrame frame, const std::string &extension)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", frame);
    return prefix + digits + "." + extension;
}

void createParentFolders(const std::string &file)
{
    namespace fs = std::filesystem;
    const fs::path parent = fs::path(file).parent_path();
    if (parent.empty())
        return;
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec)
        throw HostError("Cannot create the folder \"" + parent.string() + "\" for \"" + file +
                        "\": " + ec.message());
}

RenderJob::RenderJob(Host &host, RenderOptions options)
    : host_(host), options_(std::move(options))
{
    // Filters may change the current folder while they run (to resolve
    // their names against the content folder): the job's own relative
    // names keep meaning what they meant when the job was made.
    std::error_code ec;
    startFolder_ = std::filesystem::current_path(ec).string();
    if (!options_.dumpDirectory.empty())
        options_.dumpDirectory = std::filesystem::absolute(options_.dumpDirectory, ec).lexically_normal().string();
}

RenderJob::~RenderJob() = default;

FrameRange RenderJob::frameRange() const
{
    FrameRange r;
    if (options_.frames) {
        r = *options_.frames;
    } else {
        const SceneSettings &s = host_.scene().settings;
        r = {s.firstFrame, s.lastFrame, s.frameStep};
    }
    if (r.step <= 0)
        r.step = 1;
    return r;
}

std::string RenderJob::shownPath(const std::string &file) const
{
    namespace fs = std::filesystem;
    const fs::path path = fs::path(file).lexically_normal();
    if (startFolder_.empty() || !path.is_absolute())
        return path.string();
    const fs::path relative = path.lexically_relative(startFolder_);
    if (relative.empty() || *relative.begin() == "..")
        return path.string();
    return relative.string();
}

void RenderJob::watchOutputFolders()
{
    namespace fs = std::filesystem;
    watch_ = std::make_unique<FolderWatch>();
    // Filters write relative names into the content folder; an absolute
    // render path may point elsewhere.
    const std::string content = host_.directory("Content");
    if (!content.empty())
        watch_->watch(content);
    const fs::path prefix(platformPath(host_.scene().settings.rgbPrefix));
    if (prefix.is_absolute())
        watch_->watch(prefix.parent_path().string());
    if (options_.out)
        for (const std::string &f : watch_->skipped())
            *options_.out << "note: \"" << f
                          << "\" holds too many files to watch; only the files written through "
                             "the host's savers are listed\n";
}

void RenderJob::describeFilters()
{
    if (described_)
        return;
    described_ = true;
    for (AppliedServer *f : imageFilters(host_.scene())) {
        const std::string d = host_.describe(*f);
        if (options_.out)
            *options_.out << "filter " << f->name << ": " << d << "\n" << std::flush;
    }
}

int RenderJob::frameSaver() const
{
    const std::string &name = host_.scene().settings.imageSaver;
    if (name.empty())
        return -1;
    ImageUtility &util = host_.extensions().get<ImageUtility>();
    const int index = util.findSaver(name);
    if (index < 0) {
        std::string list;
        for (const ImageUtility::Saver &s : util.savers())
            list += (list.empty() ? "" : ", ") + s.name;
        throw HostError("The scene's image saver \"" + name + "\" is not one of the host's savers (" +
                        list + ")");
    }
    return index;
}

std::string RenderJob::saveFrameImage(const RenderedFrame &frame)
{
    namespace fs = std::filesystem;
    const int saver = frameSaver();
    if (saver < 0)
        return {};
    ImageUtility &util = host_.extensions().get<ImageUtility>();
    const ImageUtility::Saver info = util.savers()[static_cast<std::size_t>(saver)];
    fs::path path(platformPath(
        frameFileName(host_.scene().settings.rgbPrefix, frame.frame(), info.extension)));
    if (path.is_relative())
        path = fs::path(host_.directory("Content")) / path;
    if (path.is_relative() && !startFolder_.empty())
        path = fs::path(startFolder_) / path;
    const std::string file = path.lexically_normal().string();
    createParentFolders(file);

    LWPixmapID image = util.create(frame.width(), frame.height(), LWIMTYP_RGBAFP);
    if (!image)
        throw HostError("Cannot make the frame image for \"" + file + "\"");
    const float *planes[4] = {frame.plane(LWBUF_RED), frame.plane(LWBUF_GREEN),
                              frame.plane(LWBUF_BLUE), frame.plane(LWBUF_ALPHA)};
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * frame.width() + x;
            float px[4];
            for (int c = 0; c < 4; ++c)
                px[c] = planes[c] ? planes[c][i] : 0.0f;
            util.setPixel(image, x, y, px);
        }
    const int result = util.save(image, saver, file.c_str());
    util.destroy(image);
    if (result != IPSTAT_OK)
        throw HostError("Cannot save frame " + std::to_string(frame.frame()) + " as \"" + file +
                        "\" with " + info.name + " (result " + std::to_string(result) + ")");
    return file;
}

RenderedFrame RenderJob::renderFrame(LWFrame frameNumber)
{
    namespace fs = std::filesystem;
    host_.setFrame(frameNumber);
    describeFilters(); // at the first frame's time, as its names will be
    if (!renderer_)
        renderer_ = std::make_unique<Renderer>(host_);
    if (!watch_)
        watchOutputFolders();
    const std::size_t notedBefore = host_.written().size();
    RenderedFrame frame = renderer_->render(frameNumber, sceneRequest(host_.scene()));
    // The renderer's buffers, not the files a filter writes of them.
    if (options_.out)
        *options_.out << "frame " << frameNumber << ": " << frame.width() << " x "
                      << frame.height() << ", host computed " << frame.buffers().size()
                      << " render buffers\n"
                      << std::flush;

    if (!options_.dumpDirectory.empty()) {
        const std::string file =
            (fs::path(options_.dumpDirectory) / frameFileName("buffers.", frameNumber, "exr"))
                .string();
        createParentFolders(file);
        writeBufferDump(frame, file);
        dumps_.push_back(fs::absolute(file).lexically_normal().string());
        if (options_.out)
            *options_.out << "buffers: " << shownPath(dumps_.back()) << "\n" << std::flush;
    }

    const FrameRange range = frameRange();
    const long long index = range.indexOf(frameNumber);
    const std::string which = "frame " + std::to_string(frameNumber) +
                              (index > 0 ? " (" + std::to_string(index) + " of " +
                                               std::to_string(range.count()) + ")"
                                         : std::string());
    const std::size_t errorsBefore = host_.messages().ofKind(Message::Error).size();
    for (AppliedServer *filter : imageFilters(host_.scene())) {
        ProgressMonitor monitor(options_.progress, options_.out, filter->name + ", " + which);
        runFilter(host_, *filter, frame, monitor.table());
        monitor.done();
    }
    const std::vector<Message> errors = host_.messages().ofKind(Message::Error);
    if (errors.size() > errorsBefore) {
        const Message &m = errors[errorsBefore];
        throw HostError("Frame " + std::to_string(frameNumber) + " failed: " + m.line1 +
                        (m.line2.empty() ? "" : " " + m.line2));
    }

    const std::string image = saveFrameImage(frame);
    if (!image.empty())
        images_.push_back(image);

    // Every file of the frame: what went through the host's savers and
    // File IO, and what appeared or changed in the watched folders.
    std::set<std::string> files(host_.written().begin() + static_cast<long>(notedBefore),
                                host_.written().end());
    for (const std::string &f : watch_->changes())
        files.insert(f);
    if (!options_.dumpDirectory.empty())
        files.insert(dumps_.back());
    for (const std::string &f : files)
        written_.push_back(f);
    if (options_.out) {
        for (const std::string &f : files)
            if (f != image && (options_.dumpDirectory.empty() || f != dumps_.back()))
                *options_.out << "wrote: " << shownPath(f) << "\n";
        if (!image.empty())
            *options_.out << "image: " << shownPath(image) << "\n";
        *options_.out << std::flush;
    }
    return frame;
}

void RenderJob::run()
{
    frameSaver(); // a saver the host lacks fails before any frame renders
    // Filters make the content directory current and write relative names
    // into it, so it must exist.
    std::error_code ec;
    std::filesystem::create_directories(host_.directory("Content"), ec);
    if (!renderer_)
        renderer_ = std::make_unique<Renderer>(host_);
    const FrameRange range = frameRange();
    for (long long n = 1, count = range.count(); n <= count; ++n)
        renderFrame(range.at(n));
}

} // namespace devhost

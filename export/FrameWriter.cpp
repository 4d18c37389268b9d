#include "export/FrameWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfThreading.h>

#include "export/EmbeddedPreview.h"
#include "export/FilterSettings.h"
#include "export/FrameHeaders.h"
#include "export/LastFrame.h"
#include "export/OpenEXRBuffer.h"
#include "exrio/ExrFiles.h"
#include "hostkit/HostInfo.h"
#include "hostkit/Services.h"
#include "hostkit/utility/AtomicFile.h"
#include "hostkit/utility/Platform.h"
#include "module/Version.h"

namespace ravelcast {

namespace {

// The folders of a file name, made when missing; the real cause when they
// cannot be (a read-only disk, a file in the way), with the buffer's name.
void ensureFolderFor(const PlannedFile &file)
{
    namespace fs = std::filesystem;
    const fs::path folder = hostkit::filePath(file.fileName).parent_path();
    if (folder.empty())
        return;
    std::error_code ec, examined;
    fs::create_directories(folder, ec);
    if (fs::is_directory(folder, examined))
        return;
    const std::string what = file.kind == PlannedFile::Layered ? std::string("the layered file")
                             : file.kind == PlannedFile::Mattes
                                 ? "the mattes of " + file.mattes.front().name
                                 : "the image of \"" + file.buffers.front()->displayName() + "\"";
    const std::error_code why = ec ? ec : examined;
    throw std::runtime_error("Cannot create the folder \"" + hostkit::utf8Text(folder) + "\" for " + what +
                             ": " + (why ? why.message() : std::string("it is not a folder")));
}

// A manifest's own file, written whole or not at all as the images are.
void writeManifest(const std::string &fileName, const std::string &text)
{
    hostkit::AtomicFile file;
    const auto fail = [&](const std::string &cause) {
        throw std::runtime_error("Cannot write the Cryptomatte manifest \"" + fileName + "\": " +
                                 cause);
    };
    if (!file.open(fileName))
        fail(file.cause());
    if (!file.file().write(text.data(), text.size())) {
        const std::string cause = hostkit::PlatformFile::errorText(file.file().error());
        file.abandon();
        fail(cause);
    }
    if (!file.commit())
        fail(file.cause());
}

// One channel's converted rows of a band, and the names it is written as.
struct BandChannel {
    const OpenEXRBuffer *buffer;
    int channel;
    std::vector<std::string> names;
    unsigned char *rows;
};

} // namespace

int exportThreads()
{
    const char *v = std::getenv("RAVELCAST_THREADS");
    if (!v || !*v)
        return 0;
    if (std::string(v) == "auto")
        return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    char *end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (*end != '\0' || n < 0)
        return 0;
    return static_cast<int>(std::min(n, 256L));
}

int bandRows(int compression, int threads)
{
    int lines = 1;
    switch (compression) {
    case Imf::ZIP_COMPRESSION:
    case Imf::PXR24_COMPRESSION: lines = 16; break;
    case Imf::PIZ_COMPRESSION:
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION:
    case Imf::DWAA_COMPRESSION: lines = 32; break;
    case Imf::DWAB_COMPRESSION: lines = 256; break;
    default: lines = 1;
    }
    // Uncompressed line buffers are cheap: a few rows per call still save
    // the per-call cost of the library.
    if (lines == 1)
        lines = 16;
    return lines * std::max(1, threads);
}

FrameWriter::Columns FrameWriter::columnsOf(const Imath::Box2i &window, const FramePlan &plan) const
{
    // The library reads the whole data window of a row; the host's line
    // sits at the region's left edge.
    Columns c;
    c.left = std::min(window.min.x, plan.x0);
    c.width = std::max(access_.width() + plan.x0, window.max.x + 1) - c.left;
    c.host = plan.x0 - c.left;
    return c;
}

const float *FrameWriter::hostLine(const OpenEXRBuffer &b, int channel, int hostRow) const
{
    return hostRow >= 0 && hostRow < access_.height() ? b.channel(channel).getLine(hostRow, access_)
                                                      : nullptr;
}

void FrameWriter::measure(const OpenEXRBuffer &b, int hostRow, const float *const *lines)
{
    for (auto &[buffer, meter] : meters_)
        if (buffer == &b) {
            meter.row(hostRow, lines);
            return;
        }
}

// One channel's host line converted into a row of the file: a row the host
// does not deliver is written as zeros, and so are the columns of the file
// beside the host's line.
void FrameWriter::convertRow(const OpenEXRBuffer &b, int channel, int hostRow,
                             const float *values, const Columns &columns,
                             unsigned char *row) const
{
    const hostkit::FrameAccess &A = access_;
    const std::size_t bps = static_cast<std::size_t>(b.bytesPerSample());
    const std::size_t rowBytes = bps * static_cast<std::size_t>(columns.width);
    if (!values) {
        std::memset(row, 0, rowBytes);
        return;
    }
    const std::size_t before = bps * static_cast<std::size_t>(columns.host);
    const std::size_t line = bps * static_cast<std::size_t>(A.width());
    std::memset(row, 0, before);
    std::memset(row + before + line, 0, rowBytes - before - line);
    b.convertLine(values, channel, A.width(), A.line(b.alphaBuffer(), hostRow), row + before);
}

void FrameWriter::fillRow(const float *values, const Columns &columns, unsigned char *row) const
{
    const std::size_t rowBytes = sizeof(float) * static_cast<std::size_t>(columns.width);
    if (!values) {
        std::memset(row, 0, rowBytes);
        return;
    }
    const std::size_t before = sizeof(float) * static_cast<std::size_t>(columns.host);
    const std::size_t line = sizeof(float) * static_cast<std::size_t>(access_.width());
    std::memset(row, 0, before);
    std::memcpy(row + before, values, line);
    std::memset(row + before + line, 0, rowBytes - before - line);
}

// The host hands one id per pixel: rank 0 is that item, fully covering the
// pixel, and the other ranks are empty. Only where asked, a pixel whose
// beauty alpha is partial and that touches a pixel without an item takes
// the alpha as its item's coverage and leaves the rest to the background.
void FrameWriter::matteRow(const PlannedMatte &m, int hostRow)
{
    const hostkit::FrameAccess &A = access_;
    const std::size_t w = static_cast<std::size_t>(A.width());
    matteRow_.assign(3 * w, 0.0f);
    float *id = matteRow_.data(), *cover = id + w, *rest = cover + w;
    const float *line = hostRow >= 0 && hostRow < A.height() ? A.line(m.hostBuffer, hostRow) : nullptr;
    if (!line)
        return;
    const MatteIds &ids = *m.ids;
    for (std::size_t x = 0; x < w; ++x) {
        id[x] = ids(line[x]);
        cover[x] = id[x] != 0.0f ? 1.0f : 0.0f;
    }
    if (!m.alphaEdges)
        return;
    const float *alpha = A.line(hostkit::buffer::Alpha, hostRow);
    if (!alpha)
        return;
    const float *above = hostRow > 0 ? A.line(m.hostBuffer, hostRow - 1) : nullptr;
    const float *below = hostRow + 1 < A.height() ? A.line(m.hostBuffer, hostRow + 1) : nullptr;
    for (std::size_t x = 0; x < w; ++x) {
        const float a = alpha[x];
        if (id[x] == 0.0f || !(a > 0.0f && a < 1.0f))
            continue;
        const bool background = (x > 0 && id[x - 1] == 0.0f) || (x + 1 < w && id[x + 1] == 0.0f) ||
                                (above && ids(above[x]) == 0.0f) ||
                                (below && ids(below[x]) == 0.0f);
        if (!background)
            continue;
        cover[x] = a;
        rest[x] = 1.0f - a;
    }
}

const float *FrameWriter::matteValues(std::size_t channel) const
{
    const std::size_t w = static_cast<std::size_t>(access_.width());
    switch (channel) {
    case 0: return matteRow_.data();
    case 1: return matteRow_.data() + w;
    case 3: return matteRow_.data() + 2 * w;
    default: return nullptr;
    }
}

// A step of progress per 250 rows written.
void FrameWriter::stepRows(int first, int rows)
{
    if (!node_)
        for (int j = first; j < first + rows; ++j)
            if (j % 250 == 0)
                progress_.step(1);
}

FrameWriter::FrameWriter(const FrameSources &sources, const hostkit::FrameAccess &access,
                         hostkit::FrameAccess::Progress &progress)
    : settings_(sources.settings), buffers_(sources.buffers), kept_(sources.kept),
      bands_(sources.bands), access_(access), progress_(progress),
      node_(hostkit::inScreamerNet())
{
}

FrameFacts FrameWriter::gatherFacts() const
{
    const hostkit::FrameAccess &A = access_;
    FrameFacts f;
    f.width = A.width();
    f.height = A.height();
    f.display = Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(A.width() - 1, A.height() - 1));
    f.renderNode = node_;
    f.inLayout = hostkit::inLayout();
    f.frame = hostkit::TimeInfo().frame();
    const hostkit::SceneInfo scene;
    if (const std::optional<hostkit::SceneFacts> s = scene.facts()) {
        // A damaged aspect (not a number, 0 or below) would make no sizes.
        const double aspect = s->pixelAspect;
        f.pixelAspect = std::isfinite(aspect) && aspect > 0 ? static_cast<float>(aspect) : 1.0f;
        // Region mode only on the limited-region bit: other render options
        // say nothing about the rectangle, which a host may keep stale.
        if (!hostkit::inModeler() && (s->renderOptions & hostkit::renderOption::LimitedRegion) &&
            !hostkit::renderCamera(A.start()).noLimitedRegion) {
            f.region = true;
            f.x0 = s->regionX0;
            f.y0 = s->regionY0;
            f.regionBox =
                Imath::Box2i(Imath::V2i(f.x0, f.y0), Imath::V2i(s->regionX1, s->regionY1));
            f.display =
                Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(s->frameWidth - 1, s->frameHeight - 1));
        }
    }
    f.names = hostNameContext();
    // Relative output names resolve against the content directory; the
    // process's current directory (the host's) is left alone.
    f.contentFolder = hostkit::DirInfo().dir("Content");
    f.renderPath = hostkit::renderPath();
    if (!settings_.mattes().empty())
        f.items = hostkit::sceneNames();
    return f;
}

// Parameters at the frame's time, the preview window's data and the data
// windows: the passes over the host's lines before any file is written.
void FrameWriter::prepareBuffers(const FrameFacts &facts)
{
    const std::lock_guard<std::mutex> hold(kept_.mutex());
    FrameData &frame = kept_.data();
    frame.frameWidth = facts.display.max.x + 1;
    frame.frameHeight = facts.display.max.y + 1;
    const bool preview = settings_.previewInUse(facts.inLayout);
    frame.previewAspect = 1.0f;
    if (preview) {
        frame.previewAspect = static_cast<float>(facts.width * facts.pixelAspect / facts.height);
        if (frame.previewAspect * 480 > 640) {
            frame.previewImageWidth = 640;
            frame.previewImageHeight = static_cast<int>(std::ceil(640 / frame.previewAspect));
        } else {
            frame.previewImageWidth = static_cast<int>(std::ceil(frame.previewAspect * 480));
            frame.previewImageHeight = 480;
        }
        // What the samples show: the host's lines, where they sit, and when.
        frame.hostWidth = facts.width;
        frame.hostHeight = facts.height;
        frame.x0 = facts.x0;
        frame.y0 = facts.y0;
        frame.time = hostkit::TimeInfo().time();
        frame.previewed = true;
    }
    frame.windowX0 = facts.x0;
    frame.windowY0 = facts.y0;
    meters_.clear();
    for (const auto &b : buffers_) {
        b->evaluateParameters();
        // Unknown until measured: a failing frame leaves no stale box.
        b->setDataWindow(emptyWindow());
        if (preview) {
            // The preview's pass over every line measures the data window too.
            b->computePreviewData(access_, frame.previewImageWidth, frame.previewImageHeight);
            continue;
        }
        if (!b->active())
            continue;
        // A fitted window is needed before any file is written; the others
        // are measured on the rows the files read.
        if (b->fitDataWindow())
            b->computeDataWindow(access_);
        else
            meters_.emplace_back(b.get(), b->dataWindowMeter(facts.width, facts.height));
    }
}

// The data windows measured on the rows written, completed with the rows
// no file read.
void FrameWriter::finishDataWindows()
{
    std::vector<const float *> lines;
    for (auto &[b, meter] : meters_) {
        lines.resize(static_cast<std::size_t>(b->channelCount()));
        for (int y = 0; y < access_.height(); ++y) {
            if (meter.measured(y))
                continue;
            for (int c = 0; c < b->channelCount(); ++c)
                lines[c] = hostLine(*b, c, y);
            meter.row(y, lines.data());
        }
        const std::lock_guard<std::mutex> hold(kept_.mutex());
        b->setDataWindow(meter.box());
    }
    meters_.clear();
}

void FrameWriter::write()
{
    const FrameFacts facts = gatherFacts();

    prepareBuffers(facts);
    const FramePlan plan = planFrame(facts, settings_, buffers_);
    FrameData &kept = kept_.data();
    kept.previewWidth = plan.previewWidth;
    kept.previewHeight = plan.previewHeight;
    // Said once, not at every frame of a render that keeps them.
    std::vector<std::string> collisions = collisionLines(plan);
    if (collisions != kept.collisions)
        for (const std::string &c : collisions)
            hostkit::processMessages().warning("Orvo Ravelcast: two outputs share a name", c);
    kept.collisions = std::move(collisions);
    tokens_ = metadataTokens(facts.names.sceneName, facts.names.cameraName, facts.names.stereo,
                             facts.names.rightEye, facts.frame, gatherRenderFacts());
    // The module's saver writes the frame image with the same rows.
    publishUserMetadata(&kept_, settings_.userMetadata);
    progress_.init(plan.progressTotal);
    if (!plan.writes) {
        finishDataWindows();
        return;
    }
    // Without a name the files would land as "001.exr" in the content folder.
    if (!plan.files.empty() && settings_.baseName(facts.renderPath).empty())
        throw std::runtime_error("No output filename: nothing was written for frame " +
                                 std::to_string(facts.frame) +
                                 ". Set the Output File or the scene's render path.");

    for (const PlannedFile &file : plan.files) {
        ensureFolderFor(file);
        if (file.kind == PlannedFile::HostImage) {
            saveThroughHost(*file.buffers.front().buffer, file.fileName);
            if (!node_)
                progress_.step(static_cast<unsigned int>(access_.height() / 250));
        } else {
            // The manifest first: no image names a file that is not there.
            for (const PlannedMatte &m : file.mattes)
                if (!m.sidecar.empty())
                    writeManifest(m.sidecar, m.manifest);
            writeExr(file, plan);
        }
        announce(file.fileName);
    }
    if (refusedMetadata_ != kept.refusedMetadata)
        for (const std::string &r : refusedMetadata_)
            hostkit::processMessages().warning("Orvo Ravelcast: a metadata row was not written", r);
    kept.refusedMetadata = std::move(refusedMetadata_);
    finishDataWindows();
}

void FrameWriter::writeExr(const PlannedFile &file, const FramePlan &plan)
{
    const FilterSettings &f = settings_;
    const HeaderSettings settings{f.dwaLevel,        f.comment, f.author, f.headerChoices(),
                                  f.userMetadata, tokens_};
    std::optional<Imf::PreviewImage> preview;
    if (f.embedPreview && !file.buffers.empty())
        preview = embeddedPreview(*file.buffers.front().buffer, access_, plan.previewWidth,
                                  plan.previewHeight);
    const FileHeaders headers = fileHeaders(plan, file, settings, gatherRenderFacts(), preview);
    const Imf::Header &header = headers.header;
    for (const std::string &r : headers.refusedMetadata)
        if (std::find(refusedMetadata_.begin(), refusedMetadata_.end(), r) == refusedMetadata_.end())
            refusedMetadata_.push_back(r);

    const int threads = exportThreads();
    if (threads > 0 && Imf::globalThreadCount() < threads)
        Imf::setGlobalThreadCount(threads);
    const int libraryThreads = threads > 0 ? threads : Imf::globalThreadCount();

    if (!headers.parts.empty()) {
        std::vector<Imf::Header> parts;
        for (const PartHeader &p : headers.parts)
            parts.push_back(p.header);
        // Progress follows the tallest part: parts have windows of their own.
        std::size_t tallest = 0;
        const auto rows = [](const Imf::Header &h) {
            return h.dataWindow().max.y - h.dataWindow().min.y;
        };
        for (std::size_t i = 1; i < parts.size(); ++i)
            if (rows(parts[i]) > rows(parts[tallest]))
                tallest = i;
        if (ExrLineOutput::carries(parts)) {
            ExrLineOutput out(file.fileName, parts);
            for (std::size_t i = 0; i < parts.size(); ++i)
                writeLines(parts[i].dataWindow(), headers.parts[i].buffers,
                           headers.parts[i].mattes, plan, out, static_cast<int>(i), i == tallest);
            out.close();
            return;
        }
        ExrOutput out(file.fileName, parts, libraryThreads);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            Imf::OutputPart part(out.parts(), static_cast<int>(i));
            writeRows(parts[i], headers.parts[i].buffers, headers.parts[i].mattes, plan,
                      i == tallest,
                      [&](const Imf::FrameBuffer &fb, int rows) {
                          part.setFrameBuffer(fb);
                          part.writePixels(rows);
                      });
        }
        out.close();
        return;
    }

    if (ExrLineOutput::carries(header)) {
        ExrLineOutput out(file.fileName, header);
        writeLines(header.dataWindow(), file.buffers, file.mattes, plan, out, 0, true);
        out.close();
        return;
    }

    ExrOutput out(file.fileName, header, libraryThreads);
    writeRows(header, file.buffers, file.mattes, plan, true,
              [&](const Imf::FrameBuffer &fb, int rows) {
                  out.file().setFrameBuffer(fb);
                  out.file().writePixels(rows);
              });
    out.close();
}

// Rows of the data window, a band at a time: each band's host lines are
// converted once into band storage, the library gets one frame buffer and
// one call per band, so it can compress whole line buffers (in parallel
// when it has threads). Memory follows the band, not the frame.
//
// With threads (RAVELCAST_THREADS) the library writes one band on a thread
// of its own while this thread converts the next into a second band: the
// conversion hides behind the compression. Host lines are read on this
// thread only, as the host hands them to it.
void FrameWriter::writeRows(const Imf::Header &header, const std::vector<PlannedBuffer> &buffers,
                            const std::vector<PlannedMatte> &mattes, const FramePlan &plan,
                            bool countProgress, const BandSink &sink)
{
    const Imath::Box2i &window = header.dataWindow();
    const Columns columns = columnsOf(window, plan);
    const int width = columns.width, left = columns.left;
    const int threads = exportThreads();
    const int band =
        std::min(bandRows(header.compression(), threads), window.max.y - window.min.y + 1);

    const int stores = threads > 0 && window.max.y - window.min.y + 1 > band ? 2 : 1;
    std::size_t storeBytes = 0;
    for (const PlannedBuffer &b : buffers)
        storeBytes += static_cast<std::size_t>(b->bytesPerSample()) * b->channelCount() *
                      static_cast<std::size_t>(width) * band;
    // A matte's id and coverage rows (three a band), and one row of zeros
    // for its other channels.
    const std::size_t floatBand = sizeof(float) * static_cast<std::size_t>(width) * band;
    const std::size_t matteBytes = 3 * floatBand * mattes.size();
    const std::size_t zeroBytes = mattes.empty() ? 0 : sizeof(float) * static_cast<std::size_t>(width);
    unsigned char *storage = bands_.get((storeBytes + matteBytes) * stores + zeroBytes);
    unsigned char *const zeros = storage + (storeBytes + matteBytes) * stores;
    std::memset(zeros, 0, zeroBytes);
    unsigned char *matteStore[2] = {storage + storeBytes * stores,
                                    storage + storeBytes * stores + matteBytes};
    std::vector<BandChannel> channels[2];
    for (int s = 0; s < stores; ++s)
        for (const PlannedBuffer &b : buffers) {
            const std::size_t bytes = static_cast<std::size_t>(b->bytesPerSample());
            for (int c = 0; c < b->channelCount(); ++c) {
                channels[s].push_back({b.buffer, c, b.names[static_cast<std::size_t>(c)], storage});
                storage += bytes * static_cast<std::size_t>(width) * band;
            }
        }

    // Leaving early waits for the band in flight: the library must be done
    // with the storage before anything else uses it.
    std::future<void> writing;
    int store = 0;
    std::vector<const float *> lines;
    for (int first = window.min.y; first <= window.max.y; first += band) {
        const int rows = std::min(band, window.max.y - first + 1);
        Imf::FrameBuffer fb;
        std::vector<BandChannel> &stored = channels[store];
        // A buffer's channels follow each other: its rows are converted one
        // at a time, all channels, and the data window measured on them.
        for (std::size_t i = 0; i < stored.size();) {
            const OpenEXRBuffer &b = *stored[i].buffer;
            const int n = b.channelCount();
            const std::size_t bps = static_cast<std::size_t>(b.bytesPerSample());
            const std::size_t rowBytes = bps * width;
            lines.resize(static_cast<std::size_t>(n));
            for (int r = 0; r < rows; ++r) {
                const int hostRow = first + r - plan.y0;
                for (int c = 0; c < n; ++c) {
                    lines[c] = hostLine(b, c, hostRow);
                    convertRow(b, c, hostRow, lines[c], columns, stored[i + c].rows + rowBytes * r);
                }
                measure(b, hostRow, lines.data());
            }
            for (int c = 0; c < n; ++c) {
                const BandChannel &ch = stored[i + c];
                // Addressed so that pixel (x, y) of the file is its place in the band.
                char *base =
                    reinterpret_cast<char *>(ch.rows) -
                    static_cast<std::ptrdiff_t>(left) * static_cast<std::ptrdiff_t>(bps) -
                    static_cast<std::ptrdiff_t>(first) * static_cast<std::ptrdiff_t>(rowBytes);
                for (const std::string &name : ch.names)
                    fb.insert(name, Imf::Slice(static_cast<Imf::PixelType>(b.pixelType()), base,
                                               bps, rowBytes, 1, 1, b.emptyValue()));
            }
            i += static_cast<std::size_t>(n);
        }
        // A matte's id and coverage rows (channels R, G and A of its first
        // layer); every other channel reads the one row of zeros.
        const std::size_t floatRow = sizeof(float) * static_cast<std::size_t>(width);
        static const std::size_t kStored[3] = {0, 1, 3};
        for (std::size_t mi = 0; mi < mattes.size(); ++mi) {
            const PlannedMatte &m = mattes[mi];
            unsigned char *const stored3 = matteStore[store] + 3 * floatBand * mi;
            for (int r = 0; r < rows; ++r) {
                matteRow(m, first + r - plan.y0);
                for (std::size_t k = 0; k < 3; ++k)
                    fillRow(matteValues(kStored[k]), columns,
                            stored3 + floatBand * k + floatRow * static_cast<std::size_t>(r));
            }
            const std::vector<std::string> names = m.channelNames();
            for (std::size_t c = 0; c < names.size(); ++c) {
                const std::size_t *k = std::find(std::begin(kStored), std::end(kStored), c);
                const bool zero = k == std::end(kStored);
                unsigned char *rowsOf = zero ? zeros : stored3 + floatBand * (k - kStored);
                char *base = reinterpret_cast<char *>(rowsOf) -
                             static_cast<std::ptrdiff_t>(left) *
                                 static_cast<std::ptrdiff_t>(sizeof(float)) -
                             (zero ? 0
                                   : static_cast<std::ptrdiff_t>(first) *
                                         static_cast<std::ptrdiff_t>(floatRow));
                fb.insert(names[c], Imf::Slice(Imf::FLOAT, base, sizeof(float),
                                               zero ? 0 : floatRow, 1, 1, 0.0));
            }
        }
        // The band before is written (its failure surfaces here) before
        // this one goes to the library: bands reach the file in order.
        if (writing.valid())
            writing.get();
        if (stores == 2)
            writing = std::async(std::launch::async, [&sink, fb, rows] { sink(fb, rows); });
        else
            sink(fb, rows);
        store = (store + 1) % stores;
        if (countProgress)
            stepRows(first, rows);
    }
    if (writing.valid())
        writing.get();
}

// A file's lines packed as the file holds them, a band of lines at a time
// (each host line is read in runs of rows), and handed to the line output,
// which compresses them when the part is compressed.
void FrameWriter::writeLines(const Imath::Box2i &window, const std::vector<PlannedBuffer> &buffers,
                             const std::vector<PlannedMatte> &mattes, const FramePlan &plan,
                             ExrLineOutput &out, int part, bool countProgress)
{
    const Columns columns = columnsOf(window, plan);
    const std::size_t lineBytes = out.lineBytes(part);
    // A window narrower than the host's line (a fitted one) takes its part
    // of a row converted aside; otherwise rows are converted in place.
    const int windowWidth = window.max.x - window.min.x + 1;
    const bool direct = columns.left == window.min.x && columns.width == windowWidth;
    const std::size_t skip = static_cast<std::size_t>(window.min.x - columns.left);
    const int band = std::min(out.bandLines(part), window.max.y - window.min.y + 1);
    const std::size_t bandBytes = lineBytes * static_cast<std::size_t>(band);
    // While the library's threads compress a band, the next is packed into
    // the other store.
    const int stores = ExrLineOutput::compressesAside() && window.max.y - window.min.y + 1 > band ? 2 : 1;
    unsigned char *const storage = bands_.get(
        bandBytes * stores + (direct ? 0 : sizeof(float) * static_cast<std::size_t>(columns.width)));
    unsigned char *const wide = storage + bandBytes * stores;
    std::vector<const float *> hostLines;
    int store = 0;
    for (int first = window.min.y; first <= window.max.y; first += band) {
        const int rows = std::min(band, window.max.y - first + 1);
        unsigned char *const lines = storage + bandBytes * store;
        store = (store + 1) % stores;
        for (const PlannedBuffer &b : buffers) {
            const std::size_t bps = static_cast<std::size_t>(b->bytesPerSample());
            const std::size_t rowBytes = bps * static_cast<std::size_t>(windowWidth);
            hostLines.resize(static_cast<std::size_t>(b->channelCount()));
            for (int r = 0; r < rows; ++r) {
                const int hostRow = first + r - plan.y0;
                unsigned char *line = lines + lineBytes * r;
                for (int c = 0; c < b->channelCount(); ++c) {
                    hostLines[c] = hostLine(*b.buffer, c, hostRow);
                    const std::vector<std::string> &names = b.names[static_cast<std::size_t>(c)];
                    if (names.empty())
                        continue;
                    const std::size_t at = out.channelOffset(names.front(), part);
                    if (direct) {
                        convertRow(*b.buffer, c, hostRow, hostLines[c], columns, line + at);
                    } else {
                        convertRow(*b.buffer, c, hostRow, hostLines[c], columns, wide);
                        std::memcpy(line + at, wide + bps * skip, rowBytes);
                    }
                    // A channel written under more names is converted once.
                    for (std::size_t n = 1; n < names.size(); ++n)
                        std::memcpy(line + out.channelOffset(names[n], part), line + at, rowBytes);
                }
                measure(*b.buffer, hostRow, hostLines.data());
            }
        }
        const std::size_t matteRowBytes = sizeof(float) * static_cast<std::size_t>(windowWidth);
        for (const PlannedMatte &m : mattes) {
            const std::vector<std::string> names = m.channelNames();
            for (int r = 0; r < rows; ++r) {
                matteRow(m, first + r - plan.y0);
                unsigned char *line = lines + lineBytes * r;
                for (std::size_t c = 0; c < names.size(); ++c) {
                    unsigned char *at = line + out.channelOffset(names[c], part);
                    const float *values = matteValues(c);
                    if (!values) {
                        std::memset(at, 0, matteRowBytes);
                    } else if (direct) {
                        fillRow(values, columns, at);
                    } else {
                        fillRow(values, columns, wide);
                        std::memcpy(at, wide + sizeof(float) * skip, matteRowBytes);
                    }
                }
            }
        }
        out.writeLines(part, first, rows, lines);
        if (countProgress)
            stepRows(first, rows);
    }
    // The stores are free for the next part once its last band is written.
    out.flush();
}

// A separate image in a format of the host's: the processed values in a
// host image, saved by the host's saver.
void FrameWriter::saveThroughHost(const OpenEXRBuffer &b, const std::string &fileName)
{
    const hostkit::HostImage::Type type = b.hostImageType();
    const int w = access_.width(), h = access_.height();
    const hostkit::HostImage image(w, h, type, fileName);
    // Only a single channel is spread over red, green and blue; a buffer of
    // two or three channels keeps each.
    const bool copyRed = b.channelCount() == 1 && (b.lumaAsRGB() || type == hostkit::HostImage::Rgba);
    const Processing p = b.processing();
    for (int y = 0; y < h; ++y) {
        const float *alpha = access_.line(b.alphaBuffer(), y);
        const float *lines[3] = {nullptr, nullptr, nullptr};
        for (int c = 0; c < b.channelCount() && c < 3; ++c)
            lines[c] = b.channel(c).getLine(y, access_);
        if (b.channelCount() <= 3)
            measure(b, y, lines);
        for (int x = 0; x < w; ++x) {
            const float a = alpha ? alpha[x] : 1.0f;
            float px[4];
            px[0] = lines[0] ? p.apply(lines[0][x], a, false) : 0.0f;
            if (copyRed) {
                px[1] = px[2] = px[0];
            } else {
                px[1] = lines[1] ? p.apply(lines[1][x], a, false) : 0.0f;
                px[2] = lines[2] ? p.apply(lines[2][x], a, false) : 0.0f;
            }
            px[3] = alpha ? alpha[x] : 0.0f;
            image.setPixel(x, y, px);
        }
    }
    image.save(b.imageFormat() - 1);
}

void FrameWriter::announce(const std::string &fileName) const
{
    if (node_)
        hostkit::processMessages().info(std::string(kNodeTag) + " - Image saved: " + fileName);
}

FrameFacts currentFrameFacts()
{
    FrameFacts facts;
    const hostkit::SceneInfo scene;
    if (const std::optional<hostkit::SceneFacts> s = scene.facts()) {
        facts.width = s->frameWidth;
        facts.height = s->frameHeight;
    }
    facts.display = Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(facts.width - 1, facts.height - 1));
    facts.frame = hostkit::TimeInfo().frame();
    facts.names = hostNameContext();
    facts.contentFolder = hostkit::DirInfo().dir("Content");
    facts.renderPath = hostkit::renderPath();
    facts.items = hostkit::sceneNames();
    return facts;
}


} // namespace ravelcast

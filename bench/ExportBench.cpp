// export_bench: the filter's per-frame export through the real module on a
// pre-rendered frame with every buffer active as a layer, against
// - a reference writer that converts the frame and writes the same header,
//   channels and values with one whole-frame frame buffer and one
//   writePixels(height) call, and
// - the library floor: the same header and the values already converted,
//   one whole-frame writePixels, timed alone, on the calling thread and
//   with the library's own threads: what no writer of this file can beat.
// The filter runs on the calling thread and again with RAVELCAST_THREADS=2
// against the floor with as many library threads; its time is the module's
// process call, without the host's preparation of the frame access. It also measures the
// filter's peak heap growth for two frame heights: the filter writes a band
// of rows at a time, so it must not grow with height.
//
// Beside each compression's times it prints what making the written file
// durable costs: the same bytes written plainly and as the module writes
// every file (flushed to the disk, renamed into place, the folder synced).
//
// Prints "name: value" lines. Usage: export_bench [--module PATH] [--runs N]
// [--compression none|zip|piz|dwaa] [--profile none|zip|piz|dwaa]
// [--mattes none|zip|piz|dwaa]: with --compression only that compression is
// measured (its heap lines too); with --profile only the filter runs, N
// times, for a profiler to look at; with --mattes the beauty alone against
// the beauty with every Cryptomatte type at six ranks.

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <ImfChannelList.h>
#include <ImfConvert.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfThreading.h>

#include "devhost/FilterAccess.h"
#include "devhost/Host.h"
#include "devhost/RenderJob.h"
#include "devhost/Renderer.h"
#include "devhost/SceneFile.h"
#include "export/BufferCatalogue.h"
#include "hostkit/utility/AtomicFile.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Samples the heap on a thread of its own while it lives.
class HeapSampler {
public:
    HeapSampler() : base_(heapInUse()), peak_(base_)
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                std::size_t now = heapInUse();
                std::size_t peak = peak_;
                if (now > peak)
                    peak_ = now;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }
    ~HeapSampler() { stop(); }
    std::size_t stop()
    {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
        }
        std::size_t now = heapInUse();
        return std::max<std::size_t>(peak_, now) - base_;
    }

private:
    std::size_t base_;
    std::atomic<std::size_t> peak_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string compressionName(int c)
{
    switch (c) {
    case Imf::NO_COMPRESSION: return "none";
    case Imf::ZIP_COMPRESSION: return "zip";
    case Imf::PIZ_COMPRESSION: return "piz";
    case Imf::DWAA_COMPRESSION: return "dwaa";
    default: return "c" + std::to_string(c);
    }
}

// Library threads for the threaded floor.
constexpr int kFloorThreads = 2;

// Every buffer active as a layer in half floats.
std::string sceneText(int width, int height, int compression, const fs::path &dir)
{
    std::string s = "{ Host { Version 10 0 2009 } { Mode \"screamernet\" } { ContentDirectory \"" +
                    dir.string() + "\" } }\n{ Scene { Name \"bench.lws\" } { FrameSize " +
                    std::to_string(width) + " " + std::to_string(height) +
                    " } { RGBPrefix \"bench/shot\" } }\n"
                    "Plugin ImageFilterHandler 1 Ravelcast\n{ Version 2 } { Compression " +
                    std::to_string(compression) + " }\n";
    for (const ravelcast::CatalogueRow &row : ravelcast::catalogue())
        s += "{ Buffer { Name \"" + std::string(row.definition.displayName) +
             "\" } { Settings { Active 1 } { SaveAs 1 } { PixelType 1 } } }\n";
    return s + "EndPlugin\n";
}

// The beauty alone, or with every Cryptomatte type at six ranks (nine
// FLOAT layers): what the mattes cost a frame.
std::string matteSceneText(int width, int height, int compression, bool mattes,
                           const fs::path &dir)
{
    return "{ Host { Version 10 0 2009 } { Mode \"screamernet\" } { ContentDirectory \"" +
           dir.string() + "\" } }\n{ Scene { Name \"bench.lws\" } { FrameSize " +
           std::to_string(width) + " " + std::to_string(height) +
           " } { RGBPrefix \"bench/shot\" } }\n"
           "Plugin ImageFilterHandler 1 Ravelcast\n{ Version 2 } { Compression " +
           std::to_string(compression) + " }\n" +
           (mattes ? "{ CryptoObject 1 } { CryptoMaterial 1 } { CryptoAsset 1 } { CryptoLevels 6 }\n"
                   : "") +
           "{ Buffer { Name \"Final Render\" } { Settings { Active 1 } { SaveAs 1 } } }\n"
           "EndPlugin\n";
}

// The layered channel names of the catalogue and the host buffer each reads.
std::vector<std::pair<std::string, int>> channelSources()
{
    std::vector<std::pair<std::string, int>> out;
    for (const ravelcast::CatalogueRow &row : ravelcast::catalogue()) {
        const ravelcast::ChannelSpec *c = row.definition.channels;
        int n = 0;
        while (c[n].longName)
            ++n;
        const std::string layer = row.definition.layerName;
        for (int i = 0; i < n; ++i) {
            const std::string ch = c[i].channelName;
            const std::string name = layer.empty() ? ch : ch.empty() ? layer : layer + "." + ch;
            out.emplace_back(name, c[i].hostBuffer);
        }
    }
    return out;
}

struct Measure {
    double filterMs = 0;
    double referenceMs = 0;
    double floorMs = 0;
    double threadedFloorMs = 0;
    double threadedFilterMs = 0;
    double plainWriteMs = 0;
    double replacingWriteMs = 0;
    std::size_t fileBytes = 0;
    std::size_t floorFileBytes = 0;
    std::size_t filterHeap = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The frame's HALF channels of the header, converted before any timing.
struct ConvertedFrame {
    std::vector<std::vector<half>> planes;
    Imf::FrameBuffer frameBuffer;
};

ConvertedFrame convertFrame(const Imf::Header &header, const devhost::RenderedFrame &frame)
{
    ConvertedFrame c;
    const std::size_t pixels = static_cast<std::size_t>(frame.width()) * frame.height();
    c.planes.reserve(channelSources().size());
    for (const auto &[name, buffer] : channelSources()) {
        const Imf::Channel *channel = header.channels().findChannel(name);
        if (!channel || channel->type != Imf::HALF)
            continue;
        const float *plane = frame.plane(buffer);
        c.planes.emplace_back(pixels);
        std::vector<half> &out = c.planes.back();
        for (std::size_t i = 0; i < pixels; ++i)
            out[i] = Imf::floatToHalf(plane[i]);
        c.frameBuffer.insert(name, Imf::Slice(Imf::HALF, reinterpret_cast<char *>(out.data()),
                                              sizeof(half), sizeof(half) * frame.width()));
    }
    return c;
}

// Every timed write starts alike: its file is gone (no writer pays for
// dropping the pages of the file it replaces) and the disk is synced (no
// writer pays for the writeback of the writes before it).
void settle(const std::string &path)
{
    std::error_code ec;
    fs::remove(path, ec);
    ::sync();
}

// The floor: only the library's own write of values it needs no conversion for.
double writeFloor(const Imf::Header &header, const ConvertedFrame &frame, int height,
                  const std::string &path, int threads)
{
    settle(path);
    const auto start = Clock::now();
    Imf::OutputFile out(path.c_str(), header, threads);
    out.setFrameBuffer(frame.frameBuffer);
    out.writePixels(height);
    return msSince(start);
}

// The reference: the filter's own header and the frame's values converted
// to the channels' pixel type, written in one call.
double writeReference(const Imf::Header &header, const devhost::RenderedFrame &frame,
                      const std::string &path)
{
    settle(path);
    const auto start = Clock::now();
    const ConvertedFrame converted = convertFrame(header, frame);
    Imf::OutputFile out(path.c_str(), header);
    out.setFrameBuffer(converted.frameBuffer);
    out.writePixels(frame.height());
    return msSince(start);
}

// What making a file of these bytes durable costs: its bytes written as a
// plain file (created, written, closed) and as the module writes every file
// (its own temporary, flushed to the disk, renamed over the file, the
// folder synced). Both times in milliseconds.
std::pair<double, double> timeWrites(const std::string &bytes, const std::string &path)
{
    settle(path);
    auto start = Clock::now();
    {
        hostkit::PlatformFile plain;
        if (!plain.createForWriting(path) || !plain.write(bytes.data(), bytes.size()) ||
            !plain.close())
            throw std::runtime_error("cannot write " + path);
    }
    const double plainMs = msSince(start);
    settle(path);
    start = Clock::now();
    hostkit::AtomicFile replacing;
    if (!replacing.open(path) || !replacing.file().write(bytes.data(), bytes.size()) ||
        !replacing.commit())
        throw std::runtime_error("cannot write " + path + ": " + replacing.cause());
    return {plainMs, msSince(start)};
}

std::string fileBytes(const std::string &path)
{
    std::string bytes;
    hostkit::PlatformFile in;
    std::uint64_t size = 0;
    std::size_t got = 0;
    if (!in.openForReading(path) || !in.size(&size))
        throw std::runtime_error("cannot read " + path);
    bytes.resize(static_cast<std::size_t>(size));
    if (!in.read(bytes.data(), bytes.size(), &got) || got != bytes.size())
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

// The module's process call alone, in milliseconds: the host's own part
// (preparing the frame access with its output planes, committing them)
// happens outside the clock, as it is not the filter's work.
double timeFilter(devhost::Host &host, devhost::AppliedServer &filter, devhost::RenderedFrame &frame,
                  const std::string &written)
{
    settle(written);
    LWTime start = 0, end = 0;
    devhost::frameTimes(host, frame.frame(), &start, &end);
    devhost::FilterAccess access(frame, start, end, nullptr);
    const auto begin = Clock::now();
    filter.filter.process(filter.instance, access.table());
    const double ms = msSince(begin);
    access.commit();
    return ms;
}

// The bench scene loaded, its filter applied.
devhost::AppliedServer &loadScene(devhost::Host &host, int width, int height, int compression,
                                  const fs::path &dir)
{
    devhost::readSceneText(host, sceneText(width, height, compression, dir),
                           (dir / "bench.lws").string());
    return *host.scene().servers.front();
}

// Frame 1 with every host buffer.
devhost::RenderedFrame renderFrame(devhost::Host &host)
{
    devhost::Renderer renderer(host);
    host.setFrame(1);
    return renderer.render(1, devhost::BufferRequest::all());
}

Measure measure(devhost::Host &host, int width, int height, int compression, int runs,
                const fs::path &dir)
{
    devhost::AppliedServer &filter = loadScene(host, width, height, compression, dir);
    const devhost::RenderedFrame source = renderFrame(host);
    const std::string written = (dir / "bench" / "shot001.exr").string();

    Measure m;
    std::vector<double> filterTimes, referenceTimes, floorTimes, threadedFloorTimes,
        threadedFilterTimes, plainTimes, replacingTimes;
    for (int run = 0; run < runs; ++run) {
        devhost::RenderedFrame frame = source;
        {
            HeapSampler heap;
            filterTimes.push_back(timeFilter(host, filter, frame, written));
            m.filterHeap = std::max(m.filterHeap, heap.stop());
        }
        {
            // The administrator's opt-in: the library compresses on threads.
            devhost::RenderedFrame threaded = source;
            setenv("RAVELCAST_THREADS", std::to_string(kFloorThreads).c_str(), 1);
            threadedFilterTimes.push_back(timeFilter(host, filter, threaded, written));
            unsetenv("RAVELCAST_THREADS");
            Imf::setGlobalThreadCount(0);
        }
        Imf::Header header;
        {
            Imf::InputFile in(written.c_str());
            header = in.header();
        }
        referenceTimes.push_back(writeReference(header, source, (dir / "reference.exr").string()));
        const ConvertedFrame converted = convertFrame(header, source);
        const std::string floorFile = (dir / "floor.exr").string();
        floorTimes.push_back(writeFloor(header, converted, height, floorFile, 0));
        Imf::setGlobalThreadCount(kFloorThreads);
        threadedFloorTimes.push_back(
            writeFloor(header, converted, height, floorFile, kFloorThreads));
        Imf::setGlobalThreadCount(0);
        const std::string bytes = fileBytes(written);
        m.fileBytes = bytes.size();
        m.floorFileBytes = fs::file_size(floorFile);
        const auto [plainMs, replacingMs] = timeWrites(bytes, (dir / "durable.exr").string());
        plainTimes.push_back(plainMs);
        replacingTimes.push_back(replacingMs);
    }
    m.plainWriteMs = median(plainTimes);
    m.replacingWriteMs = median(replacingTimes);
    m.filterMs = median(filterTimes);
    m.referenceMs = median(referenceTimes);
    m.floorMs = median(floorTimes);
    m.threadedFloorMs = median(threadedFloorTimes);
    m.threadedFilterMs = median(threadedFilterTimes);
    host.clearServers();
    return m;
}

// The loaded scene's filter, runs times on one frame rendered from it: the
// median; the scene's servers are cleared after.
double filterMedian(devhost::Host &host, devhost::AppliedServer &filter, int runs,
                    const fs::path &dir)
{
    const devhost::RenderedFrame source = renderFrame(host);
    const std::string written = (dir / "bench" / "shot001.exr").string();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        devhost::RenderedFrame frame = source;
        times.push_back(timeFilter(host, filter, frame, written));
    }
    host.clearServers();
    return median(times);
}

// Only the filter, runs times on one rendered frame: the median.
double filterOnly(devhost::Host &host, int width, int height, int compression, int runs,
                  const fs::path &dir)
{
    devhost::AppliedServer &filter = loadScene(host, width, height, compression, dir);
    return filterMedian(host, filter, runs, dir);
}

// The filter with and without the mattes, runs times each: the medians.
std::pair<double, double> matteCost(devhost::Host &host, int compression, int runs,
                                    const fs::path &dir)
{
    double ms[2] = {0, 0};
    for (const bool mattes : {false, true}) {
        devhost::readSceneText(host, matteSceneText(1920, 1080, compression, mattes, dir),
                               (dir / "bench.lws").string());
        ms[mattes ? 1 : 0] = filterMedian(host, *host.scene().servers.front(), runs, dir);
    }
    return {ms[0], ms[1]};
}

} // namespace

int main(int argc, char **argv)
{
    std::string module = RAVELCAST_MODULE_PATH;
    int runs = 3;
    std::string profile, only, mattes;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--module")
            module = argv[i + 1];
        else if (a == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--profile")
            profile = argv[i + 1];
        else if (a == "--compression")
            only = argv[i + 1];
        else if (a == "--mattes")
            mattes = argv[i + 1];
    }
    try {
        const fs::path dir = fs::temp_directory_path() / ("export_bench." + std::to_string(::getpid()));
        fs::create_directories(dir);
        devhost::Host host;
        host.messages().setOutput(nullptr, nullptr);
        host.loadModule(module);

        const std::vector<int> compressions = {Imf::ZIP_COMPRESSION, Imf::NO_COMPRESSION,
                                               Imf::PIZ_COMPRESSION, Imf::DWAA_COMPRESSION};
        const auto named = [&](const std::string &name) {
            for (int c : compressions)
                if (compressionName(c) == name)
                    return c;
            throw std::runtime_error("--profile, --compression and --mattes take none, zip, piz or dwaa");
        };
        if (!only.empty())
            named(only);
        if (!mattes.empty()) {
            const auto [without, with] = matteCost(host, named(mattes), runs, dir);
            std::printf("frame: 1920x1080, Final Render, %s\n", mattes.c_str());
            std::printf("beauty_only_ms: %.1f\n", without);
            std::printf("beauty_and_3_mattes_6_ranks_ms: %.1f\n", with);
            std::printf("mattes_cost_ms: %.1f\n", with - without);
            host.unloadModule();
            fs::remove_all(dir);
            return 0;
        }
        if (!profile.empty()) {
            const int compression = named(profile);
            std::printf("%s_filter_only_ms: %.1f\n", profile.c_str(),
                        filterOnly(host, 1920, 1080, compression, runs, dir));
            host.unloadModule();
            fs::remove_all(dir);
            return 0;
        }
        std::printf("frame: 1920x1080, 31 buffers, 60 channels, HALF\n");
        std::printf("runs: %d (medians)\n", runs);
        for (int compression : compressions) {
            if (!only.empty() && compression != named(only))
                continue;
            const Measure m = measure(host, 1920, 1080, compression, runs, dir);
            const std::string c = compressionName(compression);
            std::printf("%s_filter_ms: %.1f\n", c.c_str(), m.filterMs);
            std::printf("%s_reference_ms: %.1f\n", c.c_str(), m.referenceMs);
            std::printf("%s_ratio: %.3f\n", c.c_str(), m.filterMs / m.referenceMs);
            std::printf("%s_floor_ms: %.1f\n", c.c_str(), m.floorMs);
            std::printf("%s_filter_over_floor: %.3f\n", c.c_str(), m.filterMs / m.floorMs);
            std::printf("%s_floor_%dthreads_ms: %.1f\n", c.c_str(), kFloorThreads,
                        m.threadedFloorMs);
            std::printf("%s_filter_%dthreads_ms: %.1f\n", c.c_str(), kFloorThreads,
                        m.threadedFilterMs);
            std::printf("%s_filter_over_floor_%dthreads: %.3f\n", c.c_str(), kFloorThreads,
                        m.threadedFilterMs / m.threadedFloorMs);
            // The filter's time includes making its file durable; the floor's
            // does not.
            std::printf("%s_file_mib: %.1f\n", c.c_str(), m.fileBytes / 1048576.0);
            // The library's own file of the same header and values.
            std::printf("%s_floor_file_mib: %.1f\n", c.c_str(), m.floorFileBytes / 1048576.0);
            std::printf("%s_file_over_floor_file: %.4f\n", c.c_str(),
                        static_cast<double>(m.fileBytes) / static_cast<double>(m.floorFileBytes));
            std::printf("%s_plain_write_ms: %.1f\n", c.c_str(), m.plainWriteMs);
            std::printf("%s_durable_write_ms: %.1f\n", c.c_str(), m.replacingWriteMs);
            std::printf("%s_flush_cost_ms: %.1f\n", c.c_str(), m.replacingWriteMs - m.plainWriteMs);
            std::fflush(stdout);
        }
        // Heap growth of one frame, for two heights: uncompressed, or of the
        // one compression measured.
        const int heapCompression = only.empty() ? 0 : named(only);
        const Measure rows1080 = measure(host, 1920, 1080, heapCompression, 1, dir);
        const Measure rows2160 = measure(host, 1920, 2160, heapCompression, 1, dir);
        std::printf("filter_heap_growth_1080_rows_kib: %.0f\n", rows1080.filterHeap / 1024.0);
        std::printf("filter_heap_growth_2160_rows_kib: %.0f\n", rows2160.filterHeap / 1024.0);
        std::printf("filter_heap_ratio_2160_to_1080: %.3f\n",
                    static_cast<double>(rows2160.filterHeap) / std::max<std::size_t>(1, rows1080.filterHeap));
        host.unloadModule();
        fs::remove_all(dir);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "export_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}

// Rendering a scene's frames as a host does: ask the applied image filters
// for their buffers, render, run the filters in scene order (each sees the
// previous one's output as its final colour and alpha) and save the frame
// image through the scene's image saver. The pieces are usable on their own
// by tests and benchmarks.
#ifndef DEVHOST_RENDERJOB_H
#define DEVHOST_RENDERJOB_H

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devhost/BufferRequest.h"
#include "devhost/FolderWatch.h"
#include "devhost/ProgressMonitor.h"
#include "devhost/RenderedFrame.h"
#include "devhost/Renderer.h"
#include "devhost/Scene.h"

namespace devhost {

class Host;

struct FrameRange {
    LWFrame first = 1, last = 1, step = 1;
    // How many frames first, first + step, ... up to last holds.
    long long count() const;
    // Frame n (from 1) of the range.
    LWFrame at(long long n) const { return static_cast<LWFrame>(first + (n - 1) * step); }
    // Which frame of the range frame is (from 1); 0 when not one of it.
    long long indexOf(LWFrame frame) const;
};

// "A-B" or "A" (frames may be negative: "-3--1"); false when malformed,
// when B is before A or when a frame lies beyond +-kMaxFrameNumber.
bool parseFrameRange(const std::string &text, FrameRange *range);

// The image filters applied to the scene (those with an instance), in
// scene order.
std::vector<AppliedServer *> imageFilters(const Scene &scene);

// The buffers a filter asks for: its mask (activation version 4) or its
// counted list (version 5).
BufferRequest filterRequest(const AppliedServer &filter);

// The union of the requests of the scene's filters.
BufferRequest sceneRequest(const Scene &scene);

// The frame's start and end times as the filter access gives them.
void frameTimes(const Host &host, LWFrame frame, LWTime *start, LWTime *end);

// Sets the host's time to the frame and renders what one filter asks for.
RenderedFrame renderForFilter(Host &host, const AppliedServer &filter, LWFrame frame);

// Runs one filter's process on a rendered frame (the host's time should be
// the frame's); its output becomes the frame's buffers 32-35. The monitor
// may be null.
void runFilter(Host &host, AppliedServer &filter, RenderedFrame &frame, LWMonitor *monitor);

// One FLOAT OpenEXR file holding every buffer of the frame as a channel
// "B<index>", display and data window the frame's image. Throws HostError.
void writeBufferDump(const RenderedFrame &frame, const std::string &path);

// prefix + the frame number in at least four digits + "." + extension.
std::string frameFileName(const std::string &prefix, LWFrame frame, const std::string &extension);

// Creates the folders a file name needs; throws HostError.
void createParentFolders(const std::string &file);

struct RenderOptions {
    std::optional<FrameRange> frames; // default: the scene's frames
    std::string dumpDirectory;        // --dump-buffers; empty: none
    std::ostream *out = nullptr;      // description lines, progress, notes; null: quiet
    ProgressMonitor::Style progress = ProgressMonitor::Style::Lines;
};

class RenderJob {
public:
    RenderJob(Host &host, RenderOptions options);
    ~RenderJob();
    RenderJob(const RenderJob &) = delete;
    RenderJob &operator=(const RenderJob &) = delete;

    // The frames that run() renders, one at a time: a long range is never
    // listed.
    FrameRange frameRange() const;
    // Prints each filter's description line; only the first call prints.
    void describeFilters();
    // One frame: host time, request, render, dump, filters, frame image.
    // Answers the frame as the last filter left it. Throws HostError when
    // the frame fails (a filter reported an error, a file cannot be read or
    // written, the saver fails).
    RenderedFrame renderFrame(LWFrame frame);
    // Every frame; throws HostError at the first that fails.
    void run();

    // The frame images and buffer dumps written so far.
    const std::vector<std::string> &images() const { return images_; }
    const std::vector<std::string> &dumps() const { return dumps_; }
    // Every file written during the frames so far (absolute, by frame,
    // sorted within one): dumps, the filters' files, frame images.
    const std::vector<std::string> &written() const { return written_; }

    // A file's name as the user can open it: relative to the folder that
    // was current when the job was made when it lies below it, else
    // absolute.
    std::string shownPath(const std::string &file) const;

private:
    int frameSaver() const;
    std::string saveFrameImage(const RenderedFrame &frame);
    void watchOutputFolders();

    Host &host_;
    RenderOptions options_;
    std::unique_ptr<Renderer> renderer_;
    bool described_ = false;
    std::vector<std::string> images_, dumps_, written_;
    std::unique_ptr<FolderWatch> watch_;
    std::string startFolder_;
};

} // namespace devhost

#endif

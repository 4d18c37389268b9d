// The per-frame work of the filter: the host's facts of the frame gathered
// once, the frame's plan, each file's headers (export/FrameHeaders.h), and
// its rows handed to the library in bands of whole line buffers.
#ifndef RAVELCAST_EXPORT_FRAMEWRITER_H
#define RAVELCAST_EXPORT_FRAMEWRITER_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <ImfFrameBuffer.h>
#include <ImfHeader.h>

#include "export/DataWindow.h"
#include "export/FramePlan.h"
#include "exrio/UserMetadata.h"
#include "hostkit/FrameAccess.h"
#include "hostkit/utility/RefCounted.h"

namespace ravelcast {

class OpenEXRBuffer;
class LastFrame;
struct FilterSettings;
class ExrOutput;
class ExrLineOutput;

// Threads the library may compress with: RAVELCAST_THREADS unset or 0 is
// the calling thread only; a number; "auto" the hardware's threads.
int exportThreads();

// Rows of a band: whole line buffers of the compression, one per thread.
int bandRows(int compression, int threads);

// The facts of the frame the host is at, outside a render: the scene's
// frame size, no region, names of the current frame.
FrameFacts currentFrameFacts();

// The frame writer's band storage, kept from frame to frame: fresh memory
// would pay its page faults again at every frame. A copy starts without it.
class BandStorage {
public:
    BandStorage() = default;
    BandStorage(const BandStorage &) {}
    BandStorage &operator=(const BandStorage &) { return *this; }
    unsigned char *get(std::size_t bytes)
    {
        if (bytes > data_.size())
            std::vector<unsigned char>(bytes).swap(data_);
        return data_.data();
    }

private:
    std::vector<unsigned char> data_;
};

// What a frame is written from (the filter's settings and its buffers in
// catalogue order) and what it leaves: the frame's data for the preview
// window, and the band storage.
struct FrameSources {
    const FilterSettings &settings;
    const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers;
    LastFrame &kept;
    BandStorage &bands;
};

class FrameWriter {
public:
    FrameWriter(const FrameSources &sources, const hostkit::FrameAccess &access,
                hostkit::FrameAccess::Progress &progress);
    void write();

private:
    FrameFacts gatherFacts() const;
    void prepareBuffers(const FrameFacts &facts);
    void writeExr(const PlannedFile &file, const FramePlan &plan);
    // Where a band of rows goes: a file's or a part's frame buffer and write.
    using BandSink = std::function<void(const Imf::FrameBuffer &, int rows)>;
    // The rows of a file's or a part's data window, in bands of its
    // compression's line buffers.
    void writeRows(const Imf::Header &header, const std::vector<PlannedBuffer> &buffers,
                   const std::vector<PlannedMatte> &mattes, const FramePlan &plan,
                   bool countProgress, const BandSink &sink);
    void writeLines(const Imath::Box2i &window, const std::vector<PlannedBuffer> &buffers,
                    const std::vector<PlannedMatte> &mattes, const FramePlan &plan,
                    ExrLineOutput &out, int part, bool countProgress);
    void stepRows(int first, int rows);
    // The columns of a file's rows: the first, how many, and where the
    // host's line starts among them.
    struct Columns {
        int left = 0;
        int width = 0;
        int host = 0;
    };
    Columns columnsOf(const Imath::Box2i &window, const FramePlan &plan) const;
    // A matte's values on one host row, into matteRow_: rank 0's id, its
    // coverage, rank 1's coverage (its id is the background's, 0).
    void matteRow(const PlannedMatte &matte, int hostRow);
    // The host-wide values of a matte's channel (null: zeros) as a row of
    // the file's columns.
    void fillRow(const float *values, const Columns &columns, unsigned char *row) const;
    // The row values of a matte's channel i (layer i / 4, channel i % 4)
    // in matteRow_; null where it holds zeros.
    const float *matteValues(std::size_t channel) const;
    // The host's line of a buffer's channel; null outside the host's rows.
    const float *hostLine(const OpenEXRBuffer &buffer, int channel, int hostRow) const;
    void convertRow(const OpenEXRBuffer &buffer, int channel, int hostRow, const float *values,
                    const Columns &columns, unsigned char *row) const;
    // Measures a row read for a file, when the buffer's window is measured so.
    void measure(const OpenEXRBuffer &buffer, int hostRow, const float *const *lines);
    void finishDataWindows();
    void announce(const std::string &fileName) const;
    void saveThroughHost(const OpenEXRBuffer &buffer, const std::string &fileName);

    const FilterSettings &settings_;
    const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers_;
    LastFrame &kept_;
    BandStorage &bands_;
    const hostkit::FrameAccess &access_;
    hostkit::FrameAccess::Progress &progress_;
    bool node_ = false;
    // The user's rows' tokens this frame, and the rows no file took.
    MetadataTokens tokens_;
    std::vector<std::string> refusedMetadata_;
    // The active buffers whose data windows are measured on the rows written.
    std::vector<std::pair<OpenEXRBuffer *, DataWindowMeter>> meters_;
    std::vector<float> matteRow_;
};

} // namespace ravelcast

#endif

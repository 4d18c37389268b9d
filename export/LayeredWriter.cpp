// The filter's per-frame work: the layered file, the separate buffer images
// and the frame handed back to the host.

#include <algorithm>
#include <cmath>
#include <memory>

#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfPreviewImage.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfStringAttribute.h>

#include "export/FrameProgress.h"
#include "export/OpenEXRFilter.h"
#include "export/PreviewPixels.h"
#include "exrio/ExrFiles.h"
#include "exrio/RenderMetadata.h"
#include "hostkit/HostInfo.h"
#include "hostkit/Services.h"
#include "hostkit/utility/Platform.h"
#include "module/Version.h"

namespace ravelcast {

namespace {

// Frees every buffer's line storage however the frame ends.
struct LineRelease {
    const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers;
    ~LineRelease()
    {
        for (const auto &b : buffers)
            b->freeLines();
    }
};

bool isEmpty(const Imath::Box2i &b) { return b.max.x < b.min.x || b.max.y < b.min.y; }

Imath::Box2i twoByTwo(int x0, int y0)
{
    return Imath::Box2i(Imath::V2i(x0, y0), Imath::V2i(x0 + 1, y0 + 1));
}

Imath::Box2i shifted(const Imath::Box2i &b, int dx, int dy)
{
    return Imath::Box2i(b.min + Imath::V2i(dx, dy), b.max + Imath::V2i(dx, dy));
}

// What a frame's files share.
struct FrameLayout {
    Imath::Box2i display;
    Imath::Box2i regionBox;
    int x0 = 0, y0 = 0;
    bool region = false;
    float pixelAspect = 1.0f;
};

// The render facts, the comment, and the author as the image's owner.
void stampMetadata(Imf::Header &header, const std::string &comment, const std::string &author)
{
    addFileMetadata(header, comment);
    if (!author.empty())
        header.insert("owner", Imf::StringAttribute(author));
}

Imf::Header makeHeader(const FrameLayout &f, const Imath::Box2i &dataWindow, int compression,
                       double dwaLevel)
{
    Imf::Header h(f.display, dataWindow, f.pixelAspect, Imath::V2f(0, 0), 1.0f, Imf::INCREASING_Y,
                  static_cast<Imf::Compression>(compression));
    h.dwaCompressionLevel() = static_cast<float>(dwaLevel);
    return h;
}

// The embedded preview of a buffer: its first channels resampled to
// width x height, processed as they are written, and mapped to 8 bits.
void insertPreview(Imf::Header &header, const OpenEXRBuffer &buffer, const LWFilterAccess *access,
                   int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    Imf::PreviewImage preview(width, height);
    const int n = std::min(buffer.channelCount(), 3);
    std::vector<Resampled> channels;
    for (int c = 0; c < n; ++c)
        channels.push_back(buffer.resampledChannel(c, access, width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float v[3] = {0, 0, 0};
            for (int c = 0; c < n; ++c) {
                const Resampled &r = channels[c];
                if (!r.samples.empty())
                    v[c] = buffer.processValue(r.samples[static_cast<std::size_t>(y) * width + x],
                                               0.0f, buffer.channel(c).flip());
            }
            if (n == 1)
                v[1] = v[2] = v[0];
            Imf::PreviewRgba &p = preview.pixel(x, y);
            p.r = previewByte(v[0]);
            p.g = previewByte(v[1]);
            p.b = previewByte(v[2]);
            p.a = 255;
        }
    header.insert("preview", Imf::PreviewImageAttribute(preview));
}

} // namespace

void OpenEXRFilter::process(const LWFilterAccess *access)
{
    if (!access)
        return;
    FrameProgress progress(access);
    try {
        LineRelease release{buffers_};
        writeFrame(access, progress);
    } catch (...) {
        // The host gets its frame back unchanged before the failure is told.
        const bool gamma = postApplyDisplayGamma_;
        postApplyDisplayGamma_ = false;
        handBack(access);
        postApplyDisplayGamma_ = gamma;
        throw;
    }
    handBack(access);
}

void OpenEXRFilter::writeFrame(const LWFilterAccess *A, FrameProgress &progress)
{
    hostkit::SceneInfo scene;
    hostkit::CameraInfo cameras;

    // 1-2: windows, and the limited region of the render.
    FrameLayout f;
    frameWidth_ = A->width;
    frameHeight_ = A->height;
    Imath::Box2i dataWindow(Imath::V2i(0, 0), Imath::V2i(A->width - 1, A->height - 1));
    if (!hostkit::inModeler() && scene.available()) {
        LWItemID camera = scene->renderCamera ? scene->renderCamera(A->start) : LWITEM_NULL;
        const unsigned int camFlags =
            camera && cameras.available() && cameras->flags ? cameras->flags(camera) : 0u;
        if (scene->renderOpts != 0 && !(camFlags & LWCAMF_NO_LIMITEDREGION)) {
            f.region = true;
            f.x0 = scene->limitedRegionX0;
            f.y0 = scene->limitedRegionY0;
            f.regionBox = Imath::Box2i(Imath::V2i(f.x0, f.y0),
                                       Imath::V2i(scene->limitedRegionX1, scene->limitedRegionY1));
            dataWindow = f.regionBox;
            frameWidth_ = scene->frameWidth;
            frameHeight_ = scene->frameHeight;
        }
    }
    f.display = Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(frameWidth_ - 1, frameHeight_ - 1));
    f.pixelAspect = scene.available() ? static_cast<float>(scene->pixelAspect) : 1.0f;

    // 3: the embedded preview's size follows the frame.
    if (previewScale_ != kCustomPreviewSize) {
        previewWidth_ = static_cast<int>(A->width * previewScaleFactor(previewScale_));
        previewHeight_ = static_cast<int>(A->height * previewScaleFactor(previewScale_));
    }

    // 4: relative output names resolve against the content directory.
    std::string content = hostkit::DirInfo().dir("Content");
    if (!content.empty()) {
        if (!hostkit::isPathSeparator(content.back()))
            content += hostkit::kPathSeparator;
        hostkit::setCurrentDirectory(content);
    }

    // 5: the preview window's image size.
    const bool preview = previewInUse();
    previewAspect_ = 1.0f;
    if (preview) {
        previewAspect_ = static_cast<float>(A->width * (scene.available() ? scene->pixelAspect : 1.0) /
                                            A->height);
        if (previewAspect_ * 480 > 640) {
            previewImageWidth_ = 640;
            previewImageHeight_ = static_cast<int>(std::ceil(640 / previewAspect_));
        } else {
            previewImageWidth_ = static_cast<int>(std::ceil(previewAspect_ * 480));
            previewImageHeight_ = 480;
        }
    }

    // 6-7: parameters, preview data and data windows.
    int images = 0;
    bool layered = false, fitted = false;
    Imath::Box2i unionBox = emptyWindow();
    for (const auto &b : buffers_) {
        b->evaluateParameters();
        if (preview) {
            b->computePreviewData(A, previewImageWidth_, previewImageHeight_);
            if (!b->active())
                b->computeDataWindow(A);
        }
        if (!b->active())
            continue;
        b->computeDataWindow(A);
        images += b->savesImage() ? 1 : 0;
        if (b->savesLayer()) {
            layered = true;
            if (b->fitDataWindow()) {
                fitted = true;
                if (!isEmpty(b->dataWindow()))
                    unionBox.extendBy(b->dataWindow());
            }
        }
    }
    if (isEmpty(unionBox)) {
        if (fitted)
            dataWindow = twoByTwo(f.x0, f.y0);
    } else {
        dataWindow = f.region ? shifted(unionBox, f.x0, f.y0) : unionBox;
    }

    // 8-9
    const int files = images + (layered ? 1 : 0);
    progress.init(static_cast<unsigned int>(files * A->height / 250 + 1));
    const std::string base = baseName();

    // 10: in Layout, "VIPER only" leaves the saving to the render nodes.
    if (layoutRenderMode_ == kViperOnly && !hostkit::inScreamerNet())
        return;

    const bool node = hostkit::inScreamerNet();
    const LWFrame frame = hostkit::TimeInfo().frame();
    const NameContext names = hostNameContext();
    const auto announce = [&](const std::string &fileName) {
        if (node)
            hostkit::processMessages().info(std::string(kNodeTag) + " - Image saved: " + fileName);
    };
    // Writes rows of the data window; each row is one host line per channel.
    const auto writeRows = [&](ExrOutput &out, const Imath::Box2i &window,
                               const std::vector<OpenEXRBuffer *> &writers, bool unprefixed) {
        const int ox = f.region ? f.x0 : 0;
        // The library reads the whole data window of a row from our lines.
        const int lineWidth = std::max(A->width, window.max.x - ox + 1);
        for (OpenEXRBuffer *b : writers)
            b->allocateLines(lineWidth);
        for (int j = window.min.y; j <= window.max.y; ++j) {
            Imf::FrameBuffer fb;
            const int row = j - f.y0;
            if (row >= 0 && row < A->height)
                for (OpenEXRBuffer *b : writers)
                    b->insertSlices(row, fb, A, ox, unprefixed);
            out.file().setFrameBuffer(fb);
            out.file().writePixels(1);
            if (j % 250 == 0 && !node)
                progress.step(1);
        }
    };

    // 11: the layered file.
    if (layered) {
        Imf::Header header = makeHeader(f, dataWindow, compression_, dwaLevel_);
        stampMetadata(header, comment_, author_);
        std::vector<OpenEXRBuffer *> writers;
        for (const auto &b : buffers_)
            if (b->active() && b->savesLayer()) {
                b->insertChannels(header.channels(), false);
                writers.push_back(b.get());
            }
        const std::string fileName = layeredFileName(base, "exr", frame, nameFormat_, names);
        hostkit::createDirectoriesFor(fileName);
        if (embedPreview_)
            insertPreview(header, *writers.front(), A, previewWidth_, previewHeight_);
        {
            ExrOutput out(fileName, header);
            writeRows(out, header.dataWindow(), writers, false);
            out.close();
        }
        announce(fileName);
    }

    // 12: the separate images.
    for (const auto &b : buffers_) {
        if (!b->active() || !b->savesImage())
            continue;
        const std::string fileName =
            imageFileName(base, b->imageExtension(), frame, singleNameFormat_, nameFormat_,
                          b->layerOrDisplayName(), customFileName_, names);
        hostkit::createDirectoriesFor(fileName);
        if (b->isNativeImage()) {
            Imath::Box2i window = f.region ? f.regionBox : f.display;
            if (b->fitDataWindow())
                window = isEmpty(b->dataWindow()) ? twoByTwo(f.x0, f.y0)
                                                  : shifted(b->dataWindow(), f.x0, f.y0);
            Imf::Header header = makeHeader(f, window, compression_, dwaLevel_);
            stampMetadata(header, b->imageComment(), author_);
            if (embedPreview_)
                insertPreview(header, *b, A, previewWidth_, previewHeight_);
            b->insertChannels(header.channels(), true);
            {
                ExrOutput out(fileName, header);
                writeRows(out, window, {b.get()}, true);
                out.close();
            }
        } else {
            b->saveWithHostSaver(A, fileName);
            if (!node)
                progress.step(static_cast<unsigned int>(A->height / 250));
        }
        announce(fileName);
    }
}

void OpenEXRFilter::handBack(const LWFilterAccess *A) const
{
    if (!A->getLine)
        return;
    const float inverse = 1.0f / static_cast<float>(displayGamma_);
    for (int y = 0; y < A->height; ++y) {
        const float *r = A->getLine(LWBUF_RED, y);
        const float *g = A->getLine(LWBUF_GREEN, y);
        const float *b = A->getLine(LWBUF_BLUE, y);
        const float *a = A->getLine(LWBUF_ALPHA, y);
        for (int x = 0; x < A->width; ++x) {
            if (r && g && b && A->setRGB) {
                float rgb[3] = {r[x], g[x], b[x]};
                if (postApplyDisplayGamma_)
                    for (float &v : rgb)
                        v = std::pow(v, inverse);
                A->setRGB(x, y, rgb);
            }
            if (a && A->setAlpha)
                A->setAlpha(x, y, a[x]);
        }
    }
}

} // namespace ravelcast

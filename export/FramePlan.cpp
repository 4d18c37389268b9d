#include "export/FramePlan.h"

#include <algorithm>

#include "export/OpenEXRFilter.h"

namespace ravelcast {

namespace {

bool isEmpty(const Imath::Box2i &b) { return b.max.x < b.min.x || b.max.y < b.min.y; }

Imath::Box2i twoByTwo(int x0, int y0)
{
    return Imath::Box2i(Imath::V2i(x0, y0), Imath::V2i(x0 + 1, y0 + 1));
}

Imath::Box2i shifted(const Imath::Box2i &b, int dx, int dy)
{
    return Imath::Box2i(b.min + Imath::V2i(dx, dy), b.max + Imath::V2i(dx, dy));
}

} // namespace

FramePlan planFrame(const FrameFacts &facts, const OpenEXRFilter &filter)
{
    FramePlan plan;
    plan.display = facts.display;
    plan.region = facts.region;
    plan.pixelAspect = facts.pixelAspect;
    plan.x0 = facts.x0;
    plan.y0 = facts.y0;
    if (filter.previewScale() != kCustomPreviewSize) {
        const float factor = previewScaleFactor(filter.previewScale());
        plan.previewWidth = static_cast<int>(facts.width * factor);
        plan.previewHeight = static_cast<int>(facts.height * factor);
    } else {
        // A custom size is never larger than the frame it shows.
        plan.previewWidth = std::min(filter.customPreviewWidth(), facts.width);
        plan.previewHeight = std::min(filter.customPreviewHeight(), facts.height);
    }

    // The layered file's data window: the union of the fitted layers'
    // boxes, or the region (or frame) when no layer is fitted.
    std::vector<OpenEXRBuffer *> layers;
    bool fitted = false;
    Imath::Box2i unionBox = emptyWindow();
    int images = 0;
    for (const auto &b : filter.buffers()) {
        if (!b->active())
            continue;
        images += b->savesImage() ? 1 : 0;
        if (!b->savesLayer())
            continue;
        layers.push_back(b.get());
        if (b->fitDataWindow()) {
            fitted = true;
            if (!isEmpty(b->dataWindow()))
                unionBox.extendBy(b->dataWindow());
        }
    }
    const Imath::Box2i whole = facts.region ? facts.regionBox : facts.display;
    const int files = images + (layers.empty() ? 0 : 1);
    plan.progressTotal = static_cast<unsigned int>(files * facts.height / 250 + 1);
    plan.writes = !(filter.layoutRenderMode() == kViperOnly && !facts.renderNode);

    const std::string base = filter.baseName();
    if (!layers.empty()) {
        PlannedFile file;
        file.kind = PlannedFile::Layered;
        file.fileName = layeredFileName(base, "exr", facts.frame, filter.nameFormat(), facts.names);
        if (!fitted)
            file.dataWindow = whole;
        else if (isEmpty(unionBox))
            file.dataWindow = twoByTwo(facts.x0, facts.y0);
        else
            file.dataWindow = shifted(unionBox, facts.x0, facts.y0);
        file.buffers = layers;
        plan.files.push_back(file);
    }
    for (const auto &b : filter.buffers()) {
        if (!b->active() || !b->savesImage())
            continue;
        PlannedFile file;
        file.kind = b->isNativeImage() ? PlannedFile::Image : PlannedFile::HostImage;
        file.fileName = imageFileName(
            base, b->imageExtension(), facts.frame, filter.singleNameFormat(), filter.nameFormat(),
            b->layerOrDisplayName(), filter.customFileName(), facts.names);
        file.dataWindow = whole;
        if (b->fitDataWindow())
            file.dataWindow = isEmpty(b->dataWindow())
                                  ? twoByTwo(facts.x0, facts.y0)
                                  : shifted(b->dataWindow(), facts.x0, facts.y0);
        file.buffers = {b.get()};
        plan.files.push_back(file);
    }
    return plan;
}

} // namespace ravelcast

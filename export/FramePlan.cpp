#include "export/FramePlan.h"

#include <algorithm>
#include <cctype>

#include "export/FilterSettings.h"
#include "export/OpenEXRBuffer.h"
#include "hostkit/utility/Platform.h"

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

bool sameName(const std::string &a, const std::string &b)
{
#if defined(_WIN32)
    // Windows file names do not tell case apart.
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
#else
    return a == b;
#endif
}

// No output replaces another: a file name already taken in the frame, or
// a channel name already taken in its file, gets the next free suffix, in
// plan order (the layered file first, then the images in catalogue order).
void resolveCollisions(FramePlan &plan)
{
    struct Taken {
        std::string name;
        const OpenEXRBuffer *holder;
    };
    // The first holder of name, or null when it is free.
    const auto holderOf = [](const std::vector<Taken> &names, const std::string &name,
                             bool fileName) -> const Taken * {
        for (const Taken &t : names)
            if (fileName ? sameName(t.name, name) : t.name == name)
                return &t;
        return nullptr;
    };
    std::vector<Taken> files;
    for (PlannedFile &file : plan.files) {
        // The layered file comes first and holds its name as itself.
        const OpenEXRBuffer *owner =
            file.kind == PlannedFile::Layered ? nullptr : file.buffers.front().buffer;
        if (const Taken *first = holderOf(files, file.fileName, true)) {
            NameCollision c;
            c.buffer = owner;
            c.holder = first->holder;
            c.name = file.fileName;
            std::string name = file.fileName;
            for (int n = 2; holderOf(files, name, true); ++n)
                name = suffixedFileName(file.fileName, n);
            c.renamed = c.fileName = name;
            c.text = "\"" + file.buffers.front()->displayName() + "\" would write \"" +
                     file.fileName + "\" again; written as \"" + name + "\"";
            plan.collisions.push_back(c);
            file.fileName = name;
        }
        files.push_back({file.fileName, owner});

        std::vector<Taken> channels;
        for (PlannedBuffer &b : file.buffers)
            for (auto &names : b.names)
                for (std::string &channel : names) {
                    if (const Taken *first = holderOf(channels, channel, false)) {
                        NameCollision c;
                        c.channel = true;
                        c.buffer = b.buffer;
                        c.holder = first->holder;
                        c.fileName = file.fileName;
                        c.name = channel;
                        std::string unique = channel;
                        for (int n = 2; holderOf(channels, unique, false); ++n)
                            unique = suffixedChannelName(channel, n);
                        c.renamed = unique;
                        c.text = "\"" + b->displayName() + "\" would write the channel \"" +
                                 channel + "\" of \"" + file.fileName + "\" again; written as \"" +
                                 unique + "\"";
                        plan.collisions.push_back(c);
                        channel = unique;
                    }
                    channels.push_back({channel, b.buffer});
                }
    }
}

} // namespace

std::vector<std::string> collisionLines(const FramePlan &plan)
{
    std::vector<std::string> lines;
    for (const NameCollision &c : plan.collisions)
        lines.push_back(c.text);
    return lines;
}

std::string suffixedFileName(const std::string &fileName, int n)
{
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::size_t dot = fileName.rfind('.');
    const std::string suffix = "_" + std::to_string(n);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return fileName + suffix;
    return fileName.substr(0, dot) + suffix + fileName.substr(dot);
}

std::string suffixedChannelName(const std::string &channel, int n)
{
    const std::size_t dot = channel.rfind('.');
    const std::string suffix = "_" + std::to_string(n);
    if (dot == std::string::npos)
        return channel + suffix;
    return channel.substr(0, dot) + suffix + channel.substr(dot);
}

namespace {

// The embedded preview's size.
void planPreview(const FrameFacts &facts, const FilterSettings &settings, FramePlan &plan)
{
    if (settings.previewScale != kCustomPreviewSize) {
        const float factor = previewScaleFactor(settings.previewScale);
        plan.previewWidth = static_cast<int>(facts.width * factor);
        plan.previewHeight = static_cast<int>(facts.height * factor);
    } else {
        // A custom size is never larger than the frame it shows.
        plan.previewWidth = std::min(settings.previewWidth, facts.width);
        plan.previewHeight = std::min(settings.previewHeight, facts.height);
    }
}

} // namespace

FramePlan planFrame(const FrameFacts &facts, const FilterSettings &settings,
                    const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers)
{
    FramePlan plan;
    plan.display = facts.display;
    plan.region = facts.region;
    plan.pixelAspect = facts.pixelAspect;
    plan.x0 = facts.x0;
    plan.y0 = facts.y0;
    planPreview(facts, settings, plan);

    // The layered file's data window: the union of the fitted layers'
    // boxes, or the region (or frame) when no layer is fitted.
    std::vector<PlannedBuffer> layers;
    bool fitted = false;
    Imath::Box2i unionBox = emptyWindow();
    int images = 0;
    for (const auto &b : buffers) {
        if (!b->active())
            continue;
        images += b->savesImage() ? 1 : 0;
        if (!b->savesLayer())
            continue;
        layers.push_back({b.get(), b->fileChannelNames(false)});
        if (b->fitDataWindow()) {
            fitted = true;
            if (!isEmpty(b->dataWindow()))
                unionBox.extendBy(b->dataWindow());
        }
    }
    const Imath::Box2i whole = facts.region ? facts.regionBox : facts.display;
    const int files = images + (layers.empty() ? 0 : 1);
    plan.progressTotal = static_cast<unsigned int>(files * facts.height / 250 + 1);
    plan.writes = !(settings.layoutRenderMode == kViperOnly && !facts.renderNode);

    const std::string base = settings.baseName(facts.renderPath);
    if (!layers.empty()) {
        PlannedFile file;
        file.kind = PlannedFile::Layered;
        file.fileName = layeredFileName(base, "exr", facts.frame, settings.nameFormat, facts.names);
        if (!fitted)
            file.dataWindow = whole;
        else if (isEmpty(unionBox))
            file.dataWindow = twoByTwo(facts.x0, facts.y0);
        else
            file.dataWindow = shifted(unionBox, facts.x0, facts.y0);
        file.buffers = layers;
        plan.files.push_back(file);
    }
    for (const auto &b : buffers) {
        if (!b->active() || !b->savesImage())
            continue;
        PlannedFile file;
        file.kind = b->isNativeImage() ? PlannedFile::Image : PlannedFile::HostImage;
        file.fileName = imageFileName(
            base, b->imageExtension(), facts.frame, settings.singleNameFormat, settings.nameFormat,
            b->layerOrDisplayName(), settings.customFileName, facts.names);
        file.dataWindow = whole;
        if (b->fitDataWindow())
            file.dataWindow = isEmpty(b->dataWindow())
                                  ? twoByTwo(facts.x0, facts.y0)
                                  : shifted(b->dataWindow(), facts.x0, facts.y0);
        if (file.kind == PlannedFile::Image)
            file.buffers = {{b.get(), b->fileChannelNames(true)}};
        else
            file.buffers = {{b.get(), {}}};
        plan.files.push_back(file);
    }
    for (PlannedFile &file : plan.files)
        file.fileName = hostkit::resolvedAgainst(file.fileName, facts.contentFolder);
    resolveCollisions(plan);
    return plan;
}

} // namespace ravelcast

#include "export/FramePlan.h"

#include <algorithm>
#include <cctype>

#include <ImfCompression.h>

#include "export/FilterSettings.h"
#include "export/OpenEXRBuffer.h"
#include "hostkit/utility/Platform.h"
#include "hostkit/utility/Text.h"

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
        const OpenEXRBuffer *owner = file.buffers.empty() || file.kind == PlannedFile::Layered
                                         ? nullptr
                                         : file.buffers.front().buffer;
        if (const Taken *first = holderOf(files, file.fileName, true)) {
            NameCollision c;
            c.buffer = owner;
            c.holder = first->holder;
            c.name = file.fileName;
            std::string name = file.fileName;
            for (int n = 2; holderOf(files, name, true); ++n)
                name = suffixedFileName(file.fileName, n);
            c.renamed = c.fileName = name;
            const std::string writer = owner ? owner->displayName() : file.mattes.front().name;
            c.text = "\"" + writer + "\" would write \"" + file.fileName +
                     "\" again; written as \"" + name + "\"";
            plan.collisions.push_back(c);
            file.fileName = name;
        }
        files.push_back({file.fileName, owner});

        // A matte's channels keep their names: compositors look for them.
        std::vector<Taken> channels;
        for (const PlannedMatte &m : file.mattes)
            for (const std::string &channel : m.channelNames())
                channels.push_back({channel, nullptr});
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
                        // Only a matte's channels are held by no buffer.
                        c.text = "\"" + b->displayName() + "\" would write the channel \"" +
                                 channel + (first->holder ? "\" of \"" + file.fileName + "\" again"
                                                          : "\" of Cryptomatte in \"" +
                                                                file.fileName + "\"") +
                                 "; written as \"" + unique + "\"";
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

std::vector<std::string> PlannedMatte::channelNames() const
{
    std::vector<std::string> names;
    for (const std::string &layer : layers)
        for (const char *c : kMatteChannels)
            names.push_back(layer + "." + c);
    return names;
}

bool lossyCompression(int compression)
{
    switch (compression) {
    case Imf::PXR24_COMPRESSION:
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION:
    case Imf::DWAA_COMPRESSION:
    case Imf::DWAB_COMPRESSION: return true;
    default: return false;
    }
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

namespace {

// The whole frame, or the limited region.
Imath::Box2i wholeWindow(const FrameFacts &facts)
{
    return facts.region ? facts.regionBox : facts.display;
}

// The window a file or part of these buffers is written inside: the union
// of the fitted ones' boxes (2 x 2 at the corner when none holds data), or
// the whole frame (or region) when none is fitted.
Imath::Box2i windowOf(const std::vector<PlannedBuffer> &buffers, const FrameFacts &facts)
{
    bool fitted = false;
    Imath::Box2i box = emptyWindow();
    for (const PlannedBuffer &b : buffers)
        if (b->fitDataWindow()) {
            fitted = true;
            if (!isEmpty(b->dataWindow()))
                box.extendBy(b->dataWindow());
        }
    if (!fitted)
        return wholeWindow(facts);
    if (isEmpty(box))
        return twoByTwo(facts.x0, facts.y0);
    return shifted(box, facts.x0, facts.y0);
}

// The buffer's own choice, or the file's.
int compressionOf(const OpenEXRBuffer &b, const FilterSettings &settings)
{
    return b.compression() == kAsTheFile ? settings.compression : b.compression();
}

// One part per layer and, within a layer, per compression and fitting:
// no buffer is cropped to another's box, each is compressed as it chose.
std::vector<PlannedPart> layerParts(const PlannedFile &file, const FrameFacts &facts,
                                    const FilterSettings &settings)
{
    std::vector<PlannedPart> parts;
    std::vector<std::string> layers; // per part, the layer it holds
    for (const PlannedBuffer &b : file.buffers) {
        const std::string layer = b->layerName().empty() ? "Base" : b->layerName();
        const int compression = compressionOf(*b.buffer, settings);
        const auto same = [&](const PlannedPart &p) {
            const std::size_t i = static_cast<std::size_t>(&p - parts.data());
            return layers[i] == layer && p.compression == compression &&
                   p.buffers.front()->fitDataWindow() == b->fitDataWindow();
        };
        const auto at = std::find_if(parts.begin(), parts.end(), same);
        if (at != parts.end()) {
            at->buffers.push_back(b);
            continue;
        }
        const bool layerTaken = std::find(layers.begin(), layers.end(), layer) != layers.end();
        PlannedPart part;
        part.name = layerTaken ? b->displayName() : layer;
        // Part names are unique in a file.
        const auto named = [&](const std::string &name) {
            return std::any_of(parts.begin(), parts.end(),
                               [&](const PlannedPart &p) { return p.name == name; });
        };
        const std::string wanted = part.name;
        for (int n = 2; named(part.name); ++n)
            part.name = wanted + "_" + std::to_string(n);
        part.compression = compression;
        part.buffers = {b};
        parts.push_back(std::move(part));
        layers.push_back(layer);
    }
    for (PlannedPart &part : parts)
        part.dataWindow = windowOf(part.buffers, facts);
    // Each Cryptomatte type in a part of its own, lossless and whole.
    for (const PlannedMatte &m : file.mattes) {
        PlannedPart part;
        part.name = m.name;
        for (int n = 2; std::any_of(parts.begin(), parts.end(),
                                    [&](const PlannedPart &p) { return p.name == part.name; });
             ++n)
            part.name = m.name + "_" + std::to_string(n);
        part.compression = Imf::ZIP_COMPRESSION;
        part.dataWindow = wholeWindow(facts);
        part.mattes = {m};
        parts.push_back(std::move(part));
    }
    return parts;
}

// The Cryptomatte types that are on, with their names and ids from the
// scene; manifests are placed once the files are named.
std::vector<PlannedMatte> planMattes(const FrameFacts &facts, const FilterSettings &settings)
{
    std::vector<PlannedMatte> mattes;
    for (const MatteKind kind : settings.mattes()) {
        PlannedMatte m;
        m.kind = kind;
        m.name = matteTypeName(kind);
        m.hostBuffer = matteHostBuffer(kind);
        m.layers = matteLayers(m.name, settings.cryptoLevels);
        m.names = matteNames(kind, facts.items);
        m.ids = std::make_shared<const MatteIds>(m.names);
        m.manifest = manifestJson(m.names.names);
        m.alphaEdges = settings.cryptoAlphaEdges;
        mattes.push_back(std::move(m));
    }
    return mattes;
}

// A manifest too long for a header goes to a file beside the image that
// holds the type: the image's name without ".exr", "_", the type, ".json".
void placeManifest(PlannedMatte &m, const std::string &imageName)
{
    if (m.manifest.size() <= kManifestInHeader)
        return;
    std::string stem = imageName;
    if (stem.size() > 4 && hostkit::sameIgnoringCase(stem.substr(stem.size() - 4), ".exr"))
        stem.resize(stem.size() - 4);
    m.sidecar = stem + "_" + m.name + ".json";
    const std::size_t slash = m.sidecar.find_last_of("/\\");
    m.sidecarName = slash == std::string::npos ? m.sidecar : m.sidecar.substr(slash + 1);
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

    std::vector<PlannedBuffer> layers;
    int images = 0;
    for (const auto &b : buffers) {
        if (!b->active())
            continue;
        images += b->savesImage() ? 1 : 0;
        if (b->savesLayer())
            layers.push_back({b.get(), b->fileChannelNames(false)});
    }
    std::vector<PlannedMatte> mattes = planMattes(facts, settings);
    const bool matteFiles = settings.mattesApart();
    const bool layered = !layers.empty() || (!mattes.empty() && !matteFiles);
    const int files =
        images + (layered ? 1 : 0) + (matteFiles ? static_cast<int>(mattes.size()) : 0);
    plan.progressTotal = static_cast<unsigned int>(files * facts.height / 250 + 1);
    plan.writes = !(settings.layoutRenderMode == kViperOnly && !facts.renderNode);

    const std::string base = settings.baseName(facts.renderPath);
    if (layered) {
        PlannedFile file;
        file.kind = PlannedFile::Layered;
        file.fileName = layeredFileName(base, "exr", facts.frame, settings.nameFormat, facts.names);
        file.dataWindow = layers.empty() ? wholeWindow(facts) : windowOf(layers, facts);
        file.compression = settings.compression;
        file.buffers = layers;
        if (!matteFiles)
            file.mattes = mattes;
        plan.files.push_back(file);
    }
    if (matteFiles)
        for (const PlannedMatte &m : mattes) {
            PlannedFile file;
            file.kind = PlannedFile::Mattes;
            // Named as a separate image of a layer of the type's name would be.
            file.fileName =
                imageFileName(base, "exr", facts.frame, settings.singleNameFormat,
                              settings.nameFormat, m.name, settings.customFileName, facts.names);
            file.dataWindow = wholeWindow(facts);
            file.compression = Imf::ZIP_COMPRESSION;
            file.mattes = {m};
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
        if (file.kind == PlannedFile::Image)
            file.buffers = {{b.get(), b->fileChannelNames(true)}};
        else
            file.buffers = {{b.get(), {}}};
        file.dataWindow = windowOf(file.buffers, facts);
        file.compression = compressionOf(*b, settings);
        plan.files.push_back(file);
    }
    for (PlannedFile &file : plan.files)
        file.fileName = hostkit::resolvedAgainst(file.fileName, facts.contentFolder);
    resolveCollisions(plan);
    for (PlannedFile &file : plan.files)
        for (PlannedMatte &m : file.mattes)
            placeManifest(m, file.fileName);
    // After the names are settled: the parts hold the buffers as renamed.
    if (settings.multiPart && !plan.files.empty() && plan.files.front().kind == PlannedFile::Layered) {
        PlannedFile &layered = plan.files.front();
        layered.parts = layerParts(layered, facts, settings);
        Imath::Box2i all = emptyWindow();
        for (const PlannedPart &p : layered.parts)
            all.extendBy(p.dataWindow);
        layered.dataWindow = all;
    }
    return plan;
}

} // namespace ravelcast

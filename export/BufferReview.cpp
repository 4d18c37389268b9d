#include "export/BufferReview.h"

#include <algorithm>

#include <ImfCompression.h>
#include <ImfPixelType.h>

#include "export/FramePlan.h"
#include "export/FrameWriter.h"
#include "export/OpenEXRFilter.h"
#include "exrio/SaverSettings.h"
#include "hostkit/FileName.h"
#include "hostkit/Panel.h"
#include "hostkit/Services.h"
#include "module/Version.h"

namespace ravelcast {

// Panel markup: the byte 3 and a command in parentheses.
#define RC_MARK "\x03"

namespace {

const char *const kErrorPrefix = RC_MARK "(c:Ic_CHAN_MOTION_X)Error:" RC_MARK "(c:Nc_HILIGHT) ";

const char *const kWarningPrefix =
    RC_MARK "(c:Ic_CHAN_MOTION_Z)Warning:" RC_MARK "(c:Nc_HILIGHT) ";

std::string errorLine(const std::string &text) { return kErrorPrefix + text; }
std::string warningLine(const std::string &text) { return kWarningPrefix + text; }

std::string windowText(const Imath::Box2i &w)
{
    return "<" + std::to_string(w.min.x) + "," + std::to_string(w.min.y) + "> - <" +
           std::to_string(w.max.x) + "," + std::to_string(w.max.y) + ">";
}

// Whether a compression changes the values of a channel of this type and
// name: PXR24 rounds FLOAT to 24 bits, B44 packs HALF, DWA treats the
// channels named R, G, B, Y, RY and BY (after the layer, case as written)
// as colour and luminance-chroma; the others each keeps exact.
bool changesValues(int compression, int pixelType, const std::string &name)
{
    switch (compression) {
    case Imf::PXR24_COMPRESSION: return pixelType == Imf::FLOAT;
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION: return pixelType == Imf::HALF;
    case Imf::DWAA_COMPRESSION:
    case Imf::DWAB_COMPRESSION: {
        if (pixelType == Imf::UINT)
            return false;
        const std::size_t dot = name.rfind('.');
        const std::string last = dot == std::string::npos ? name : name.substr(dot + 1);
        return last == "R" || last == "G" || last == "B" || last == "Y" || last == "RY" ||
               last == "BY";
    }
    default: return false;
    }
}

// A warning, not an error: a lossy compression that changes a buffer of
// measures in some of its channels, named as the file holds them.
void reviewExactness(const PlannedBuffer &b, int compression, std::vector<std::string> &lines)
{
    if (!b->holdsMeasures())
        return;
    std::string changed;
    for (const auto &names : b.names)
        for (const std::string &name : names)
            if (changesValues(compression, b->pixelType(), name))
                changed += (changed.empty() ? "" : ", ") + name;
    if (!changed.empty())
        lines.push_back(warningLine(std::string(compressionName(compression)) +
                                    " changes the values of " + b->displayName() + " in " +
                                    changed));
}

// The compression a buffer chose applies to its part of a multi-part file
// and to its own OpenEXR image; anywhere else it is an error.
int reviewCompressionChoice(const OpenEXRBuffer &b, const PlannedFile &file, bool multiPart,
                            std::vector<std::string> &lines)
{
    if (b.compression() == kAsTheFile)
        return 0;
    const std::string choice = compressionName(b.compression());
    const bool ownImage = b.savesImage() && b.isNativeImage();
    const bool inSinglePart = file.kind == PlannedFile::Layered && !multiPart;
    if (inSinglePart && ownImage) {
        lines.push_back("  Compression " + choice + " applies to its image only: the layered "
                        "file is " + compressionName(file.compression));
        return 0;
    }
    if (ownImage || (b.savesLayer() && multiPart))
        return 0;
    // Said once, where the buffer is first listed.
    if (file.kind != PlannedFile::Layered && b.savesLayer())
        return 0;
    lines.push_back(errorLine(b.displayName() + ": Compression " + choice +
                              (inSinglePart ? " needs \"One Part per Layer\""
                                            : " cannot apply to a host saver's image")));
    return 1;
}

// In a single-part file every layer is written inside the fitted layers'
// box: a layer that is not fitted itself is cropped to it, unless the last
// frame's data of it lay inside (unknown before a frame).
void reviewCrop(const PlannedBuffer &b, const PlannedFile &file, const Imath::V2i &origin,
                std::vector<std::string> &lines)
{
    if (b->fitDataWindow())
        return;
    const Imath::Box2i &own = b->dataWindow();
    if (!isEmptyWindow(own) && file.dataWindow.intersects(own.min + origin) &&
        file.dataWindow.intersects(own.max + origin))
        return;
    std::string fitted;
    bool measured = false;
    for (const PlannedBuffer &other : file.buffers)
        if (other->fitDataWindow()) {
            fitted += (fitted.empty() ? "" : ", ") + other->displayName();
            measured = measured || !isEmptyWindow(other->dataWindow());
        }
    if (fitted.empty())
        return;
    lines.push_back(warningLine(b->displayName() + " is written only inside " +
                                (measured ? windowText(file.dataWindow) + ", " : std::string()) +
                                "the data window of " + fitted));
}

// The collisions the plan resolved for this buffer's output in this file
// that its own lines do not already tell: a channel name it repeats itself
// is a duplicate, an empty one has no name.
int reviewCollisions(const FramePlan &plan, const PlannedFile &file, const OpenEXRBuffer &buffer,
                     std::vector<std::string> &lines, const std::function<std::string(
                                                          const std::string &, const std::string &)> &shown)
{
    int errors = 0;
    for (const NameCollision &c : plan.collisions) {
        if (c.buffer != &buffer || c.fileName != file.fileName)
            continue;
        if (!c.channel) {
            const std::string holder =
                c.holder ? "the image of " + c.holder->displayName() : "the Multibuffer Image";
            // The new name on a line of its own, where a long path can be read.
            lines.push_back(errorLine("File name already used by " + holder));
            lines.push_back("  Written as: " + shown("  Written as: ", c.renamed));
        } else if (c.holder != &buffer && !c.name.empty()) {
            lines.push_back(errorLine("Channel name " + c.name + " already used by " +
                                      (c.holder ? c.holder->displayName()
                                                : std::string("Cryptomatte")) +
                                      "; written as " + c.renamed));
        } else {
            continue;
        }
        ++errors;
    }
    return errors;
}

// The name the file has before the plan renamed it for a collision.
std::string intendedName(const FramePlan &plan, const PlannedFile &file)
{
    for (const NameCollision &c : plan.collisions)
        if (!c.channel && c.fileName == file.fileName)
            return c.name;
    return file.fileName;
}

// The names of a manifest, as many as fit the line, then how many more.
std::string namesLine(const std::string &prefix, const std::vector<std::string> &names,
                      const ReviewWidth &width)
{
    if (names.empty())
        return prefix + "(no names in the scene)";
    std::string listed;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string next = listed + (i ? ", " : "") + "\"" + names[i] + "\"";
        const std::size_t left = names.size() - i - 1;
        const std::string more = left ? ", ... (" + std::to_string(names.size()) + " names)" : "";
        if (i > 0 && width.measure && width.measure(prefix + next + more) > width.limit)
            return prefix + listed + ", ... (" + std::to_string(names.size()) + " names)";
        listed = next;
    }
    return prefix + listed;
}

// A Cryptomatte type: its layers, where it is written and what its
// manifest names.
void reviewMatte(const PlannedMatte &m, const PlannedFile &file, const OpenEXRFilter &filter,
                 const ReviewWidth &width, std::vector<std::string> &lines)
{
    lines.push_back(RC_MARK "(i:MIMG_BULLET1)" RC_MARK "(c:Nc_HILIGHT) Cryptomatte: " + m.name +
                    " (" +
                    (m.kind == MatteKind::Object     ? "object names"
                     : m.kind == MatteKind::Material ? "surface names"
                                                     : "names of the objects' top-level parents") +
                    ")");
    std::string layers = "  " RC_MARK "(c:Nc_RAISED)Layers: " RC_MARK "(c:Nc_BLACK)";
    for (std::size_t i = 0; i < m.layers.size(); ++i)
        layers += (i ? ", " : "") + m.layers[i];
    lines.push_back(layers + " (R, G, B, A; 32bit Float)");
    if (file.kind == PlannedFile::Mattes)
        lines.push_back("  A lossless file of its own (ZIP): " +
                        std::string(compressionName(filter.settings().compression)) +
                        " would change the ids of the Multibuffer Image");
    else if (!file.parts.empty())
        lines.push_back("  A part of its own: " + m.name + ", ZIP (lossless)");
    lines.push_back(namesLine("  Manifest: ", m.names.names, width));
    if (!m.sidecar.empty())
        lines.push_back("  The manifest is too long for the header: written to " + m.sidecarName);
    if (file.kind == PlannedFile::Layered && file.parts.empty()) {
        std::string fitted;
        for (const PlannedBuffer &b : file.buffers)
            if (b->fitDataWindow())
                fitted += (fitted.empty() ? "" : ", ") + b->displayName();
        if (!fitted.empty())
            lines.push_back(warningLine(m.name + " is written only inside the data window of " +
                                        fitted));
    }
    const char *idBuffer = m.kind == MatteKind::Material ? "Surface ID" : "Object ID";
    if (!filter.buffer(idBuffer))
        lines.push_back(warningLine(std::string("This host gives no ") + idBuffer +
                                    " buffer: the mattes of " + m.name + " stay empty"));
}

} // namespace

int reviewText(const OpenEXRBuffer &buffer, const std::string &fileName, bool asLayer,
               std::vector<std::string> &lines, const Imath::V2i &origin)
{
    std::string heading = RC_MARK "(i:MIMG_BULLET1)" RC_MARK "(c:Nc_HILIGHT) Buffer: " +
                          buffer.displayName() + " (" + buffer.description() + ")";
    const Imath::Box2i &w = buffer.dataWindow();
    if (!isEmptyWindow(w))
        heading += " - <" + std::to_string(origin.x + w.min.x) + "," +
                   std::to_string(origin.y + w.min.y) + "> - <" +
                   std::to_string(origin.x + w.max.x) + "," +
                   std::to_string(origin.y + w.max.y) + ">";
    lines.push_back(heading);

    if (!asLayer) {
        if (!fileName.empty())
            lines.push_back("  Saved as: " + fileName);
        // The host's saver decides what its image holds.
        if (!buffer.isNativeImage())
            return 0;
    } else if (buffer.fitDataWindow()) {
        lines.push_back("Writing a data window!");
    }

    const auto perChannel = buffer.fileChannelNames(!asLayer);
    std::size_t count = 0;
    for (const auto &names : perChannel)
        count += names.size();
    std::string channels = "  " RC_MARK "(c:Nc_RAISED)";
    channels += count == 1 ? "Channel: " : "Channels: ";
    channels += RC_MARK "(c:Nc_BLACK)";
    std::vector<std::string> problems;
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < perChannel.size(); ++i) {
        const std::string longName = buffer.channelLongName(static_cast<int>(i));
        for (const std::string &name : perChannel[i]) {
            channels += longName + " (" + name + ") ";
            if (name.empty())
                problems.push_back(errorLine(longName + " has no channel name! "));
            else if (std::find(seen.begin(), seen.end(), name) != seen.end())
                problems.push_back(errorLine(name + " is a duplicate channel name "));
            seen.push_back(name);
        }
    }
    lines.push_back(channels);
    lines.insert(lines.end(), problems.begin(), problems.end());
    return static_cast<int>(problems.size());
}

std::string fittedPath(const std::string &prefix, const std::string &path,
                       const std::string &suffix, const ReviewWidth &width)
{
    const auto fits = [&](const std::string &p) {
        return !width.measure || width.measure(prefix + p + suffix) <= width.limit;
    };
    if (fits(path))
        return path;
    const std::size_t cut = path.find_last_of("\\/");
    const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    // The folder's start and as much of its end as fits, then the name.
    const std::size_t first = folder.find_first_of("\\/", folder.find_first_not_of("\\/"));
    const std::string head = first == std::string::npos ? std::string() : folder.substr(0, first + 1);
    std::string best;
    for (std::size_t from = folder.size(); from > head.size();) {
        const std::size_t at = folder.find_last_of("\\/", from - 2);
        if (at == std::string::npos || at < head.size())
            break;
        const std::string candidate = head + "..." + folder.substr(at) + name;
        if (!fits(candidate))
            break;
        best = candidate;
        from = at + 1;
    }
    if (!best.empty())
        return best;
    for (const std::string &candidate : {head + "..." + path.substr(cut == std::string::npos ? 0 : cut),
                                         ".../" + name})
        if (fits(candidate))
            return candidate;
    // A name too long by itself keeps its start and its end.
    for (std::size_t keep = name.size(); keep > 2; --keep) {
        const std::string candidate =
            name.substr(0, keep / 2) + "..." + name.substr(name.size() - (keep - keep / 2));
        if (fits(candidate))
            return candidate;
    }
    return "...";
}

// The user's rows as this frame would write them; a row no file can take
// is an error.
static int reviewUserMetadata(const std::vector<UserMetadataRow> &rows, const FrameFacts &facts,
                              std::vector<std::string> &lines)
{
    if (rows.empty())
        return 0;
    const MetadataTokens tokens =
        metadataTokens(facts.names.sceneName, facts.names.cameraName, facts.names.stereo,
                       facts.names.rightEye, facts.frame, gatherRenderFacts());
    lines.push_back("User Metadata (every file):");
    int errors = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const UserMetadataRow &r = rows[i];
        const std::string value = expandMetadataTokens(r.value, tokens);
        std::string line = "  " + r.key + " (" + userMetadataTypeName(r.type) + ") = \"" + r.value + "\"";
        if (value != r.value)
            line += " -> \"" + value + "\"";
        lines.push_back(line);
        const std::string why = userMetadataRefusal(rows, i, tokens);
        if (!why.empty()) {
            lines.push_back(errorLine(why + " "));
            ++errors;
        }
    }
    return errors;
}

ReviewResult reviewSettings(const OpenEXRFilter &filter, const ReviewWidth &width)
{
    ReviewResult review;
    std::vector<std::string> &lines = review.lines;
    if (filter.baseName().empty()) {
        lines.push_back(errorLine("No Output Filename specified!"));
        ++review.errors;
    }

    // The names as the user gave them, relative to the content folder.
    FrameFacts facts = currentFrameFacts();
    const std::string content = facts.contentFolder;
    facts.contentFolder.clear();
    const FramePlan plan = planFrame(facts, filter.settings(), filter.buffers());
    const auto shown = [&](const std::string &prefix, const std::string &name) {
        const std::string relative =
            content.empty() ? name : hostkit::FileName::relativeTo(name, content);
        return fittedPath(prefix, relative, "", width);
    };
    const FrameData &kept = filter.lastFrame().data();
    const Imath::V2i origin(kept.windowX0, kept.windowY0);

    bool images = false;
    for (const PlannedFile &file : plan.files) {
        const bool layered = file.kind == PlannedFile::Layered;
        if (file.kind == PlannedFile::Mattes) {
            lines.push_back("Cryptomatte Image: " + shown("Cryptomatte Image: ", file.fileName));
            for (const PlannedMatte &m : file.mattes)
                reviewMatte(m, file, filter, width, lines);
            continue;
        }
        if (layered) {
            lines.push_back("Multibuffer Image: " + shown("Multibuffer Image: ", file.fileName));
        } else if (!images) {
            lines.push_back("Self contained Buffer Images:");
            images = true;
        }
        const bool multiPart = !file.parts.empty();
        for (const PlannedBuffer &b : file.buffers) {
            const std::string name = layered ? file.fileName : intendedName(plan, file);
            review.errors += reviewText(*b.buffer, shown("  Saved as: ", name), layered, lines,
                                        origin);
            review.errors += reviewCollisions(plan, file, *b.buffer, lines, shown);
            review.errors += reviewCompressionChoice(*b.buffer, file, multiPart, lines);
            if (file.kind == PlannedFile::HostImage)
                continue;
            int compression = file.compression;
            for (const PlannedPart &part : file.parts)
                for (const PlannedBuffer &held : part.buffers)
                    if (held.buffer == b.buffer)
                        compression = part.compression;
            reviewExactness(b, compression, lines);
            if (layered && !multiPart)
                reviewCrop(b, file, origin, lines);
        }
        for (const PlannedMatte &m : file.mattes)
            reviewMatte(m, file, filter, width, lines);
    }
    review.errors += reviewUserMetadata(filter.settings().userMetadata, facts, lines);
    const auto &buffers = filter.buffers();
    if (std::none_of(buffers.begin(), buffers.end(), [](const auto &b) { return b->active(); }) &&
        filter.settings().mattes().empty())
        lines.push_back(RC_MARK "(c:Nc_HILIGHT)No buffer is enabled: nothing will be written.");
    return review;
}

void showReview(const OpenEXRFilter &filter)
{
    hostkit::LogPanel panel("Ravelcast: Buffer Review");
    // Lines are measured as the panel draws them; the list keeps a margin
    // on either side and room for its scroll bar.
    ReviewWidth width;
    if (const LWDrawFuncs *df = panel.drawing(); df && df->textWidth && panel.id()) {
        const LWPanelID id = panel.id();
        width.measure = [df, id](const std::string &text) { return df->textWidth(id, text.c_str()); };
        width.limit = panel.listWidth() - 24;
    }
    const ReviewResult review = reviewSettings(filter, width);
    if (review.errors > 0)
        hostkit::LWMessage().warning(
            std::string(kProductLine) + " - " + std::to_string(review.errors) +
                (review.errors == 1 ? " Error encountered!" : " Errors encountered!"),
            "Please check your settings thoroughly, these errors may cause Ravelcast to fail.");
    for (const std::string &line : review.lines)
        panel.add(line);
    panel.open("Active Buffers");
}

#undef RC_MARK

} // namespace ravelcast

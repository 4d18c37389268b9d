#include "export/BufferReview.h"

#include <algorithm>

#include "export/FramePlan.h"
#include "export/FrameWriter.h"
#include "export/OpenEXRFilter.h"
#include "hostkit/Panel.h"
#include "hostkit/Services.h"
#include "module/Version.h"

namespace ravelcast {

// Panel markup: the byte 3 and a command in parentheses.
#define RC_MARK "\x03"

namespace {

const char *const kErrorPrefix = RC_MARK "(c:Ic_CHAN_MOTION_X)Error:" RC_MARK "(c:Nc_HILIGHT) ";

bool isEmpty(const Imath::Box2i &b) { return b.max.x < b.min.x || b.max.y < b.min.y; }

std::string errorLine(const std::string &text) { return kErrorPrefix + text; }

// The collisions the plan resolved for this buffer's output in this file
// that its own lines do not already tell: a channel name it repeats itself
// is a duplicate, an empty one has no name.
int reviewCollisions(const FramePlan &plan, const PlannedFile &file, const OpenEXRBuffer &buffer,
                     std::vector<std::string> &lines)
{
    int errors = 0;
    for (const NameCollision &c : plan.collisions) {
        if (c.buffer != &buffer || c.fileName != file.fileName)
            continue;
        if (!c.channel) {
            const std::string holder =
                c.holder ? "the image of " + c.holder->displayName() : "the Multibuffer Image";
            // Short enough for the list: the shared name is on the line above.
            lines.push_back(errorLine("File name already used by " + holder + "; written as " +
                                      c.renamed));
        } else if (c.holder != &buffer && !c.name.empty()) {
            lines.push_back(errorLine("Channel name " + c.name + " already used by " +
                                      c.holder->displayName() + "; written as " + c.renamed));
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

} // namespace

int reviewText(const OpenEXRBuffer &buffer, const std::string &fileName, bool asLayer,
               std::vector<std::string> &lines)
{
    std::string heading = RC_MARK "(i:MIMG_BULLET1)" RC_MARK "(c:Nc_HILIGHT) Buffer: " +
                          buffer.displayName() + " (" + buffer.description() + ")";
    const Imath::Box2i &w = buffer.dataWindow();
    if (!isEmpty(w))
        heading += " - <" + std::to_string(w.min.x) + "," + std::to_string(w.min.y) + "> - <" +
                   std::to_string(w.max.x) + "," + std::to_string(w.max.y) + ">";
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

ReviewResult reviewSettings(const OpenEXRFilter &filter)
{
    ReviewResult review;
    std::vector<std::string> &lines = review.lines;
    if (filter.baseName().empty())
        lines.push_back(errorLine("No Output Filename specified!"));

    // The names as the user gave them, relative to the content folder.
    FrameFacts facts = currentFrameFacts();
    facts.contentFolder.clear();
    const FramePlan plan = planFrame(facts, filter);

    bool images = false;
    for (const PlannedFile &file : plan.files) {
        const bool layered = file.kind == PlannedFile::Layered;
        if (layered) {
            lines.push_back("Multibuffer Image: " + file.fileName);
        } else if (!images) {
            lines.push_back("Self contained Buffer Images:");
            images = true;
        }
        for (const PlannedBuffer &b : file.buffers) {
            review.errors += reviewText(*b.buffer, layered ? file.fileName : intendedName(plan, file),
                                        layered, lines);
            review.errors += reviewCollisions(plan, file, *b.buffer, lines);
        }
    }
    return review;
}

void showReview(const OpenEXRFilter &filter)
{
    const ReviewResult review = reviewSettings(filter);
    if (review.errors > 0)
        hostkit::LWMessage().warning(
            std::string(kProductLine) + " - " + std::to_string(review.errors) +
                (review.errors == 1 ? " Error encountered!" : " Errors encountered!"),
            "Please check your settings thoroughly, these errors may cause Ravelcast to fail.");
    hostkit::LogPanel panel("Ravelcast: Buffer Review");
    for (const std::string &line : review.lines)
        panel.add(line);
    panel.open("Active Buffers");
}

#undef RC_MARK

} // namespace ravelcast

#include "export/FileNaming.h"

#include <cctype>
#include <optional>
#include <string>
#include <string_view>


#include "hostkit/FileName.h"
#include "hostkit/Services.h"
#include "hostkit/utility/Platform.h"
#include "hostkit/utility/Text.h"

namespace ravelcast {

namespace {
bool sameWord(const std::string &a, const char *b) { return hostkit::sameIgnoringCase(a, b); }

std::string withoutExtension(const std::string &name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}
} // namespace

NameContext hostNameContext()
{
    NameContext c;
    const hostkit::SceneInfo scene;
    const std::optional<hostkit::SceneFacts> facts = scene.facts();
    if (!facts) {
        c.cameraName = "(none)";
        return c;
    }
    c.sceneName = facts->name.value_or(std::string());
    const hostkit::RenderCamera camera = hostkit::renderCamera(hostkit::TimeInfo().time());
    c.cameraName = camera.name;
    c.stereo = camera.stereo;
    c.rightEye = camera.rightEye;
    return c;
}

std::string frameNumber(int frame, int digits)
{
    std::string n = std::to_string(frame);
    if (n.size() < static_cast<std::size_t>(digits))
        n.insert(0, static_cast<std::size_t>(digits) - n.size(), '0');
    return n;
}

std::string safeNamePart(const std::string &value)
{
    std::string out = value;
    bool onlyDots = !out.empty();
    for (char &c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
        onlyDots = onlyDots && c == '.';
    }
    if (onlyDots)
        for (char &c : out)
            c = '_';
    return out;
}

std::string expandNameTokens(const std::string &text, const std::optional<std::string> &layer,
                             const NameContext &context)
{
    std::string out;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('%', begin);
        if (end == std::string::npos)
            end = text.size();
        const std::string piece = text.substr(begin, end - begin);
        begin = end + 1;
        if (piece.empty())
            continue;
        // Token values are names, never paths: they cannot leave the folder.
        if (sameWord(piece, "scene"))
            out += safeNamePart(withoutExtension(context.sceneName));
        else if (sameWord(piece, "camera"))
            out += safeNamePart(context.cameraName);
        else if (sameWord(piece, "dot"))
            out += ".";
        else if (sameWord(piece, "eye")) {
            if (context.stereo)
                out += context.rightEye ? "R" : "L";
        } else if (sameWord(piece, "buffer") || sameWord(piece, "layer"))
            out += layer ? safeNamePart(*layer) : std::string("Base");
        else
            out += piece;
    }
    return out;
}

std::string layeredFileName(const std::string &base, const std::string &extension, int frame,
                            int nameFormat, const NameContext &context)
{
    std::string text = base;
    if (nameFormat & kUnderscore)
        text += "_";
    text += frameNumber(frame, frameDigits(nameFormat));
    if (nameFormat & kAppendExtension)
        text += "." + extension;
    return expandNameTokens(text, std::nullopt, context);
}

std::string imageFileName(const std::string &base, const std::string &extension, int frame,
                          int pattern, int nameFormat, const std::string &layerName,
                          const std::string &customName,
                          const NameContext &context)
{
    const std::string layer = safeNamePart(layerName);
    const std::string s = (nameFormat & kUnderscore) ? "_" : "";
    const std::string sep(1, hostkit::kPathSeparator);
    std::string dir, name;
    hostkit::FileName::split(base, &dir, &name);
    std::string text = dir.empty() ? std::string() : dir + sep;
    switch (pattern) {
    case kOutputLayer: text += name + s + layer; break;
    case kLayerSlashOutput: text += layer + sep + name; break;
    case kLayerSlashOutputLayer: text += layer + sep + name + s + layer; break;
    case kLayerOutput: text += layer + s + name; break;
    default: text += customName; break;
    }
    if (nameFormat & kUnderscore)
        text += "_";
    text += frameNumber(frame, frameDigits(nameFormat));
    if (nameFormat & kAppendExtension)
        text += "." + extension;
    return expandNameTokens(text, layer, context);
}

} // namespace ravelcast

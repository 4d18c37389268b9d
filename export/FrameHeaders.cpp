#include "export/FrameHeaders.h"

#include <algorithm>
#include <stdexcept>

#include <ImfChannelList.h>
#include <ImfName.h>
#include <ImfPartType.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfStringAttribute.h>

#include "export/OpenEXRBuffer.h"
#include "exrio/RenderMetadata.h"

namespace ravelcast {

namespace {

// A buffer's channels added to a header under their planned names; a name
// the library refuses is reported with the file and the buffer. The library
// cuts names past Imf::Name::MAX_LENGTH without a word (R, G and B of a long
// layer would become one channel) and its readers refuse them, so those are
// refused here, before any file exists.
void insertChannels(const PlannedBuffer &buffer, Imf::ChannelList &list,
                    const std::string &fileName)
{
    const auto type = static_cast<Imf::PixelType>(buffer->pixelType());
    try {
        for (const auto &names : buffer.names)
            for (const std::string &name : names) {
                if (name.size() > static_cast<std::size_t>(Imf::Name::MAX_LENGTH))
                    throw std::length_error("the channel name \"" + name + "\" is longer than " +
                                            std::to_string(Imf::Name::MAX_LENGTH) +
                                            " bytes, the most OpenEXR can hold.");
                list.insert(name, Imf::Channel(type, 1, 1, false));
            }
    } catch (const std::exception &e) {
        throw std::runtime_error("Cannot write \"" + fileName + "\": buffer \"" +
                                 buffer->displayName() + "\": " + e.what());
    }
}

// A type's four FLOAT channels per layer.
void insertMatteChannels(const PlannedMatte &m, Imf::ChannelList &list)
{
    for (const std::string &name : m.channelNames())
        list.insert(name, Imf::Channel(Imf::FLOAT, 1, 1, false));
}

// What a compositor's Cryptomatte reader looks for, under the type's key.
void insertMatteAttributes(const PlannedMatte &m, Imf::Header &h)
{
    const std::string prefix = "cryptomatte/" + matteKey(m.name) + "/";
    h.insert(prefix + "name", Imf::StringAttribute(m.name));
    h.insert(prefix + "hash", Imf::StringAttribute("MurmurHash3_32"));
    h.insert(prefix + "conversion", Imf::StringAttribute("uint32_to_float32"));
    if (m.sidecar.empty())
        h.insert(prefix + "manifest", Imf::StringAttribute(m.manifest));
    else
        h.insert(prefix + "manif_file", Imf::StringAttribute(m.sidecarName));
}

// The planned parts, each carrying the whole header's other attributes.
std::vector<PartHeader> layerParts(const Imf::Header &header, const PlannedFile &file)
{
    std::vector<PartHeader> parts;
    for (const PlannedPart &p : file.parts) {
        parts.push_back({header, p.buffers, p.mattes});
        Imf::Header &part = parts.back().header;
        part.dataWindow() = p.dataWindow;
        part.compression() = static_cast<Imf::Compression>(p.compression);
        part.channels() = Imf::ChannelList();
        for (const PlannedBuffer &b : p.buffers)
            insertChannels(b, part.channels(), file.fileName);
        for (const PlannedMatte &m : p.mattes)
            insertMatteChannels(m, part.channels());
        part.setName(p.name);
        part.setType(Imf::SCANLINEIMAGE);
    }
    return parts;
}

} // namespace

FileHeaders fileHeaders(const FramePlan &plan, const PlannedFile &file,
                        const HeaderSettings &settings, const RenderFacts &facts,
                        const std::optional<Imf::PreviewImage> &preview)
{
    FileHeaders out;
    Imf::Header &h = out.header;
    h = Imf::Header(plan.display, file.dataWindow, plan.pixelAspect, Imath::V2f(0, 0), 1.0f,
                    Imf::INCREASING_Y, static_cast<Imf::Compression>(file.compression));
    h.dwaCompressionLevel() = static_cast<float>(settings.dwaLevel);
    const bool layered = file.kind == PlannedFile::Layered;
    const std::string comment = layered || file.buffers.empty()
                                    ? settings.comment
                                    : file.buffers.front()->imageComment();
    stampFileMetadata(h, facts, comment, settings.choices);
    // The author beside the owner (the account that rendered).
    if (!settings.author.empty())
        h.insert("author", Imf::StringAttribute(settings.author));
    MetadataTokens tokens = settings.tokens;
    tokens.layer = layered                            ? std::string("Base")
                   : file.kind == PlannedFile::Mattes ? file.mattes.front().name
                                                      : file.buffers.front()->layerOrDisplayName();
    out.refusedMetadata = applyUserMetadata(h, settings.userMetadata, tokens);
    if (preview)
        h.insert("preview", Imf::PreviewImageAttribute(*preview));
    for (const PlannedBuffer &b : file.buffers)
        insertChannels(b, h.channels(), file.fileName);
    // Every part of a multi-part file carries every type's attributes:
    // readers look for them in the file's first header.
    for (const PlannedMatte &m : file.mattes) {
        insertMatteChannels(m, h.channels());
        insertMatteAttributes(m, h);
    }
    if (layered && !file.parts.empty())
        out.parts = layerParts(h, file);
    return out;
}

} // namespace ravelcast

#include "devhost/tools/Convert.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <ostream>

#include <lwsdk/master.h>

#include "devhost/BlockFile.h"
#include "devhost/Host.h"
#include "devhost/ImageLoading.h"
#include "devhost/ImageUtility.h"

namespace devhost {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

const char *const kCompressionKeys[] = {"none", "rle", "zips", "zip", "piz", "pxr24", "b44", "b44a",
                                           "dwaa", "dwab"};

const char *imageTypeName(int type)
{
    static const char *const kNames[] = {"RGB bytes",   "grey bytes",  "indexed bytes",
                                         "grey floats", "RGB floats",  "RGBA bytes",
                                         "RGBA floats"};
    return type >= 0 && type <= LWIMTYP_RGBAFP ? kNames[type] : "unknown";
}

const char *resultMeaning(int result)
{
    switch (result) {
    case IPSTAT_OK: return "loaded";
    case IPSTAT_NOREC: return "not recognised";
    case IPSTAT_BADFILE: return "damaged or incomplete";
    case IPSTAT_ABORT: return "aborted";
    default: return "failed";
    }
}

} // namespace

void setSaverSettings(Host &host, std::optional<int> compression, std::optional<int> pixelType)
{
    if (!compression && !pixelType)
        return;
    AppliedServer *master = nullptr;
    for (const auto &s : host.scene().servers)
        if (s->className == LWMASTER_HCLASS && s->name == kSaverSettingsMaster && s->instance)
            master = s.get();
    if (!master)
        master = &host.applyServer(LWMASTER_HCLASS, kSaverSettingsMaster);
    std::string blocks;
    if (pixelType)
        blocks += "{ PixelFormat " + std::to_string(*pixelType) + " }\n";
    if (compression)
        blocks += "{ Compression " + std::to_string(*compression) + " }\n";
    TextBlockReader reader(blocks);
    reader.setPluginLevel(true);
    if (!host.loadServer(*master, reader.state()))
        throw HostError(std::string("The settings master \"") + kSaverSettingsMaster +
                        "\" refused the saver settings");
}

bool parsePixelTypeName(const std::string &name, int *pixelType)
{
    const std::string n = lower(name);
    const char *const keys[] = {"int32", "half", "float"};
    for (int i = 0; i < 3; ++i)
        if (n == keys[i]) {
            *pixelType = i;
            return true;
        }
    return false;
}

bool parseCompressionName(const std::string &name, int *compression)
{
    const std::string n = lower(name);
    for (int i = 0; i < static_cast<int>(std::size(kCompressionKeys)); ++i)
        if (n == kCompressionKeys[i] || n == std::to_string(i)) {
            *compression = i;
            return true;
        }
    return false;
}

std::string saverForFile(ImageUtility &util, const std::string &file)
{
    const std::size_t dot = file.find_last_of('.');
    const std::size_t slash = file.find_last_of("/\\");
    const std::string ext =
        dot == std::string::npos || (slash != std::string::npos && dot < slash)
            ? std::string()
            : lower(file.substr(dot + 1));
    if (!ext.empty())
        for (const ImageUtility::Saver &s : util.savers())
            if (lower(s.extension) == ext)
                return s.name;
    std::string list;
    for (const ImageUtility::Saver &s : util.savers())
        list += (list.empty() ? "" : ", ") + s.name;
    throw HostError("No image saver writes \"" + file + "\" by its extension (the savers: " +
                    list + "); name one with --saver");
}

void convertImage(Host &host, const ConvertOptions &o)
{
    ImageUtility &util = host.extensions().get<ImageUtility>();
    const std::string saverName = o.saver.empty() ? saverForFile(util, o.output) : o.saver;
    const int saver = util.findSaver(saverName);
    if (saver < 0)
        throw HostError("There is no image saver \"" + saverName + "\"");

    checkInputFile(o.input, "image");
    ImageLoading loading(host);
    LoadedImage loaded = loading.load(o.input);
    if (o.out) {
        for (const LoaderAttempt &a : loaded.attempts) {
            *o.out << "loader " << a.loader << ": result " << a.result;
            if (a.activation != AFUNC_OK)
                *o.out << " (activation " << a.activation << ")";
            *o.out << "\n";
        }
        for (const auto &[tag, text] : loaded.metadata)
            *o.out << "metadata " << tag << ": " << text << "\n";
        if (loaded.pixelAspectSet)
            *o.out << "pixel aspect: " << loaded.pixelAspect << "\n";
    }
    if (loaded.loader.empty())
        throw HostError("Cannot load \"" + o.input + "\": none of the host's loaders reads it");
    if (loaded.result != IPSTAT_OK || !loaded.image())
        throw HostError("Cannot load \"" + o.input + "\" with " + loaded.loader + ": result " +
                        std::to_string(loaded.result) + " (" + resultMeaning(loaded.result) +
                        ")");
    if (o.out)
        *o.out << "image: " << loaded.width << " x " << loaded.height << ", type "
               << loaded.imageType << " (" << imageTypeName(loaded.imageType) << ")\n";

    setSaverSettings(host, o.compression, o.pixelType);
    const int result = util.save(loaded.image(), saver, o.output.c_str());
    if (o.out)
        *o.out << "saver " << saverName << ": result " << result << "\n";
    if (result != IPSTAT_OK)
        throw HostError("Cannot save \"" + o.output + "\" with " + saverName + " (result " +
                        std::to_string(result) + ")");
    if (o.out)
        *o.out << "saved: " << o.output << "\n" << std::flush;
}

} // namespace devhost

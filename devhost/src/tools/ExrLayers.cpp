#include "devhost/tools/ExrLayers.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "devhost/Host.h"

namespace devhost {

namespace {

// Colour first, then vectors, then everything else by name.
int rank(const std::string &base)
{
    static const char *const kOrder[] = {"R", "G", "B", "A", "X", "Y", "Z"};
    for (int i = 0; i < 7; ++i)
        if (base == kOrder[i])
            return i;
    return 7;
}

} // namespace

std::vector<Layer> layersOf(const Imf::ChannelList &channels)
{
    std::map<std::string, Layer> byName; // "" sorts first
    for (auto it = channels.begin(); it != channels.end(); ++it) {
        const std::string name = it.name();
        const std::size_t dot = name.rfind('.');
        const std::string layer = dot == std::string::npos ? "" : name.substr(0, dot);
        LayerChannel c;
        c.name = name;
        c.base = dot == std::string::npos ? name : name.substr(dot + 1);
        c.type = it.channel().type;
        c.xSampling = it.channel().xSampling;
        c.ySampling = it.channel().ySampling;
        Layer &l = byName[layer];
        l.name = layer;
        l.channels.push_back(c);
    }
    std::vector<Layer> out;
    for (auto &[name, layer] : byName) {
        std::stable_sort(layer.channels.begin(), layer.channels.end(),
                         [](const LayerChannel &a, const LayerChannel &b) {
                             const int ra = rank(a.base), rb = rank(b.base);
                             return ra != rb ? ra < rb : a.base < b.base;
                         });
        out.push_back(std::move(layer));
    }
    return out;
}

std::unique_ptr<Imf::MultiPartInputFile> openExrFile(const std::string &path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        throw HostError("Cannot read \"" + path + "\": file not found");
    if (!std::filesystem::is_regular_file(status))
        throw HostError("Cannot read \"" + path + "\": not a regular file");
    try {
        return std::make_unique<Imf::MultiPartInputFile>(path.c_str());
    } catch (const std::exception &e) {
        throw HostError("Cannot read \"" + path + "\" as OpenEXR: " + e.what());
    }
}

const char *pixelTypeName(Imf::PixelType type)
{
    switch (type) {
    case Imf::UINT: return "uint";
    case Imf::HALF: return "half";
    case Imf::FLOAT: return "float";
    default: return "unknown type";
    }
}

std::string baseNames(const std::vector<LayerChannel> &channels)
{
    std::string out;
    for (const LayerChannel &c : channels)
        out += (out.empty() ? "" : " ") + c.base;
    return out;
}

} // namespace devhost

#include "devhost/tools/ExrSummary.h"

#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include <ImfBoxAttribute.h>
#include <ImfChromaticitiesAttribute.h>
#include <ImfCompressionAttribute.h>
#include <ImfDoubleAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfFloatVectorAttribute.h>
#include <ImfHeader.h>
#include <ImfIntAttribute.h>
#include <ImfKeyCodeAttribute.h>
#include <ImfLineOrderAttribute.h>
#include <ImfMatrixAttribute.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOpaqueAttribute.h>
#include <ImfPartType.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>
#include <ImfStringVectorAttribute.h>
#include <ImfTileDescriptionAttribute.h>
#include <ImfTimeCodeAttribute.h>
#include <ImfVecAttribute.h>

#include "devhost/tools/ExrLayers.h"
#include "devhost/Host.h"

namespace devhost {

namespace {

// The length of the valid UTF-8 sequence at s[i], or 0.
std::size_t utf8Length(const std::string &s, std::size_t i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

// Bytes that are not text (controls, broken UTF-8, such as a Latin-1
// "\xAE") are escaped so the terminal shows what the file holds.
std::string quoted(const std::string &s)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8Length(s, i);
            if (n > 0) {
                out.append(s, i, n);
                i += n - 1;
                continue;
            }
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

template <class V> std::string vec(const V &v, int n)
{
    std::string out = "(";
    for (int i = 0; i < n; ++i)
        out += (i ? ", " : "") + numberText(static_cast<double>(v[i]));
    return out + ")";
}

template <class M> std::string matrix(const M &m, int n)
{
    std::string out = "[";
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            out += (r || c ? (c ? " " : "; ") : "") + numberText(static_cast<double>(m[r][c]));
    return out + "]";
}

template <class B> std::string box(const B &b)
{
    return vec(b.min, 2) + " - " + vec(b.max, 2);
}

const char *const kCompressionNames[] = {"none", "rle", "zips", "zip", "piz", "pxr24",
                                         "b44", "b44a", "dwaa", "dwab"};

std::string compressionText(Imf::Compression c)
{
    const int i = static_cast<int>(c);
    return i >= 0 && i < 10 ? kCompressionNames[i] : "unknown (" + std::to_string(i) + ")";
}

std::string lineOrderText(Imf::LineOrder o)
{
    switch (o) {
    case Imf::INCREASING_Y: return "increasing y";
    case Imf::DECREASING_Y: return "decreasing y";
    case Imf::RANDOM_Y: return "random y";
    default: return "unknown";
    }
}

using Formatter = std::function<std::string(const Imf::Attribute &)>;

template <class T> const T &as(const Imf::Attribute &a) { return static_cast<const T &>(a); }

// By the attribute's type name, as the file stores it.
const std::map<std::string, Formatter> &formatters()
{
    using namespace Imf;
    static const std::map<std::string, Formatter> table = {
        {"string", [](const Attribute &a) { return quoted(as<StringAttribute>(a).value()); }},
        {"int", [](const Attribute &a) { return std::to_string(as<IntAttribute>(a).value()); }},
        {"float", [](const Attribute &a) { return numberText(as<FloatAttribute>(a).value()); }},
        {"double", [](const Attribute &a) { return numberText(as<DoubleAttribute>(a).value()); }},
        {"v2i", [](const Attribute &a) { return vec(as<V2iAttribute>(a).value(), 2); }},
        {"v2f", [](const Attribute &a) { return vec(as<V2fAttribute>(a).value(), 2); }},
        {"v2d", [](const Attribute &a) { return vec(as<V2dAttribute>(a).value(), 2); }},
        {"v3i", [](const Attribute &a) { return vec(as<V3iAttribute>(a).value(), 3); }},
        {"v3f", [](const Attribute &a) { return vec(as<V3fAttribute>(a).value(), 3); }},
        {"v3d", [](const Attribute &a) { return vec(as<V3dAttribute>(a).value(), 3); }},
        {"box2i", [](const Attribute &a) { return box(as<Box2iAttribute>(a).value()); }},
        {"box2f", [](const Attribute &a) { return box(as<Box2fAttribute>(a).value()); }},
        {"m33f", [](const Attribute &a) { return matrix(as<M33fAttribute>(a).value(), 3); }},
        {"m44f", [](const Attribute &a) { return matrix(as<M44fAttribute>(a).value(), 4); }},
        {"m33d", [](const Attribute &a) { return matrix(as<M33dAttribute>(a).value(), 3); }},
        {"m44d", [](const Attribute &a) { return matrix(as<M44dAttribute>(a).value(), 4); }},
        {"compression",
         [](const Attribute &a) { return compressionText(as<CompressionAttribute>(a).value()); }},
        {"lineOrder",
         [](const Attribute &a) { return lineOrderText(as<LineOrderAttribute>(a).value()); }},
        {"preview",
         [](const Attribute &a) {
             const PreviewImage &p = as<PreviewImageAttribute>(a).value();
             return std::to_string(p.width()) + " x " + std::to_string(p.height()) + " pixels";
         }},
        {"rational",
         [](const Attribute &a) {
             const Rational &r = as<RationalAttribute>(a).value();
             return std::to_string(r.n) + "/" + std::to_string(r.d);
         }},
        {"chromaticities",
         [](const Attribute &a) {
             const Chromaticities &c = as<ChromaticitiesAttribute>(a).value();
             return "red " + vec(c.red, 2) + ", green " + vec(c.green, 2) + ", blue " +
                    vec(c.blue, 2) + ", white " + vec(c.white, 2);
         }},
        {"tiledesc",
         [](const Attribute &a) {
             const TileDescription &t = as<TileDescriptionAttribute>(a).value();
             static const char *const kModes[] = {"one level", "mipmap", "ripmap"};
             const int m = static_cast<int>(t.mode);
             return std::to_string(t.xSize) + " x " + std::to_string(t.ySize) + ", " +
                    (m >= 0 && m < 3 ? kModes[m] : "unknown levels");
         }},
        {"timecode",
         [](const Attribute &a) {
             const TimeCode &t = as<TimeCodeAttribute>(a).value();
             char buf[32];
             std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%02d", t.hours(), t.minutes(),
                           t.seconds(), t.frame());
             return std::string(buf);
         }},
        {"keycode",
         [](const Attribute &a) {
             const KeyCode &k = as<KeyCodeAttribute>(a).value();
             return "film " + std::to_string(k.filmMfcCode()) + "/" +
                    std::to_string(k.filmType()) + ", prefix " + std::to_string(k.prefix()) +
                    ", count " + std::to_string(k.count()) + ", offset " +
                    std::to_string(k.perfOffset());
         }},
        {"stringvector",
         [](const Attribute &a) {
             std::string out = "[";
             for (const std::string &s : as<StringVectorAttribute>(a).value())
                 out += (out.size() > 1 ? ", " : "") + quoted(s);
             return out + "]";
         }},
        {"floatvector",
         [](const Attribute &a) {
             std::string out = "[";
             for (float f : as<FloatVectorAttribute>(a).value())
                 out += (out.size() > 1 ? ", " : "") + numberText(f);
             return out + "]";
         }},
    };
    return table;
}

// Shown in the part's first lines; the attribute list leaves them out.
const std::set<std::string> kStructural = {"channels",         "compression", "dataWindow",
                                           "displayWindow",    "lineOrder",   "pixelAspectRatio",
                                           "tiles",            "type",        "name",
                                           "chunkCount",       "version"};

std::string partTypeText(const Imf::Header &h)
{
    const std::string type = h.hasType() ? h.type() : h.hasTileDescription() ? "tiledimage" : "";
    if (type == "tiledimage")
        return "tiled";
    if (type == "deepscanline")
        return "deep scanline";
    if (type == "deeptile")
        return "deep tiled";
    return type.empty() || type == "scanlineimage" ? "scanline" : type;
}

std::string windowText(const Imath::Box2i &w)
{
    return "(" + std::to_string(w.min.x) + ", " + std::to_string(w.min.y) + ") - (" +
           std::to_string(w.max.x) + ", " + std::to_string(w.max.y) + ")";
}

// "R G B A half, Z float": runs of channels of one type and sampling.
std::string channelRuns(const Layer &layer)
{
    std::string out, run;
    const LayerChannel *previous = nullptr;
    auto close = [&] {
        if (!previous)
            return;
        out += (out.empty() ? "" : ", ") + run + " " + pixelTypeName(previous->type);
        if (previous->xSampling != 1 || previous->ySampling != 1)
            out += " (sampled " + std::to_string(previous->xSampling) + " x " +
                   std::to_string(previous->ySampling) + ")";
    };
    for (const LayerChannel &c : layer.channels) {
        if (previous && (c.type != previous->type || c.xSampling != previous->xSampling ||
                         c.ySampling != previous->ySampling)) {
            close();
            run.clear();
        }
        run += (run.empty() ? "" : " ") + c.base;
        previous = &c;
    }
    close();
    return out;
}

void printPart(const Imf::Header &h, std::ostream &out)
{
    const Imath::Box2i display = h.displayWindow(), data = h.dataWindow();
    out << "  " << partTypeText(h) << ", "
        << (long long)display.max.x - display.min.x + 1 << " x "
        << (long long)display.max.y - display.min.y + 1 << " pixels, compression "
        << compressionText(h.compression()) << ", line order " << lineOrderText(h.lineOrder())
        << ", pixel aspect " << numberText(h.pixelAspectRatio()) << "\n";
    out << "  display window " << windowText(display) << ", data window "
        << (data == display ? std::string("the same") : windowText(data)) << "\n";
    if (h.hasTileDescription())
        out << "  tiles " << attributeText(h["tiles"]) << "\n";

    const std::vector<Layer> layers = layersOf(h.channels());
    std::size_t width = 11;
    for (const Layer &l : layers)
        width = std::max(width, l.name.size());
    out << "  layers:\n";
    if (layers.empty())
        out << "    (no channels)\n";
    for (const Layer &l : layers) {
        const std::string name = l.name.empty() ? "(top level)" : l.name;
        out << "    " << name << std::string(width - name.size() + 2, ' ') << channelRuns(l)
            << "\n";
    }

    std::vector<const Imf::Attribute *> rest;
    std::vector<std::string> names;
    std::size_t nameWidth = 0;
    for (auto it = h.begin(); it != h.end(); ++it) {
        if (kStructural.count(it.name()))
            continue;
        rest.push_back(&it.attribute());
        names.push_back(it.name());
        nameWidth = std::max(nameWidth, names.back().size());
    }
    if (rest.empty())
        return;
    out << "  attributes:\n";
    for (std::size_t i = 0; i < rest.size(); ++i)
        out << "    " << names[i] << std::string(nameWidth - names[i].size() + 2, ' ')
            << attributeText(*rest[i]) << "\n";
}

} // namespace

std::string numberText(double value, int digits)
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.precision(digits);
    s << value;
    return s.str();
}

std::string attributeText(const Imf::Attribute &attribute)
{
    const auto &table = formatters();
    const auto f = table.find(attribute.typeName());
    if (f != table.end())
        return f->second(attribute);
    if (const auto *opaque = dynamic_cast<const Imf::OpaqueAttribute *>(&attribute))
        return "(" + std::string(attribute.typeName()) + ", " +
               std::to_string(opaque->dataSize()) + " bytes)";
    return "(" + std::string(attribute.typeName()) + ")";
}

void printExrSummary(const std::string &path, std::ostream &out)
{
    const std::unique_ptr<Imf::MultiPartInputFile> file = openExrFile(path);
    const int parts = file->parts();
    out << path << ": OpenEXR, " << parts << (parts == 1 ? " part" : " parts") << "\n";
    for (int p = 0; p < parts; ++p) {
        const Imf::Header &h = file->header(p);
        if (parts > 1)
            out << "part " << p << (h.hasName() ? " " + quoted(h.name()) : std::string()) << ":\n";
        printPart(h, out);
    }
}

} // namespace devhost

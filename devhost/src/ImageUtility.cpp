#include "devhost/ImageUtility.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "devhost/BlockFile.h"
#include "devhost/Host.h"
#include "devhost/ImageFiles.h"

namespace devhost {

namespace {

// The table's functions carry no data pointer; one utility serves the host.
ImageUtility *g_util = nullptr;

constexpr const char *kPngSaver = "PNG(.png)";
constexpr const char *kPfmSaver = "PFM(.pfm)";
// More pixels than any frame we render; keeps a wrong size from exhausting
// memory.
constexpr long long kMaxPixels = 1LL << 28;

// Render facts sent as "<id> <value>" metadata texts.
constexpr int kFactFrameNumber = 0xC001;
constexpr int kFactCameraName = 0xC005;
constexpr int kMetaFramesPerSecond = 4;
constexpr int kMetaRenderFact = 24;

LWPixmapID createThunk(int w, int h, int type) { return g_util ? g_util->create(w, h, type) : nullptr; }
void destroyThunk(LWPixmapID image)
{
    if (g_util)
        g_util->destroy(image);
}
int saveThunk(LWPixmapID image, int saver, const char *name)
{
    return g_util ? g_util->save(image, saver, name) : IPSTAT_FAILED;
}
void setPixelThunk(LWPixmapID image, int x, int y, const void *pixel)
{
    if (g_util)
        g_util->setPixel(image, x, y, pixel);
}
void getPixelThunk(LWPixmapID image, int x, int y, void *pixel)
{
    if (g_util)
        g_util->getPixel(image, x, y, pixel);
}
void getInfoThunk(LWPixmapID image, int *w, int *h, int *type)
{
    const bool ok = g_util && g_util->valid(image);
    if (w)
        *w = ok ? image->width : 0;
    if (h)
        *h = ok ? image->height : 0;
    if (type)
        *type = ok ? image->type : -1;
}
int saverCountThunk() { return g_util ? g_util->saverCount() : 0; }
const char *saverNameThunk(int i)
{
    if (!g_util || i < 0 || i >= g_util->saverCount())
        return nullptr;
    return g_util->savers()[static_cast<std::size_t>(i)].name.c_str();
}
const char *saverExtensionThunk(int i)
{
    if (!g_util || i < 0 || i >= g_util->saverCount())
        return nullptr;
    return g_util->savers()[static_cast<std::size_t>(i)].extension.c_str();
}

// One pixel as up to four floats (0-1 for byte types) and its channel
// count in the image's own terms: 1 grey, 3 colour, 4 colour and alpha.
int pixelFloats(const st_LWPixmap &img, int x, int y, float out[4])
{
    const unsigned char *p = img.row(y) + static_cast<std::size_t>(x) * img.pixelBytes;
    switch (img.type) {
    case LWIMTYP_GREY8: out[0] = p[0] / 255.0f; return 1;
    case LWIMTYP_RGB24:
        for (int i = 0; i < 3; ++i)
            out[i] = p[i] / 255.0f;
        return 3;
    case LWIMTYP_INDEX8:
        for (int i = 0; i < 3; ++i)
            out[i] = img.palette[p[0] * 3u + i] / 255.0f;
        return 3;
    case LWIMTYP_RGBA32:
        for (int i = 0; i < 4; ++i)
            out[i] = p[i] / 255.0f;
        return 4;
    case LWIMTYP_GREYFP: std::memcpy(out, p, 4); return 1;
    case LWIMTYP_RGBFP: std::memcpy(out, p, 12); return 3;
    case LWIMTYP_RGBAFP: std::memcpy(out, p, 16); return 4;
    }
    return 0;
}

int channelsOf(int type)
{
    switch (type) {
    case LWIMTYP_GREY8:
    case LWIMTYP_GREYFP: return 1;
    case LWIMTYP_RGBA32:
    case LWIMTYP_RGBAFP: return 4;
    default: return 3;
    }
}

unsigned char toByte(float v)
{
    if (!(v > 0.0f)) // NaN too
        return 0;
    if (v >= 1.0f)
        return 255;
    return static_cast<unsigned char>(std::lround(v * 255.0f));
}

// Drives a module saver's image protocol: the saver hands the host its
// protocol through sendData, and the host sends the image.
struct SaveDriver {
    Host &host;
    const st_LWPixmap &image;
    int version;

    int send(LWImageProtocolID p) const
    {
        if (!p || !p->setSize || !p->sendLine || !p->done)
            return IPSTAT_FAILED;
        void *priv = p->priv_data;
        p->setSize(priv, image.width, image.height);
        if (image.type == LWIMTYP_INDEX8 && p->setMap)
            for (int i = 0; i < 256; ++i)
                p->setMap(priv, i, &image.palette[static_cast<std::size_t>(i) * 3]);
        const SceneSettings &s = host.scene().settings;
        if (version == 2) {
            if (p->setParam)
                p->setParam(priv, LWIMPAR_ASPECT, 0, static_cast<float>(s.pixelAspect));
        } else if (p->sendMeta) {
            const std::pair<int, std::string> items[] = {
                {LWIMMETA_PIXELASPECT, formatFloat(s.pixelAspect)},
                {kMetaFramesPerSecond, formatFloat(s.framesPerSecond)},
                {kMetaRenderFact,
                 std::to_string(kFactFrameNumber) + " " + std::to_string(host.timeInfo().frame)},
                {kMetaRenderFact, std::to_string(kFactCameraName) + " " + s.renderCamera},
            };
            for (const auto &[tag, text] : items)
                p->sendMeta(priv, tag, text.c_str());
        }
        int code = IPSTAT_OK;
        for (int y = 0; y < image.height && code == IPSTAT_OK; ++y)
            code = p->sendLine(priv, y, image.row(y));
        return p->done(priv, code);
    }
};

int sendDataThunk(void *priv, LWImageProtocolID proto, int)
{
    const auto *driver = static_cast<const SaveDriver *>(priv);
    return driver ? driver->send(proto) : IPSTAT_FAILED;
}

} // namespace

ImageUtility::ImageUtility(Host &host) : host_(host)
{
    table_ = {guarded<createThunk>,     guarded<destroyThunk>,   guarded<saveThunk>,
              guarded<setPixelThunk>,   guarded<getPixelThunk>,  guarded<getInfoThunk>,
              guarded<saverCountThunk>, guarded<saverNameThunk>, guarded<saverExtensionThunk>};
    g_util = this;
    host_.services().offerTable(LWIMAGEUTIL_GLOBAL, &table_);
}

ImageUtility::~ImageUtility()
{
    host_.services().withdraw(LWIMAGEUTIL_GLOBAL);
    for (st_LWPixmap *p : images_)
        delete p;
    if (g_util == this)
        g_util = nullptr;
}

int ImageUtility::pixelBytes(int type)
{
    static const int kBytes[] = {3, 1, 1, 4, 12, 4, 16};
    return type >= 0 && type <= LWIMTYP_RGBAFP ? kBytes[type] : 0;
}

LWPixmapID ImageUtility::create(int width, int height, int type)
{
    const int bytes = pixelBytes(type);
    if (width <= 0 || height <= 0 || bytes == 0 ||
        static_cast<long long>(width) * height > kMaxPixels)
        return nullptr;
    auto *p = new st_LWPixmap;
    p->width = width;
    p->height = height;
    p->type = type;
    p->pixelBytes = bytes;
    p->bytes.assign(static_cast<std::size_t>(width) * height * bytes, 0);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            p->palette[static_cast<std::size_t>(i) * 3 + c] = static_cast<unsigned char>(i);
    images_.push_back(p);
    return p;
}

void ImageUtility::destroy(LWPixmapID image)
{
    auto it = std::find(images_.begin(), images_.end(), image);
    if (it == images_.end())
        return;
    delete *it;
    images_.erase(it);
}

bool ImageUtility::valid(LWPixmapID image) const
{
    return image && std::find(images_.begin(), images_.end(), image) != images_.end();
}

void ImageUtility::setPixel(LWPixmapID image, int x, int y, const void *pixel)
{
    if (!pixel || !valid(image) || x < 0 || y < 0 || x >= image->width || y >= image->height)
        return;
    std::memcpy(image->bytes.data() +
                    (static_cast<std::size_t>(y) * image->width + x) * image->pixelBytes,
                pixel, static_cast<std::size_t>(image->pixelBytes));
}

void ImageUtility::getPixel(LWPixmapID image, int x, int y, void *pixel) const
{
    if (!pixel || !valid(image) || x < 0 || y < 0 || x >= image->width || y >= image->height)
        return;
    std::memcpy(pixel,
                image->bytes.data() +
                    (static_cast<std::size_t>(y) * image->width + x) * image->pixelBytes,
                static_cast<std::size_t>(image->pixelBytes));
}

void ImageUtility::setPaletteEntry(LWPixmapID image, int index, const unsigned char rgb[3])
{
    if (!rgb || !valid(image) || index < 0 || index > 255)
        return;
    std::memcpy(&image->palette[static_cast<std::size_t>(index) * 3], rgb, 3);
}

std::string ImageUtility::extensionOf(const std::string &name)
{
    const std::size_t open = name.rfind("(.");
    if (open == std::string::npos)
        return {};
    const std::size_t close = name.find(')', open);
    if (close == std::string::npos)
        return {};
    return name.substr(open + 2, close - open - 2);
}

const std::vector<ImageUtility::Saver> &ImageUtility::savers()
{
    const Module *m = host_.module();
    const void *table = m ? static_cast<const void *>(m->serverTable()) : nullptr;
    if (saversMade_ && m == saversOf_ && table == saversTable_)
        return savers_;
    savers_.clear();
    for (const char *own : {kPngSaver, kPfmSaver})
        savers_.push_back({own, extensionOf(own), false});
    if (m)
        for (const ServerEntry &e : m->servers())
            if (e.className == LWIMAGESAVER_CLASS)
                savers_.push_back({e.name, extensionOf(e.name), true});
    saversOf_ = m;
    saversTable_ = table;
    saversMade_ = true;
    return savers_;
}

int ImageUtility::findSaver(const std::string &name)
{
    const std::vector<Saver> &list = savers();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name)
            return static_cast<int>(i);
    return -1;
}

void ImageUtility::fail(const std::string &file, const std::string &saver, const std::string &cause)
{
    const std::string line1 =
        "Cannot save image \"" + file + "\"" + (saver.empty() ? "" : " as " + saver) + ":";
    host_.messages().post(Message::Error, line1.c_str(), cause.c_str());
}

int ImageUtility::save(LWPixmapID image, int saver, const char *fileName)
{
    const std::string file = fileName ? fileName : "";
    if (!valid(image)) {
        fail(file, {}, "the image is not one the host made (or it was destroyed)");
        return IPSTAT_FAILED;
    }
    if (saver < 0 || saver >= saverCount()) {
        fail(file, {}, "there is no image saver number " + std::to_string(saver));
        return IPSTAT_NOREC;
    }
    if (file.empty()) {
        fail(file, savers()[static_cast<std::size_t>(saver)].name, "no file name was given");
        return IPSTAT_BADFILE;
    }
    const Saver s = savers()[static_cast<std::size_t>(saver)];
    const int result = s.module ? saveThroughModule(*image, s, file) : saveNative(*image, s, file);
    if (result == IPSTAT_OK)
        host_.noteWritten(file);
    return result;
}

int ImageUtility::saveNative(const st_LWPixmap &image, const Saver &saver, const std::string &file)
{
    try {
        if (saver.name == kPngSaver) {
            Pixels<unsigned char> out;
            out.width = image.width;
            out.height = image.height;
            out.channels = channelsOf(image.type);
            out.samples.reserve(static_cast<std::size_t>(image.width) * image.height * out.channels);
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < image.width; ++x) {
                    float px[4];
                    const int n = pixelFloats(image, x, y, px);
                    for (int c = 0; c < n; ++c)
                        out.samples.push_back(toByte(px[c]));
                }
            writePng(file, out);
        } else {
            // A float map has no alpha: RGBA images keep their colour.
            Pixels<float> out;
            out.width = image.width;
            out.height = image.height;
            out.channels = channelsOf(image.type) == 1 ? 1 : 3;
            out.samples.reserve(static_cast<std::size_t>(image.width) * image.height * out.channels);
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < image.width; ++x) {
                    float px[4];
                    pixelFloats(image, x, y, px);
                    for (int c = 0; c < out.channels; ++c)
                        out.samples.push_back(px[c]);
                }
            writePfm(file, out);
        }
    } catch (const ImageFileError &e) {
        fail(file, saver.name, e.what());
        return IPSTAT_FAILED;
    }
    return IPSTAT_OK;
}

int ImageUtility::saveThroughModule(const st_LWPixmap &image, const Saver &saver,
                                    const std::string &file)
{
    SaveDriver driver{host_, image, saverVersion_};
    LWImageSaverLocal local{};
    local.priv_data = &driver;
    // A saver that never reports its result has not saved anything.
    local.result = IPSTAT_FAILED;
    local.type = image.type;
    local.filename = file.c_str();
    local.monitor = nullptr;
    local.sendData = guarded<sendDataThunk>;
    int activation = AFUNC_OK;
    try {
        activation = host_.activate(LWIMAGESAVER_CLASS, saver.name, saverVersion_, &local);
    } catch (const HostError &e) {
        fail(file, saver.name, e.what());
        return IPSTAT_FAILED;
    }
    if (activation != AFUNC_OK) {
        fail(file, saver.name,
             "the saver refused activation version " + std::to_string(saverVersion_) +
                 " (result " + std::to_string(activation) + ")");
        return IPSTAT_FAILED;
    }
    if (local.result != IPSTAT_OK)
        fail(file, saver.name, "the saver answered " + std::to_string(local.result));
    return local.result;
}

} // namespace devhost

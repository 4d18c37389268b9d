#include "devhost/ImageLoading.h"
#include "devhost/CallbackBarrier.h"

#include <cstdio>
#include <filesystem>
#include <cstring>
#include <memory>

#include "devhost/Host.h"
#include "devhost/ImageFiles.h"
#include "devhost/ImageUtility.h"

namespace devhost {

namespace {

// One module load: the loader record's and the protocol's data.
struct LoadSession {
    ImageUtility &util;
    LoadedImage &out;
    LWImageProtocol protocol{};
    LWMonitor monitor{};
    bool begun = false;
    LWPixmapID image = nullptr;
};

LoadSession *sessionOf(void *priv) { return static_cast<LoadSession *>(priv); }

void setSizeThunk(void *priv, int width, int height)
{
    LoadSession *s = sessionOf(priv);
    if (s->image)
        s->util.destroy(s->image);
    // Null when the size is impossible: every line is refused then.
    s->image = s->util.create(width, height, s->out.imageType);
    s->out.width = width;
    s->out.height = height;
}

void setParamThunk(void *priv, int param, int, float fval)
{
    LoadSession *s = sessionOf(priv);
    if (param == LWIMPAR_ASPECT) {
        s->out.pixelAspectSet = true;
        s->out.pixelAspect = fval;
    }
}

int sendMetaThunk(void *priv, int tag, const char *text)
{
    if (!text)
        return 0;
    sessionOf(priv)->out.metadata.emplace_back(tag, text);
    return 1;
}

int sendLineThunk(void *priv, int line, const void *pixels)
{
    LoadSession *s = sessionOf(priv);
    s->out.rowsReceived.push_back(line);
    LWPixmapID img = s->image;
    if (!img || !pixels || line < 0 || line >= img->height)
        return IPSTAT_FAILED;
    const std::size_t rowBytes = static_cast<std::size_t>(img->width) * img->pixelBytes;
    std::memcpy(img->bytes.data() + static_cast<std::size_t>(line) * rowBytes, pixels, rowBytes);
    return IPSTAT_OK;
}

void setMapThunk(void *priv, int index, const unsigned char rgb[3])
{
    LoadSession *s = sessionOf(priv);
    if (s->image)
        s->util.setPaletteEntry(s->image, index, rgb);
}

int protocolDoneThunk(void *priv, int error)
{
    LoadSession *s = sessionOf(priv);
    ++s->out.protocolDoneCalls;
    s->out.protocolDoneCode = error;
    return error;
}

LWImageProtocolID beginThunk(void *priv, int type)
{
    LoadSession *s = sessionOf(priv);
    ++s->out.beginCalls;
    // One image per load, of a type the host can make.
    if (s->begun || ImageUtility::pixelBytes(type) == 0)
        return nullptr;
    s->begun = true;
    s->out.imageType = type;
    LWImageProtocol &p = s->protocol;
    p.type = type;
    p.priv_data = s;
    p.done = guarded<protocolDoneThunk>;
    p.setSize = guarded<setSizeThunk>;
    p.setParam = guarded<setParamThunk>;
    p.sendMeta = guarded<sendMetaThunk>;
    p.sendLine = guarded<sendLineThunk>;
    p.setMap = guarded<setMapThunk>;
    return &p;
}

void hostDoneThunk(void *priv, LWImageProtocolID proto)
{
    LoadSession *s = sessionOf(priv);
    if (proto == &s->protocol)
        ++s->out.hostDoneCalls;
}

void monitorInit(void *data, unsigned int total) { sessionOf(data)->out.progressTotal = total; }

int monitorStep(void *data, unsigned int increment)
{
    sessionOf(data)->out.progressSteps += increment;
    return 0;
}

void monitorDone(void *data) { sessionOf(data)->out.progressDone = true; }

// A named pipe, a device or a folder given as an image: the loaders would
// wait for ever or fail obscurely. A missing file is each loader's to
// report.
void checkNotSpecial(const std::string &file)
{
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        checkInputFile(file, "image");
}

bool hasPngSignature(const std::string &file)
{
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char magic[8] = {};
    std::FILE *f = std::fopen(file.c_str(), "rb");
    if (!f)
        return false;
    const std::size_t n = std::fread(magic, 1, sizeof magic, f);
    std::fclose(f);
    return n == sizeof magic && std::memcmp(magic, kPng, sizeof magic) == 0;
}

} // namespace

void LoadedImage::adopt(ImageUtility *utility, LWPixmapID image)
{
    image_.reset();
    image_.utility = utility;
    image_.image = image;
}

void LoadedImage::release() { image_.reset(); }

void LoadedImage::OwnedImage::reset()
{
    if (utility && image)
        utility->destroy(image);
    utility = nullptr;
    image = nullptr;
}

ImageLoading::ImageLoading(Host &host) : host_(host) {}

std::vector<std::string> ImageLoading::loaders() const
{
    std::vector<std::string> out{kPngLoader};
    if (const Module *m = host_.module())
        for (const ServerEntry &e : m->servers())
            if (e.className == LWIMAGELOADER_CLASS)
                out.push_back(e.name);
    return out;
}

LoadedImage ImageLoading::load(const std::string &file)
{
    checkNotSpecial(file);
    LoadedImage out;
    for (const std::string &loader : loaders()) {
        tryLoader(loader, file, out);
        if (out.result != IPSTAT_NOREC) {
            out.loader = loader;
            break;
        }
    }
    return out;
}

LoadedImage ImageLoading::loadWith(const std::string &loader, const std::string &file)
{
    const std::vector<std::string> list = loaders();
    bool known = false;
    for (const std::string &l : list)
        known = known || l == loader;
    if (!known)
        throw HostError("There is no image loader \"" + loader + "\"");
    checkNotSpecial(file);
    LoadedImage out;
    tryLoader(loader, file, out);
    if (out.result != IPSTAT_NOREC)
        out.loader = loader;
    return out;
}

void ImageLoading::tryLoader(const std::string &loader, const std::string &file, LoadedImage &out)
{
    if (loader == kPngLoader)
        loadPng(file, out);
    else
        loadThroughModule(loader, file, out);
}

void ImageLoading::loadPng(const std::string &file, LoadedImage &out)
{
    LoaderAttempt attempt{kPngLoader, AFUNC_OK, IPSTAT_NOREC};
    out.result = IPSTAT_NOREC;
    if (!hasPngSignature(file)) {
        out.attempts.push_back(attempt);
        return;
    }
    ImageUtility &util = host_.extensions().get<ImageUtility>();
    try {
        int depth = 8;
        const Pixels<std::uint16_t> png = readPng(file, &depth);
        const bool wide = depth == 16;
        // 8-bit files keep their bytes, 16-bit files become floats.
        static const int kByteTypes[] = {0, LWIMTYP_GREY8, LWIMTYP_RGBA32, LWIMTYP_RGB24,
                                         LWIMTYP_RGBA32};
        static const int kFloatTypes[] = {0, LWIMTYP_GREYFP, LWIMTYP_RGBAFP, LWIMTYP_RGBFP,
                                          LWIMTYP_RGBAFP};
        if (png.channels < 1 || png.channels > 4)
            throw ImageFileError("it has " + std::to_string(png.channels) + " channels");
        const int type = wide ? kFloatTypes[png.channels] : kByteTypes[png.channels];
        LWPixmapID image = util.create(png.width, png.height, type);
        if (!image)
            throw ImageFileError("the host cannot make an image of " + std::to_string(png.width) +
                                 " x " + std::to_string(png.height) + " pixels");
        out.adopt(&util, image);
        out.imageType = type;
        out.width = png.width;
        out.height = png.height;
        const int outChannels = type == LWIMTYP_GREY8 || type == LWIMTYP_GREYFP ? 1
                                : type == LWIMTYP_RGB24 || type == LWIMTYP_RGBFP ? 3
                                                                                 : 4;
        for (int y = 0; y < png.height; ++y)
            for (int x = 0; x < png.width; ++x) {
                const std::uint16_t *s =
                    &png.samples[(static_cast<std::size_t>(y) * png.width + x) * png.channels];
                std::uint16_t px[4];
                if (png.channels == 2) { // grey and alpha: grey in R, G and B
                    px[0] = px[1] = px[2] = s[0];
                    px[3] = s[1];
                } else {
                    for (int c = 0; c < png.channels; ++c)
                        px[c] = s[c];
                }
                if (wide) {
                    float f[4];
                    for (int c = 0; c < outChannels; ++c)
                        f[c] = px[c] / 65535.0f;
                    util.setPixel(image, x, y, f);
                } else {
                    unsigned char b[4];
                    for (int c = 0; c < outChannels; ++c)
                        b[c] = static_cast<unsigned char>(px[c]);
                    util.setPixel(image, x, y, b);
                }
            }
        attempt.result = out.result = IPSTAT_OK;
    } catch (const ImageFileError &e) {
        out.release();
        host_.messages().post(Message::Error, ("Cannot load image \"" + file + "\" as PNG:").c_str(),
                              e.what());
        attempt.result = out.result = IPSTAT_BADFILE;
    }
    out.attempts.push_back(attempt);
}

void ImageLoading::loadThroughModule(const std::string &loader, const std::string &file,
                                     LoadedImage &out)
{
    ImageUtility &util = host_.extensions().get<ImageUtility>();
    LoadSession session{util, out};
    session.monitor = LWMonitor{&session, monitorInit, monitorStep, monitorDone};
    LWImageLoaderLocal local{};
    local.priv_data = &session;
    // A loader that never reports has not loaded anything.
    local.result = IPSTAT_FAILED;
    local.filename = file.c_str();
    local.monitor = &session.monitor;
    local.begin = guarded<beginThunk>;
    local.done = guarded<hostDoneThunk>;
    LoaderAttempt attempt{loader, AFUNC_OK, IPSTAT_FAILED};
    attempt.activation = host_.activate(LWIMAGELOADER_CLASS, loader, loaderVersion_, &local);
    attempt.result = attempt.activation == AFUNC_BADVERSION ? IPSTAT_NOREC : local.result;
    out.result = attempt.result;
    out.attempts.push_back(attempt);
    if (out.result == IPSTAT_OK && session.image)
        out.adopt(&util, session.image);
    else if (session.image)
        util.destroy(session.image);
}

} // namespace devhost

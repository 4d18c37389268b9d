// A small module for testing rendering through the host's tables:
// "BufferCopy", a filter that asks for the buffers its settings name and
// copies chosen host buffers into the output image, and
// "ProtocolRecorder(.rec)", an image saver that writes down every image
// protocol call it receives.
//
// BufferCopy settings (scene blocks):
//   { Buffers b... }  the counted list it answers (activation version 5)
//   { Mask m }        the mask it answers in version 4 (default: the bits
//                     of the listed buffers below 32)
//   { Copy r g b a }  the host buffers copied to red, green, blue, alpha
//                     (default 32 33 34 35); a null line writes 0
//   { Gain g }        factor on the copied values (default 1)
//   { Label text }    shown in the description line
//   { Fail 1 }        process throws
// After each process it sends the information line
// "BufferCopy <label> frame <f> <w>x<h>:" / "lines <buffers with a row 0>".
//
// ProtocolRecorder writes one line per call: "version V", "type T",
// "size W H", "map I R G B", "param P I F", "meta TAG TEXT",
// "line Y v...", "done CODE". RECORDER_FAIL_LINE=N makes line N fail.

#include <cstdlib>
#include <fstream>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <lwsdk/filter.h>
#include <lwsdk/imageio.h>

#include "hostkit/FilterAdaptor.h"
#include "hostkit/ImageFilterHandler.h"
#include "hostkit/Services.h"
#include "module/ServerRegistry.h"

namespace {

const LWBlockIdent kLevel[] = {{hostkit::blockId("BUFS"), "Buffers"},
                               {hostkit::blockId("MASK"), "Mask"},
                               {hostkit::blockId("COPY"), "Copy"},
                               {hostkit::blockId("GAIN"), "Gain"},
                               {hostkit::blockId("LABL"), "Label"},
                               {hostkit::blockId("FAIL"), "Fail"},
                               {0, nullptr}};

class BufferCopy : public hostkit::ImageFilterHandler {
public:
    BufferCopy(void *, void *context, std::string &) : ImageFilterHandler(context) {}

    void copy(const BufferCopy &other)
    {
        buffers_ = other.buffers_;
        mask_ = other.mask_;
        maskSet_ = other.maskSet_;
        for (int i = 0; i < 4; ++i)
            copy_[i] = other.copy_[i];
        gain_ = other.gain_;
        label_ = other.label_;
        fail_ = other.fail_;
    }

    hostkit::ErrorText load(hostkit::LoadState &state) override
    {
        while (unsigned int id = state.findBlock(kLevel)) {
            if (id == kLevel[0].id) {
                int v[256];
                const int n = state.read(v, 256);
                buffers_.assign(v, v + (n > 0 ? n : 0));
            } else if (id == kLevel[1].id) {
                unsigned int m = 0;
                if (state.read(&m, 1) == 1) {
                    mask_ = m;
                    maskSet_ = true;
                }
            } else if (id == kLevel[2].id) {
                state.read(copy_, 4);
            } else if (id == kLevel[3].id) {
                state.read(&gain_, 1);
            } else if (id == kLevel[4].id) {
                label_ = state.readString().value_or("");
            } else if (id == kLevel[5].id) {
                fail_ = state.readI4().value_or(0) != 0;
            }
            state.endBlock();
        }
        return {};
    }

    hostkit::ErrorText save(hostkit::SaveState &) override { return {}; }

    const std::string &describe() override
    {
        std::ostringstream d;
        d.imbue(std::locale::classic());
        d << "BufferCopy " << label_ << ": copies " << copy_[0] << " " << copy_[1] << " "
          << copy_[2] << " " << copy_[3] << " x" << gain_;
        description_ = d.str();
        return description_;
    }

    unsigned int flags() override
    {
        if (maskSet_)
            return mask_;
        unsigned int m = 0;
        for (int b : buffers_)
            if (b >= 0 && b < 32)
                m |= 1u << b;
        return m;
    }

    const int *hcFlags() override
    {
        list_.assign(1, static_cast<int>(buffers_.size()));
        list_.insert(list_.end(), buffers_.begin(), buffers_.end());
        return list_.data();
    }

    void process(const hostkit::FrameAccess &a) override
    {
        if (fail_)
            throw std::runtime_error("BufferCopy was told to fail");
        std::string seen;
        {
            hostkit::FrameAccess::Progress progress(a);
            progress.init(static_cast<unsigned int>(a.height()));
            for (int b = 0; b < LWBUF_COUNT; ++b)
                if (a.line(b, 0))
                    seen += " " + std::to_string(b);
            for (int y = 0; y < a.height(); ++y) {
                const float *lines[4];
                for (int c = 0; c < 4; ++c)
                    lines[c] = a.line(copy_[c], y);
                for (int x = 0; x < a.width(); ++x) {
                    float v[4];
                    for (int c = 0; c < 4; ++c)
                        v[c] = lines[c] ? lines[c][x] * gain_ : 0.0f;
                    a.setRGB(x, y, v);
                    a.setAlpha(x, y, v[3]);
                }
                progress.step(1);
            }
        }
        hostkit::LWMessage msg;
        msg.info("BufferCopy " + label_ + " frame " + std::to_string(a.frame()) + " " +
                     std::to_string(a.width()) + "x" + std::to_string(a.height()) + ":",
                 "lines" + seen);
    }

private:
    std::vector<int> buffers_;
    std::vector<int> list_;
    unsigned int mask_ = 0;
    bool maskSet_ = false;
    int copy_[4] = {LWBUF_RED, LWBUF_GREEN, LWBUF_BLUE, LWBUF_ALPHA};
    float gain_ = 1.0f;
    std::string label_ = "unnamed";
    bool fail_ = false;
};

// ---- ProtocolRecorder(.rec)

struct Recorder {
    LWImageSaverLocal *local;
    int version;
    int width = 0, height = 0;
    int failLine = -1;
    std::ostringstream log;
    Recorder() { log.imbue(std::locale::classic()); log.precision(9); }
};

int valuesPerPixel(int type)
{
    switch (type) {
    case LWIMTYP_RGB24:
    case LWIMTYP_RGBFP: return 3;
    case LWIMTYP_RGBA32:
    case LWIMTYP_RGBAFP: return 4;
    default: return 1;
    }
}

bool floatType(int type)
{
    return type == LWIMTYP_GREYFP || type == LWIMTYP_RGBFP || type == LWIMTYP_RGBAFP;
}

int recDone(void *priv, int error)
{
    auto *r = static_cast<Recorder *>(priv);
    r->log << "done " << error << "\n";
    std::ofstream out(r->local->filename, std::ios::binary | std::ios::trunc);
    out << r->log.str();
    out.close();
    if (!out)
        return IPSTAT_BADFILE;
    return error;
}

void recSetSize(void *priv, int w, int h)
{
    auto *r = static_cast<Recorder *>(priv);
    r->width = w;
    r->height = h;
    r->log << "size " << w << " " << h << "\n";
}

void recSetParam(void *priv, int param, int ival, float fval)
{
    static_cast<Recorder *>(priv)->log << "param " << param << " " << ival << " " << fval << "\n";
}

int recSendMeta(void *priv, int tag, const char *text)
{
    static_cast<Recorder *>(priv)->log << "meta " << tag << " " << (text ? text : "") << "\n";
    return 1;
}

int recSendLine(void *priv, int line, const void *pixels)
{
    auto *r = static_cast<Recorder *>(priv);
    const int type = r->local->type;
    const int n = r->width * valuesPerPixel(type);
    r->log << "line " << line;
    for (int i = 0; i < n; ++i) {
        if (floatType(type))
            r->log << " " << static_cast<const float *>(pixels)[i];
        else
            r->log << " " << static_cast<int>(static_cast<const unsigned char *>(pixels)[i]);
    }
    r->log << "\n";
    return line == r->failLine ? IPSTAT_FAILED : IPSTAT_OK;
}

void recSetMap(void *priv, int index, const unsigned char rgb[3])
{
    static_cast<Recorder *>(priv)->log << "map " << index << " " << int(rgb[0]) << " "
                                        << int(rgb[1]) << " " << int(rgb[2]) << "\n";
}

int activateRecorder(int version, GlobalFunc, void *local, void *)
{
    if (version != 2 && version != 3)
        return AFUNC_BADVERSION;
    auto *l = static_cast<LWImageSaverLocal *>(local);
    if (!l || !l->sendData || !l->filename)
        return AFUNC_BADLOCAL;
    Recorder r;
    r.local = l;
    r.version = version;
    if (const char *f = std::getenv("RECORDER_FAIL_LINE"))
        r.failLine = std::atoi(f);
    r.log << "version " << version << "\n" << "type " << l->type << "\n";
    LWImageProtocol proto{};
    proto.type = l->type;
    proto.priv_data = &r;
    proto.done = recDone;
    proto.setSize = recSetSize;
    if (version == 2)
        proto.setParam = recSetParam;
    else
        proto.sendMeta = recSendMeta;
    proto.sendLine = recSendLine;
    proto.setMap = recSetMap;
    l->result = l->sendData(l->priv_data, &proto, 0);
    return AFUNC_OK;
}

ServerTagInfo kTags[] = {{"Render test", SRVTAG_USERNAME}, {nullptr, 0}};

ravelcast::ServerRegistration filter(1, LWIMAGEFILTER_HCLASS, "BufferCopy",
                                     hostkit::ImageFilterAdaptor<BufferCopy>::activate, kTags);
ravelcast::ServerRegistration second(2, LWIMAGEFILTER_HCLASS, "BufferCopyToo",
                                     hostkit::ImageFilterAdaptor<BufferCopy>::activate, kTags);
ravelcast::ServerRegistration recorder(3, LWIMAGESAVER_CLASS, "ProtocolRecorder(.rec)",
                                       activateRecorder, kTags);

} // namespace

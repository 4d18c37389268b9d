// The saver, loader and master driven through the real module (dlopen'd by
// the development host), and files read back with the OpenEXR library.
#ifndef RAVELCAST_TESTS_EXRIO_IMAGEIOTEST_H
#define RAVELCAST_TESTS_EXRIO_IMAGEIOTEST_H

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>

#include <lwsdk/imageio.h>

#include "ExrReadBack.h"
#include "TestSupport.h"
#include "devhost/tools/Convert.h"
#include "devhost/GlobalMemory.h"
#include "devhost/ImageLoading.h"
#include "devhost/ImageUtility.h"

namespace imageio {

using testsupport::ExrChannel;

inline Imf::Header readHeader(const std::string &path) { return testsupport::readExrHeader(path); }
inline std::vector<std::string> channelNames(const Imf::Header &h)
{
    return testsupport::exrChannelNames(h);
}
// The channel of the given part as the library reads it (deep parts
// flattened by the library).
inline ExrChannel readChannel(const std::string &path, const std::string &name, int part = 0)
{
    return testsupport::readExrChannel(path, name, 0.0f, part);
}

// The module's saver settings record as it lies in the host's global memory
// (three 32-bit numbers: compression, pixel type, reserved): tests read it,
// and damage it the way no user could.
struct SaverRecord {
    std::int32_t compression = 0, pixelType = 0, reserved = 0;
};

inline std::optional<SaverRecord> saverRecord(devhost::Host &host)
{
    auto &pool = host.extensions().get<devhost::GlobalMemory>();
    void *block = pool.find("OpenEXRSaverSettings");
    if (!block || pool.size(block) < static_cast<int>(sizeof(SaverRecord)))
        return std::nullopt;
    SaverRecord r;
    std::memcpy(&r, block, sizeof r);
    return r;
}

inline void damageSaverRecord(devhost::Host &host, std::int32_t compression)
{
    auto &pool = host.extensions().get<devhost::GlobalMemory>();
    void *block = pool.find("OpenEXRSaverSettings");
    ASSERT_NE(block, nullptr);
    std::memcpy(block, &compression, sizeof compression);
}

inline std::uint32_t floatBits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

class ImageIOTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        load();
    }

    devhost::ImageUtility &util() { return host().extensions().get<devhost::ImageUtility>(); }

    // A host image of the type with the given pixel bytes, row after row.
    LWPixmapID image(int type, int width, int height, const void *pixels)
    {
        LWPixmapID img = util().create(width, height, type);
        const int bytes = devhost::ImageUtility::pixelBytes(type);
        const auto *p = static_cast<const unsigned char *>(pixels);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                util().setPixel(img, x, y,
                                p + (static_cast<std::size_t>(y) * width + x) * bytes);
        return img;
    }

    // Saves through the host's image utility (activation version 3 unless
    // set otherwise) and destroys the image.
    int save(LWPixmapID img, const std::string &saver, const std::string &file)
    {
        const int index = util().findSaver(saver);
        EXPECT_GE(index, 0) << saver;
        const int result = util().save(img, index, file.c_str());
        util().destroy(img);
        return result;
    }

    std::string lastError() const
    {
        auto e = messages(devhost::Message::Error);
        return e.empty() ? std::string() : e.back();
    }

    testsupport::TempDir dir;
};

// Drives a saver's protocol by hand: the host's side is the send function,
// called with the protocol the saver hands over.
struct ManualSave {
    int activation = -1;
    int result = -1;
    LWImageProtocol protocol{}; // a copy of what the saver handed over
};

inline ManualSave saveManually(devhost::Host &host, const std::string &saver, int version, int type,
                               const std::string &file,
                               std::function<int(LWImageProtocolID)> send)
{
    struct Data {
        std::function<int(LWImageProtocolID)> send;
        LWImageProtocol seen{};
    } data{std::move(send)};
    LWImageSaverLocal local{};
    local.priv_data = &data;
    local.result = -1;
    local.type = type;
    local.filename = file.c_str();
    local.sendData = [](void *priv, LWImageProtocolID p, int) {
        auto *d = static_cast<Data *>(priv);
        d->seen = *p;
        return d->send(p);
    };
    ManualSave out;
    out.activation = host.activate(LWIMAGESAVER_CLASS, saver, version, &local);
    out.result = local.result;
    out.protocol = data.seen;
    return out;
}

} // namespace imageio

#endif

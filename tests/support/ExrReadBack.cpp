#include "ExrReadBack.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>

namespace testsupport {

Imf::Header readExrHeader(const std::string &path)
{
    Imf::InputFile in(path.c_str());
    return in.header();
}

std::vector<std::string> exrChannelNames(const Imf::Header &header)
{
    std::vector<std::string> names;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
        names.push_back(it.name());
    return names;
}

ExrChannel readExrChannel(const std::string &path, const std::string &name, float fill, int part)
{
    Imf::MultiPartInputFile file(path.c_str());
    Imf::InputPart in(file, part);
    ExrChannel c;
    c.window = in.header().dataWindow();
    const std::size_t n = static_cast<std::size_t>(c.width()) * static_cast<std::size_t>(c.height());
    c.values.assign(n, fill);
    const Imf::Channel *channel = in.header().channels().findChannel(name);
    if (!channel)
        return c;
    c.present = true;
    c.type = channel->type;
    // Slices are addressed from the data window's origin.
    const std::ptrdiff_t origin = static_cast<std::ptrdiff_t>(c.window.min.y) * c.width() +
                                  c.window.min.x;
    const std::size_t row = static_cast<std::size_t>(c.width()) * 4;
    Imf::FrameBuffer fb;
    fb.insert(name, Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(c.values.data() - origin), 4, row));
    in.setFrameBuffer(fb);
    in.readPixels(c.window.min.y, c.window.max.y);
    if (c.type == Imf::UINT) {
        c.uints.assign(n, 0);
        Imf::FrameBuffer exact;
        exact.insert(name,
                     Imf::Slice(Imf::UINT, reinterpret_cast<char *>(c.uints.data() - origin), 4, row));
        in.setFrameBuffer(exact);
        in.readPixels(c.window.min.y, c.window.max.y);
    }
    return c;
}

} // namespace testsupport

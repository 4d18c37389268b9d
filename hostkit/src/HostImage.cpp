#include "hostkit/HostImage.h"

#include <stdexcept>

namespace hostkit {

HostImage::HostImage(int width, int height, Type type, const std::string &fileName)
    : fileName_(fileName)
{
    if (!images_.available() || !images_->create || !images_->save)
        throw std::runtime_error("Cannot save \"" + fileName + "\": the host offers no image saving");
    const int hostType = type == Grey ? LWIMTYP_GREYFP : type == Rgb ? LWIMTYP_RGBFP : LWIMTYP_RGBAFP;
    image_ = images_->create(width, height, hostType);
    if (!image_)
        throw std::runtime_error("Cannot save \"" + fileName + "\": the host made no image");
}

HostImage::~HostImage()
{
    if (image_ && images_->destroy)
        images_->destroy(image_);
}

void HostImage::setPixel(int x, int y, const float rgba[4]) const
{
    if (images_->setPixel)
        images_->setPixel(image_, x, y, rgba);
}

void HostImage::save(int saver) const
{
    const int result = images_->save(image_, saver, fileName_.c_str());
    if (result != IPSTAT_OK)
        throw std::runtime_error("Cannot save \"" + fileName_ + "\" with the image saver \"" +
                                 images_.saverName(saver) + "\" (result " + std::to_string(result) +
                                 ")");
}

} // namespace hostkit

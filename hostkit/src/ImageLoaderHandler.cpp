#include "hostkit/ImageLoaderHandler.h"

namespace hostkit {

ImageLoaderHandler::ImageLoaderHandler(int version, LWImageLoaderLocal *access)
    : version_(version), access_(access)
{
}

ImageLoaderHandler::~ImageLoaderHandler() { finish(IPSTAT_FAILED); }

void ImageLoaderHandler::finish(int result) noexcept
{
    if (finished_)
        return;
    finished_ = true;
    if (progressStarted_ && access_->monitor && access_->monitor->done)
        access_->monitor->done(access_->monitor->data);
    if (!protocol_)
        return;
    // The host owns the image it began; it must get it back to free it.
    if (protocol_->done)
        protocol_->done(protocol_->priv_data, result);
    if (access_->done)
        access_->done(access_->priv_data, protocol_);
}

bool ImageLoaderHandler::beginImage(int type)
{
    if (protocol_ || !access_->begin)
        return false;
    protocol_ = access_->begin(access_->priv_data, type);
    return protocol_ != nullptr;
}

void ImageLoaderHandler::setSize(int width, int height)
{
    if (protocol_ && protocol_->setSize)
        protocol_->setSize(protocol_->priv_data, width, height);
}

void ImageLoaderHandler::setParameter(int param, int ival, float fval)
{
    if (protocol_ && protocol_->setParam)
        protocol_->setParam(protocol_->priv_data, param, ival, fval);
}

int ImageLoaderHandler::sendMetadata(int tag, const std::string &text)
{
    if (!protocol_ || !protocol_->sendMeta)
        return 0;
    return protocol_->sendMeta(protocol_->priv_data, tag, text.c_str());
}

int ImageLoaderHandler::sendLine(int row, const void *pixels)
{
    if (!protocol_ || !protocol_->sendLine)
        return IPSTAT_FAILED;
    return protocol_->sendLine(protocol_->priv_data, row, pixels);
}

void ImageLoaderHandler::startProgress(unsigned int total)
{
    LWMonitor *m = access_->monitor;
    if (!m || !m->init)
        return;
    m->init(m->data, total);
    progressStarted_ = true;
}

bool ImageLoaderHandler::stepProgress()
{
    LWMonitor *m = access_->monitor;
    if (!progressStarted_ || !m->step)
        return true;
    return m->step(m->data, 1) == 0;
}

} // namespace hostkit

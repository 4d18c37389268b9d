#include "hostkit/ImageSaverHandler.h"

namespace hostkit {

namespace {

ImageSaverHandler *saverOf(void *priv) { return static_cast<ImageSaverHandler *>(priv); }

// The host calls these from C; nothing may be thrown back into it. A
// failure answers the code that stops the host's sending.
int doneThunk(void *priv, int error)
{
    return guarded("An exception occured in ImageSaver::Done():", IPSTAT_FAILED,
                   [&] { return priv ? saverOf(priv)->done(error) : IPSTAT_FAILED; });
}

void setSizeThunk(void *priv, int width, int height)
{
    guardedVoid("An exception occured in ImageSaver::SetSize():", [&] {
        if (priv)
            saverOf(priv)->setSize(width, height);
    });
}

void setParamThunk(void *priv, int param, int ival, float fval)
{
    guardedVoid("An exception occured in ImageSaver::SetParam():", [&] {
        if (priv)
            saverOf(priv)->setParameter(param, ival, fval);
    });
}

int sendMetaThunk(void *priv, int tag, const char *text)
{
    return guarded("An exception occured in ImageSaver::SendMeta():", 0, [&] {
        return priv && text ? saverOf(priv)->metadataItem(tag, text) : 0;
    });
}

int sendLineThunk(void *priv, int line, const void *pixels)
{
    return guarded("An exception occured in ImageSaver::SendLine():", IPSTAT_FAILED, [&] {
        return priv && pixels ? saverOf(priv)->sendLine(line, pixels) : IPSTAT_FAILED;
    });
}

void setMapThunk(void *priv, int index, const unsigned char rgb[3])
{
    guardedVoid("An exception occured in ImageSaver::SetMap():", [&] {
        if (priv && rgb)
            saverOf(priv)->setMap(index, rgb);
    });
}

} // namespace

ImageSaverHandler::ImageSaverHandler(int protocolType, LWImageSaverLocal *local)
    : protocolType_(protocolType), local_(local)
{
}

ImageSaverHandler::~ImageSaverHandler() = default;

void ImageSaverHandler::setupProtocol(LWImageProtocol &p)
{
    p = LWImageProtocol{};
    p.type = imageType();
    p.priv_data = this;
    p.done = doneThunk;
    p.setSize = setSizeThunk;
    if (protocolType_ == 2)
        p.setParam = setParamThunk;
    else
        p.sendMeta = sendMetaThunk;
    p.sendLine = sendLineThunk;
    p.setMap = setMapThunk;
}

void ImageSaverHandler::run()
{
    if (!local_)
        return;
    local_->result = IPSTAT_FAILED;
    fileName_ = local_->filename ? local_->filename : "";
    if (protocolType_ != 2 && protocolType_ != 3)
        return;
    // Anything thrown from here on leaves the failure code in place.
    setupProtocol(protocol_);
    if (!local_->sendData) {
        // A host that cannot send the image has not had it saved.
        return;
    }
    local_->result = IPSTAT_OK;
    local_->result = local_->sendData(local_->priv_data, &protocol_, 0);
}

void ImageSaverHandler::setMap(int, const unsigned char[3]) {}

} // namespace hostkit

#include "hostkit/PreviewDisplay.h"

#include "hostkit/ExceptionBarrier.h"

namespace hostkit {

PreviewDisplay::~PreviewDisplay()
{
    if (id_ && service_.table()->unsubscribe)
        service_.table()->unsubscribe(id_);
}

bool PreviewDisplay::subscribe(const char *title)
{
    const LWPreviewFuncs *f = service_.table();
    if (id_ || !f || !f->subscribe)
        return id_ != nullptr;
    id_ = f->subscribe(title, this, closeThunk);
    if (!id_)
        return false;
    f->setClick(id_, clickThunk);
    f->setResize(id_, resizeThunk);
    return true;
}

bool PreviewDisplay::isOpen() const { return id_ && service_.table()->isOpen(id_); }

void PreviewDisplay::open()
{
    if (id_)
        service_.table()->open(id_);
}

void PreviewDisplay::close()
{
    if (id_)
        service_.table()->close(id_);
}

void PreviewDisplay::setChoices(const char *const *choices, int current)
{
    if (id_)
        service_.table()->setChoices(id_, choices, current, choiceThunk);
}

void PreviewDisplay::initBuffer(int width, int height)
{
    if (id_)
        service_.table()->initBuffer(id_, width, height);
}

void PreviewDisplay::setPixel(int x, int y, int r, int g, int b)
{
    service_.table()->setPixel(id_, x, y, r, g, b);
}

void PreviewDisplay::draw()
{
    if (id_)
        service_.table()->draw(id_);
}

void PreviewDisplay::clicked(int, int) {}
void PreviewDisplay::chosen(int) {}
void PreviewDisplay::resized(int, int) {}

// The host calls these on its interface thread; nothing may escape.
void PreviewDisplay::closeThunk(void *) {}

void PreviewDisplay::clickThunk(void *data, int x, int y)
{
    guardedVoid("An exception occured in Preview::Click():", [&] {
        if (data)
            static_cast<PreviewDisplay *>(data)->clicked(x, y);
    });
}

void PreviewDisplay::choiceThunk(void *data, int choice)
{
    guardedVoid("An exception occured in Preview::Choice():", [&] {
        if (data)
            static_cast<PreviewDisplay *>(data)->chosen(choice);
    });
}

void PreviewDisplay::resizeThunk(void *data, int width, int height)
{
    guardedVoid("An exception occured in Preview::Resize():", [&] {
        if (data)
            static_cast<PreviewDisplay *>(data)->resized(width, height);
    });
}

} // namespace hostkit

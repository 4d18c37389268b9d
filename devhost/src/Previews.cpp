#include "devhost/Previews.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <cstdint>

#include "devhost/Host.h"

namespace devhost {

namespace {

constexpr std::uintptr_t kPreviewBase = 0x50560000;

Previews &family()
{
    Host *h = Host::current();
    if (!h)
        throw HostError("no host");
    return Previews::of(*h);
}

PreviewWindow *win(LWPreviewID id) { return family().window(id); }

LWPreviewID subscribeThunk(const char *title, void *data, LWPreviewCloseFunc close)
{
    return family().subscribe(title, data, close);
}
void unsubscribeThunk(LWPreviewID id) { family().unsubscribe(id); }
void initBufferThunk(LWPreviewID id, int width, int height)
{
    PreviewWindow *w = win(id);
    if (!w || width < 0 || height < 0 || width > 8192 || height > 8192)
        return;
    w->width = width;
    w->height = height;
    w->pixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
}
void setPixelThunk(LWPreviewID id, int x, int y, int r, int g, int b)
{
    PreviewWindow *w = win(id);
    if (!w || x < 0 || y < 0 || x >= w->width || y >= w->height)
        return;
    unsigned char *p = &w->pixels[(static_cast<std::size_t>(y) * w->width + x) * 3];
    p[0] = static_cast<unsigned char>(std::clamp(r, 0, 255));
    p[1] = static_cast<unsigned char>(std::clamp(g, 0, 255));
    p[2] = static_cast<unsigned char>(std::clamp(b, 0, 255));
}
void drawThunk(LWPreviewID id)
{
    if (PreviewWindow *w = win(id)) {
        w->shown = w->pixels;
        ++w->draws;
    }
}
void setClickThunk(LWPreviewID id, LWPreviewClickFunc f)
{
    if (PreviewWindow *w = win(id))
        w->click = f;
}
void setResizeThunk(LWPreviewID id, LWPreviewResizeFunc f)
{
    if (PreviewWindow *w = win(id))
        w->resize = f;
}
void setChoicesThunk(LWPreviewID id, const char *const *items, int current,
                     LWPreviewChoiceFunc f)
{
    PreviewWindow *w = win(id);
    if (!w)
        return;
    w->choices.clear();
    for (const char *const *i = items; i && *i; ++i)
        w->choices.push_back(*i);
    w->current = current;
    w->choose = f;
}
void openThunk(LWPreviewID id)
{
    if (PreviewWindow *w = win(id))
        w->open = true;
}
void closeThunk(LWPreviewID id)
{
    if (PreviewWindow *w = win(id))
        w->open = false;
}
int isOpenThunk(LWPreviewID id)
{
    PreviewWindow *w = win(id);
    return w && w->open ? 1 : 0;
}

} // namespace

Previews::Previews(Host &host) : host_(host)
{
    table_ = {guarded<subscribeThunk>, guarded<unsubscribeThunk>, guarded<initBufferThunk>,
              guarded<setPixelThunk>,  guarded<drawThunk>,        guarded<setClickThunk>,
              guarded<setResizeThunk>, guarded<setChoicesThunk>,  guarded<openThunk>,
              guarded<closeThunk>,     guarded<isOpenThunk>};
    host_.services().offerTable(LWPREVIEWFUNCS_GLOBAL, &table_);
}

Previews::~Previews() { host_.services().withdraw(LWPREVIEWFUNCS_GLOBAL); }

Previews &Previews::of(Host &host) { return host.extensions().get<Previews>(); }

LWPreviewID Previews::subscribe(const char *title, void *data, LWPreviewCloseFunc close)
{
    auto w = std::make_unique<PreviewWindow>();
    w->title = title ? title : "";
    w->userData = data;
    w->close = close;
    auto id = reinterpret_cast<LWPreviewID>(kPreviewBase + next_++);
    windows_[id] = std::move(w);
    return id;
}

void Previews::unsubscribe(LWPreviewID id) { windows_.erase(id); }

PreviewWindow *Previews::window(LWPreviewID id)
{
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second.get();
}

PreviewWindow &Previews::find(const std::string &title)
{
    for (auto &[id, w] : windows_)
        if (w->title == title)
            return *w;
    throw HostError("no preview window \"" + title + "\" (the filter makes it with its panel)");
}

PreviewWindow &Previews::only()
{
    if (windows_.empty())
        throw HostError("no preview window is open (open the filter's panel and press "
                        "\"Toggle VIPER\")");
    return *windows_.begin()->second;
}

void Previews::click(PreviewWindow &w, int x, int y)
{
    if (!w.open)
        throw HostError("the preview window \"" + w.title + "\" is closed");
    if (x < 0 || y < 0 || x >= w.windowWidth || y >= w.windowHeight)
        throw HostError("(" + std::to_string(x) + ", " + std::to_string(y) +
                        ") is outside the preview window (" + std::to_string(w.windowWidth) +
                        " x " + std::to_string(w.windowHeight) + ")");
    if (w.click)
        w.click(w.userData, x, y);
}

void Previews::choose(PreviewWindow &w, int choice)
{
    if (choice < 0 || choice >= static_cast<int>(w.choices.size()))
        throw HostError("the preview window has no choice " + std::to_string(choice) + " (" +
                        std::to_string(w.choices.size()) + " choices)");
    w.current = choice;
    if (w.choose)
        w.choose(w.userData, choice);
}

void Previews::resize(PreviewWindow &w, int width, int height)
{
    if (width < 64 || height < 48 || width > 4096 || height > 4096)
        throw HostError("a preview window is 64 x 48 to 4096 x 4096 pixels");
    w.windowWidth = width;
    w.windowHeight = height;
    if (w.resize)
        w.resize(w.userData, width, height);
}

void Previews::closeByUser(PreviewWindow &w)
{
    w.open = false;
    if (w.close)
        w.close(w.userData);
}

} // namespace devhost

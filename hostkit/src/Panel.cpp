#include "hostkit/Panel.h"

#include "hostkit/ExceptionBarrier.h"

namespace hostkit {

void LWPanelCallbacks::draw(LWPanel &, int) {}
void LWPanelCallbacks::open(LWPanel &) {}
void LWPanelCallbacks::activate(LWPanel &) {}
void LWPanelCallbacks::close(LWPanel &) {}
int LWPanelCallbacks::keyDown(LWPanel &, unsigned short) { return 0; }
int LWPanelCallbacks::keyUp(LWPanel &, unsigned short) { return 0; }
void LWPanelCallbacks::mouseButton(LWPanel &, int, int, int) {}
void LWPanelCallbacks::mouseMove(LWPanel &, int, int, int) {}

const char *LWPanelListCallBacks::nameForHost(int index)
{
    std::string &kept = hostNames_[index];
    kept = name(index);
    return kept.c_str();
}

int LWPanelListCallBacks::countForHost()
{
    hostNames_.clear();
    return count();
}

namespace {

LWPanelCallbacks *callbacksOf(void *data) { return static_cast<LWPanelCallbacks *>(data); }

// Every event reaches the callbacks object with a view of the panel.
template <class F> void event(const char *headline, LWPanelID id, void *data, F &&f)
{
    guardedVoid(headline, [&] {
        if (LWPanelCallbacks *cb = callbacksOf(data)) {
            LWPanel view(id);
            f(*cb, view);
        }
    });
}

void drawThunk(LWPanelID id, void *data, int mode)
{
    event("An exception occured in LWPanel::Draw():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) { cb.draw(p, mode); });
}
void openThunk(LWPanelID id, void *data)
{
    event("An exception occured in LWPanel::Open():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) { cb.open(p); });
}
void activateThunk(LWPanelID id, void *data)
{
    event("An exception occured in LWPanel::Activate():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) { cb.activate(p); });
}
void closeThunk(LWPanelID id, void *data)
{
    event("An exception occured in LWPanel::Close():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) { cb.close(p); });
}
int keyDownThunk(LWPanelID id, void *data, int key)
{
    int result = 0;
    event("An exception occured in LWPanel::KeyDown():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) {
              result = cb.keyDown(p, static_cast<unsigned short>(key));
          });
    return result;
}
int keyUpThunk(LWPanelID id, void *data, int key)
{
    int result = 0;
    event("An exception occured in LWPanel::KeyUp():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) {
              result = cb.keyUp(p, static_cast<unsigned short>(key));
          });
    return result;
}
void mouseButtonThunk(LWPanelID id, void *data, int qualifiers, int x, int y)
{
    event("An exception occured in LWPanel::MouseButton():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) { cb.mouseButton(p, qualifiers, x, y); });
}
void mouseMoveThunk(LWPanelID id, void *data, int qualifiers, int x, int y)
{
    event("An exception occured in LWPanel::MouseMove():", id, data,
          [&](LWPanelCallbacks &cb, LWPanel &p) { cb.mouseMove(p, qualifiers, x, y); });
}

template <class F> LWPanelFunc asFunction(F *f) { return reinterpret_cast<LWPanelFunc>(f); }

// The list box's user data is the control itself: its panel's user data is
// the object that feeds the list.
LWPanelListCallBacks *listOf(void *control)
{
    auto *panel = static_cast<LWPanelID>(controlPointer(static_cast<LWControl *>(control),
                                                        CTL_PANEL));
    if (!panel)
        return nullptr;
    LWPanel view(panel);
    return static_cast<LWPanelListCallBacks *>(view.getPointer(PAN_USERDATA));
}

int listCountThunk(void *control)
{
    GlobalBase<LWPanelFuncs> hold;
    return guarded("An exception occured in ListBox::Count():", 0, [&] {
        LWPanelListCallBacks *list = control ? listOf(control) : nullptr;
        return list ? list->countForHost() : 0;
    });
}

const char *listNameThunk(void *control, int index)
{
    GlobalBase<LWPanelFuncs> hold;
    return guarded("An exception occured in ListBox::Name():", static_cast<const char *>(""),
                   [&]() -> const char * {
                       LWPanelListCallBacks *list = control ? listOf(control) : nullptr;
                       return list ? list->nameForHost(index) : "";
                   });
}

void canvasDrawThunk(LWControl *control, void *data, int)
{
    GlobalBase<LWPanelFuncs> hold;
    guardedVoid("An exception occured in AboutPanel::Draw():", [&] {
        if (data)
            static_cast<const AboutPanel *>(data)->drawPicture(control);
    });
}

} // namespace

// ---- LWPanel

LWPanel::LWPanel(const std::string &title) : owns_(true), title_(title)
{
    if (available() && table()->create)
        id_ = table()->create(title_.c_str(), table());
    if (!id_)
        owns_ = false;
}

LWPanel::LWPanel(LWPanelID id) : id_(id), owns_(false) {}

LWPanel::~LWPanel()
{
    if (owns_ && id_ && available() && table()->destroy)
        table()->destroy(id_);
}

void LWPanel::setCallbacks(LWPanelCallbacks *callbacks)
{
    if (!id_)
        return;
    setPointer(PAN_USERDATA, callbacks);
    setFunction(PAN_USERDRAW, asFunction(drawThunk));
    setFunction(PAN_MOUSEBUTTON, asFunction(mouseButtonThunk));
    setFunction(PAN_MOUSEMOVE, asFunction(mouseMoveThunk));
    setFunction(PAN_USEROPEN, asFunction(openThunk));
    setFunction(PAN_USERACTIVATE, asFunction(activateThunk));
    setFunction(PAN_USERCLOSE, asFunction(closeThunk));
    setFunction(PAN_USERKEYS, asFunction(keyDownThunk));
    setFunction(PAN_USERKEYUPS, asFunction(keyUpThunk));
}

int LWPanel::open(int flags) { return id_ ? table()->open(id_, flags) : 0; }

void LWPanel::close()
{
    if (id_ && table()->close)
        table()->close(id_);
}

void LWPanel::redraw(int mode)
{
    if (id_ && table()->draw)
        table()->draw(id_, mode);
}

int LWPanel::getInt(int tag) const
{
    LWValue v{};
    if (id_)
        table()->get(id_, tag, &v);
    return v.intv;
}

void LWPanel::setInt(int tag, int value)
{
    LWValue v{};
    v.intv = value;
    if (id_)
        table()->set(id_, tag, &v);
}

void *LWPanel::getPointer(int tag) const
{
    LWValue v{};
    if (id_)
        table()->get(id_, tag, &v);
    return v.ptr;
}

void LWPanel::setPointer(int tag, void *value)
{
    LWValue v{};
    v.ptr = value;
    if (id_)
        table()->set(id_, tag, &v);
}

void LWPanel::setFunction(int tag, LWPanelFunc function)
{
    LWValue v{};
    v.func = function;
    if (id_)
        table()->set(id_, tag, &v);
}

LWControl *LWPanel::addCanvas(int width, int height, const char *label)
{
    if (!id_)
        return nullptr;
    LWPanControlDesc d{};
    d.canvas = {LWT_CANVAS, width, height};
    return table()->addControl(id_, "CanvasControl", &d, label);
}

LWControl *LWPanel::addText(const char *const *lines, const char *label)
{
    if (!id_)
        return nullptr;
    LWPanControlDesc d{};
    d.text = {LWT_TEXT, lines};
    return table()->addControl(id_, "TextControl", &d, label);
}

LWControl *LWPanel::addListBox(int width, int visibleLines, LWPanelListCallBacks *source,
                               const char *label)
{
    if (!id_)
        return nullptr;
    setPointer(PAN_USERDATA, source);
    LWPanControlDesc d{};
    d.listbox = {LWT_LISTBOX, width, listNameThunk, listCountThunk, visibleLines, 0};
    LWControl *list = table()->addControl(id_, "ListBoxControl", &d, label);
    controlSetPointer(list, CTL_USERDATA, list);
    return list;
}

const LWDrawFuncs *LWPanel::drawing() const { return available() ? table()->drawFuncs : nullptr; }

// ---- controls

int controlInt(LWControl *control, int tag)
{
    LWValue v{};
    if (control && control->get)
        control->get(control, tag, &v);
    return v.intv;
}

void controlSetInt(LWControl *control, int tag, int value)
{
    LWValue v{};
    v.intv = value;
    if (control && control->set)
        control->set(control, tag, &v);
}

void *controlPointer(LWControl *control, int tag)
{
    LWValue v{};
    if (control && control->get)
        control->get(control, tag, &v);
    return v.ptr;
}

void controlSetPointer(LWControl *control, int tag, void *value)
{
    LWValue v{};
    v.ptr = value;
    if (control && control->set)
        control->set(control, tag, &v);
}

// ---- LogPanel

void LogPanel::open(const std::string &listTitle)
{
    if (!id())
        return;
    list_ = addListBox(listWidth_, visibleLines_, this, listTitle.c_str());
    LWPanel::open(PANF_BLOCKING | PANF_FRAME);
}

// ---- AboutPanel

AboutPanel::AboutPanel(const std::string &title, const std::vector<std::string> &lines,
                       const unsigned char *picture, int pictureWidth, int pictureHeight)
    : LWPanel(title), lines_(lines), picture_(picture), pictureWidth_(pictureWidth),
      pictureHeight_(pictureHeight)
{
    if (!id())
        return;
    for (const std::string &l : lines_)
        linePointers_.push_back(l.c_str());
    linePointers_.push_back(nullptr);
    canvas_ = addCanvas(pictureWidth_, pictureHeight_);
    addText(linePointers_.data());
    // The canvas spans the panel, so the picture sits in its middle.
    const int w1 = getInt(PAN_W);
    controlSetInt(canvas_, CTL_W, w1);
    const int w2 = getInt(PAN_W);
    controlSetInt(canvas_, CTL_X, (w2 - w1) / 2 + 6);
    controlSetPointer(canvas_, CTL_USERDATA, this);
    LWValue draw{};
    draw.func = asFunction(canvasDrawThunk);
    if (canvas_ && canvas_->set)
        canvas_->set(canvas_, CTL_USERDRAW, &draw);
}

void AboutPanel::drawPicture(LWControl *canvas) const
{
    const LWDrawFuncs *df = drawing();
    if (!df || !canvas)
        return;
    const int x = controlInt(canvas, CTL_HOTX);
    const int y = controlInt(canvas, CTL_HOTY);
    const int w = controlInt(canvas, CTL_HOTW);
    const int h = controlInt(canvas, CTL_HOTH);
    LWPanelID panel = static_cast<LWPanelID>(controlPointer(canvas, CTL_PANEL));
    df->drawRGBBox(panel, 255, 255, 255, x, y, w, h);
    if (!picture_)
        return;
    forEachPicturePixel(picture_, pictureWidth_, pictureHeight_, x + (w - pictureWidth_) / 2,
                        y + (h - pictureHeight_) / 2, [&](int r, int g, int b, int px, int py) {
                            df->drawRGBPixel(panel, r, g, b, px, py);
                        });
}

} // namespace hostkit

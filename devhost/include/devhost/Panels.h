// The host's panels: XPanels ("LWXPanel"), classic panels
// ("LWPanelServices"), the file requester ("File Request 2") and the
// answers a script queues for forms and file requesters. Panels are real:
// values are read and written only through the panel's own callbacks,
// buttons and popup commands run the module's functions, and every panel
// can be drawn to a PNG as a user would see it.
#ifndef DEVHOST_PANELS_H
#define DEVHOST_PANELS_H

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <lwsdk/filereq.h>
#include <lwsdk/panel.h>
#include <lwsdk/xpanel.h>

#include "devhost/Extensions.h"
#include "devhost/Host.h"

namespace devhost {

class PanelError : public HostError {
public:
    using HostError::HostError;
};

// ---- XPanels

struct XControl {
    unsigned int id = 0;
    std::string label;
    std::string kind;     // "iBoolean", "iPopChoice", "vButton", ...
    std::string dataType; // of its data entry; empty without one
    LWXPanelPopCountFunc count = nullptr;
    LWXPanelPopNameFunc name = nullptr;
    LWXPanelPopCmdFunc command = nullptr;
    LWXPanelButtonFunc button = nullptr;
    LWXPanelDrawFunc draw = nullptr;
    std::optional<std::vector<std::string>> items; // a fixed list
    // The requester of a file name control.
    int requestType = 0;
    std::string requestTitle, requestFileType;

    // The type of its value: its data entry's, else what its kind stands
    // for ("integer", "float", "string"); empty when it has none.
    std::string valueType() const;
    // Whether values of that type are doubles.
    static bool floatType(const std::string &type)
    {
        return type == "float" || type == "float-env";
    }
};

struct XEnableRule {
    unsigned int controller = 0;
    int comparison = XPENABLE_NOTEQUAL;
    int value = 0;
    std::vector<int> map; // XPENABLE_MAP: an entry per controller value
    std::vector<unsigned int> ids;
    std::string message;
};

struct XPanelRecord {
    LWXPanelID id = nullptr;
    int type = LWXP_VIEW;
    std::vector<XControl> controls;
    std::map<unsigned int, std::string> labels; // 0: the title
    std::map<unsigned int, std::vector<unsigned int>> groups, tabRows, links;
    std::vector<unsigned int> order;
    std::vector<XEnableRule> rules;
    std::map<unsigned int, unsigned int> chosenPage; // tab row -> page
    LWXPanelGetFunc get = nullptr;
    LWXPanelSetFunc set = nullptr;
    void *instance = nullptr;
    std::map<unsigned int, void *> userData;
    LWXPanelChangeFunc change = nullptr;
    LWXPanelDestroyFunc destroyNotify = nullptr;
    // A form's values, kept in the panel.
    struct Value {
        int i = 0;
        double f = 0;
        std::string s;
    };
    std::map<unsigned int, Value> form;
    int refreshes = 0;

    XControl *control(unsigned int id);
    const XControl *control(unsigned int id) const;
    std::string title() const;
};

// ---- classic panels

struct ClassicControl {
    LWControl table{}; // what the module holds; priv points back here
    struct ClassicPanel *panel = nullptr;
    std::string kind, label;
    LWPanControlDesc desc{};
    std::vector<std::string> lines; // a TextControl's text
    int x = -1, y = -1, w = 0, h = 0; // x, y: -1 until placed
    void *userData = nullptr;
    LWPanelFunc userDraw = nullptr;
};

struct ClassicPanel {
    LWPanelID id = nullptr;
    std::string title;
    std::vector<std::unique_ptr<ClassicControl>> controls;
    std::map<int, LWValue> attributes;
    bool fixedWidth = false, fixedHeight = false; // set by the module
    int openFlags = 0;
    bool open = false;
    bool closeRequested = false;
    struct Canvas *canvas = nullptr; // the raster the drawing functions paint
    // The text lines of the last full paint, in drawing order, markup
    // removed: control labels, text lines, list items, the module's texts.
    std::vector<std::string> drawnText;
};

// Queued answers of a script, taken in order.
struct FormAnswer {
    std::vector<std::pair<std::string, std::string>> values; // control, text
    bool ok = true;
};

class Panels : public ServiceFamily {
public:
    explicit Panels(Host &host);
    ~Panels() override;

    static Panels &of(Host &host);
    // Those of the current host, for the services' C functions; throws
    // PanelError when there is none.
    static Panels &current();

    // ---- what a user does
    XPanelRecord &xpanel(LWXPanelID id);
    bool alive(LWXPanelID id) const;
    // By id, by label (any case) or as "Group/Label"; of controls sharing
    // a label, the one on the chosen tab.
    const XControl &findControl(const XPanelRecord &p, const std::string &nameOrId) const;
    // Not on a tab page that is not chosen.
    bool visible(const XPanelRecord &p, unsigned int id) const;
    // Whether id lies in the group or tab row `group`, at any depth.
    bool inside(const XPanelRecord &p, unsigned int id, unsigned int group) const;
    // Popup items as shown (markup removed).
    std::vector<std::string> items(const XPanelRecord &p, const XControl &c) const;
    // The same with the markup the module gave them.
    std::vector<std::string> markedItems(const XPanelRecord &p, const XControl &c) const;
    // The value as `get` prints it; throws PanelError when there is none.
    std::string valueText(XPanelRecord &p, const XControl &c) const;
    // Sets a value as a user would: popups by item text or index,
    // booleans 0/1. Answers the set function's result.
    int setValue(XPanelRecord &p, const XControl &c, const std::string &text);
    void press(XPanelRecord &p, const XControl &c);
    void popCommand(XPanelRecord &p, const XControl &c, const std::string &item);
    void chooseTab(XPanelRecord &p, const std::string &page);
    // The "..." of a file name control: the host's requester (answered
    // from the queue), and the chosen name set as the value. False when
    // the user cancelled.
    bool browse(XPanelRecord &p, const XControl &c);
    // Throws PanelError, with the rule's message, when c is disabled.
    void requireEnabled(XPanelRecord &p, const XControl &c) const;
    // Whether the control can be used; the message of the rule that
    // disables it goes to message.
    bool enabled(XPanelRecord &p, unsigned int id, std::string *message = nullptr) const;
    // The panel goes. notify: the host destroys it on its own (the user
    // closed it for good) and tells the module; a panel the module destroys
    // itself is not reported back to it.
    void destroy(LWXPanelID id, bool notify = true);

    ClassicPanel &classic(LWPanelID id);
    // An open classic panel by title; null when none is open.
    ClassicPanel *openClassicTitled(const std::string &title);
    void closeClassic(LWPanelID id);
    int classicCount() const { return static_cast<int>(classics_.size()); }

    // Pictures.
    void snapshot(LWXPanelID id, const std::string &png);
    void snapshot(LWPanelID id, const std::string &png);

    // ---- scripted answers
    void queueForm(FormAnswer answer) { forms_.push_back(std::move(answer)); }
    void queueFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
    // Called when a blocking classic panel opens; returns when it closes.
    // Without one, a blocking panel is shown, drawn once and closed.
    void setModalDriver(std::function<void(LWPanelID)> driver) { modal_ = std::move(driver); }
    // Told of every panel that opens or is posted (the script echoes it).
    void setOutput(std::ostream *out) { out_ = out; }

    // ---- the services' operations
    LWXPanelID create(int type, const LWXPanelControl *controls);
    void describe(LWXPanelID id, const LWXPanelDataDesc *data, LWXPanelGetFunc get,
                  LWXPanelSetFunc set);
    void hint(LWXPanelID id, unsigned int target, const LWXPanelHint *hints);
    void *formGet(LWXPanelID id, unsigned int vid);
    void formSet(LWXPanelID id, unsigned int vid, void *value);
    int post(LWXPanelID id);

    LWPanelID createClassic(const char *title);
    void destroyClassic(LWPanelID id);
    int openClassic(LWPanelID id, int flags);
    void drawClassic(LWPanelID id, int mode);
    LWValue classicGet(LWPanelID id, int tag);
    void classicSet(LWPanelID id, int tag, const LWValue &value);
    LWControl *addControl(LWPanelID id, const char *kind, const LWPanControlDesc *desc,
                          const char *label);
    void layoutClassic(ClassicPanel &p);

    int fileRequest(LWFileReqLocal *request);

    const LWXPanelFuncs &xpanelTable() const { return xtable_; }

private:
    // Each family's table offered to the module (XPanels.cpp,
    // ClassicPanels.cpp, FileRequester.cpp).
    void offerXPanels();
    void offerClassicPanels();
    void offerFileRequester();
    void interpretHints(XPanelRecord &p, unsigned int target, const LWXPanelHint *hints);

    Host &host_;
    LWXPanelFuncs xtable_{};
    LWPanelFuncs ctable_{};
    std::map<LWXPanelID, std::unique_ptr<XPanelRecord>> xpanels_;
    std::map<LWPanelID, std::unique_ptr<ClassicPanel>> classics_;
    std::deque<FormAnswer> forms_;
    std::deque<std::optional<std::string>> files_;
    std::function<void(LWPanelID)> modal_;
    std::ostream *out_ = nullptr;
    unsigned int nextPanel_ = 1;
};

} // namespace devhost

#endif

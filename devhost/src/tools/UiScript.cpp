#include "devhost/tools/UiScript.h"

#include <cctype>
#include <istream>
#include <ostream>

#include "devhost/Host.h"
#include "devhost/Panels.h"

namespace devhost {

std::string UiScript::inQuotes(const std::string &s)
{
    return s.find_first_of(" \t\"") == std::string::npos && !s.empty() ? s : "\"" + s + "\"";
}

UiScript::UiScript(Host &host, std::istream &in, std::string name, std::ostream &out,
                   std::ostream &errors)
    : host_(host), panels_(Panels::of(host)), in_(in), name_(std::move(name)), out_(out),
      err_(errors)
{
    panels_.setOutput(&out_);
    panels_.setModalDriver([this](LWPanelID id) {
        Top t;
        t.classic = id;
        stack_.push_back(t);
        loop(id);
        // Whatever ended the loop, the modal panel is no longer on top.
        if (!stack_.empty() && stack_.back().classic == id)
            stack_.pop_back();
    });
}

UiScript::~UiScript()
{
    panels_.setModalDriver(nullptr);
    panels_.setOutput(nullptr);
}

UiScript::Words UiScript::words(const std::string &line)
{
    std::vector<std::string> out;
    std::string word;
    bool inWord = false, inQuote = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuote) {
            if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
                word += line[++i];
            else if (c == '"')
                inQuote = false;
            else
                word += c;
        } else if (c == '"') {
            inQuote = inWord = true;
        } else if (c == '#' && !inWord) {
            break;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord)
                out.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inQuote)
        throw std::invalid_argument("a quote is not closed");
    if (inWord)
        out.push_back(std::move(word));
    return out;
}

int UiScript::run()
{
    loop(nullptr);
    closeAll();
    if (!failed_)
        out_ << "ui: " << line_ << " lines, every step succeeded\n";
    return failed_ ? 1 : 0;
}

void UiScript::loop(LWPanelID until)
{
    std::string text;
    while (!failed_ && std::getline(in_, text)) {
        ++line_;
        try {
            const std::vector<std::string> w = words(text);
            if (w.empty())
                continue;
            out_ << "> " << text.substr(text.find_first_not_of(" \t")) << "\n";
            step(w);
        } catch (const std::exception &e) {
            // Inside a modal panel this is still within the module's call:
            // nothing may unwind through it, so the failure is noted and the
            // loops end one by one.
            err_ << "ui: " << name_ << " line " << line_ << ": " << e.what() << "\n";
            failed_ = true;
        }
        if (until && (stack_.empty() || stack_.back().classic != until || stack_.back().closed))
            return;
    }
}

UiScript::Top &UiScript::top()
{
    if (stack_.empty())
        throw ScriptError("no panel is open (use open or generic first)");
    return stack_.back();
}

void UiScript::pushXPanel(LWXPanelID id)
{
    if (!id)
        throw ScriptError("the server built no panel");
    if (!stack_.empty() && stack_.back().xpanel == id)
        return;
    Top t;
    t.xpanel = id;
    stack_.push_back(t);
    out_ << "panel \"" << panels_.xpanel(id).title() << "\" is on top\n";
}

void UiScript::closeTop()
{
    Top &t = top();
    if (t.classic) {
        // The modal loop returns and the module's open call with it.
        t.closed = true;
        panels_.closeClassic(t.classic);
        return;
    }
    const LWXPanelID id = t.xpanel;
    const std::string title = panels_.alive(id) ? panels_.xpanel(id).title() : "";
    stack_.pop_back();
    panels_.destroy(id);
    out_ << "panel \"" << title << "\" closed\n";
}

void UiScript::closeAll()
{
    // Modal panels end with their loops; what is left are XPanels.
    while (!stack_.empty()) {
        if (stack_.back().classic) {
            stack_.pop_back();
            continue;
        }
        try {
            closeTop();
        } catch (const std::exception &e) {
            err_ << "ui: " << name_ << ": closing: " << e.what() << "\n";
        }
    }
}

// ---- the verbs

const std::vector<UiScript::Verb> &UiScript::verbs()
{
    static const std::vector<Verb> table = {
        {"open", "SERVER", 1, 1,
         "opens the interface of the applied filter or master SERVER, applying it first when the "
         "scene lacks it", &UiScript::open},
        {"generic", "NAME", 1, 1,
         "runs the layout-generic server NAME and follows the host commands it sends; a panel it "
         "opens goes on top", &UiScript::generic},
        {"set", "CONTROL VALUE", 2, 2,
         "sets a value: a popup by its item text or index, a boolean as 0 or 1, numbers and text "
         "as written", &UiScript::set},
        {"get", "CONTROL", 1, 1, "prints the value: popups as item text, booleans as 0 or 1",
         &UiScript::get},
        {"expect", "CONTROL VALUE", 2, 2, "fails unless get would print VALUE", &UiScript::expect},
        {"expect-enabled", "CONTROL", 1, 1, "fails unless the control can be used",
         &UiScript::expectEnabled},
        {"expect-disabled", "CONTROL [MESSAGE]", 1, 2,
         "fails unless the control cannot be used (and, given, shows MESSAGE)",
         &UiScript::expectDisabled},
        {"items", "CONTROL", 1, 1, "lists a popup's items with their indices", &UiScript::items},
        {"press", "CONTROL", 1, 1, "clicks a button", &UiScript::press},
        {"command", "CONTROL ITEM", 2, 2, "chooses ITEM (text or index) of a popup command",
         &UiScript::command},
        {"browse", "CONTROL", 1, 1,
         "clicks the \"...\" of a file name control; the next file answers the requester",
         &UiScript::browse},
        {"tab", "NAME", 1, 1, "shows the tab page NAME", &UiScript::tab},
        {"answer", "yes|no|cancel", 1, 1, "queues the answer to the next question",
         &UiScript::answer},
        {"form", "CONTROL=VALUE... ok|cancel", 1, kAny,
         "queues the answer to the next form: its values, then OK or Cancel", &UiScript::form},
        {"file", "PATH|cancel", 1, 1, "queues the answer to the next file requester",
         &UiScript::file},
        {"close", "", 0, 0,
         "closes the panel on top: a modal panel returns to the module, an XPanel is destroyed",
         &UiScript::close},
        {"snapshot", "[preview|PANEL-TITLE] FILE.png", 1, 2,
         "draws the panel on top, the preview window or the open panel of that title",
         &UiScript::snapshot},
        {"text", "PANEL-TITLE", 1, 1,
         "prints the text lines the open classic panel of that title shows", &UiScript::text},
        {"expect-text", "PANEL-TITLE LINE", 2, 2,
         "fails unless the panel of that title shows a line that is exactly LINE",
         &UiScript::expectText},
        {"click", "preview X Y", 3, 3, "clicks the preview window at X, Y of the window as drawn",
         &UiScript::click},
        {"mode", "preview N|CHOICE", 2, 2,
         "chooses a display choice of the preview window by index or text", &UiScript::mode},
        {"resize", "preview W H", 3, 3, "draws the preview window at W x H", &UiScript::resize},
        {"describe", "", 0, 0, "prints every applied server's description line",
         &UiScript::describe},
        {"expect-description", "SERVER ENDING", 2, 2,
         "fails unless SERVER's description line ends with ENDING", &UiScript::expectDescription},
        {"render", "[FRAMES]", 0, 1, "renders the scene's frames, or A-B, as devhost render does",
         &UiScript::render},
        {"convert", "IN OUT", 2, 2, "loads and saves an image, as devhost convert does",
         &UiScript::convert},
        {"save", "SCENE", 1, 1, "writes the scene, with every server's settings", &UiScript::save},
    };
    return table;
}

const UiScript::Verb *UiScript::verb(const std::string &name)
{
    for (const Verb &v : verbs())
        if (name == v.name)
            return &v;
    return nullptr;
}

std::string UiScript::usage(const Verb &verb)
{
    return *verb.arguments ? std::string(verb.name) + " " + verb.arguments : verb.name;
}

void UiScript::step(const Words &w)
{
    const Verb *verb = UiScript::verb(w[0]);
    if (!verb) {
        std::string names;
        for (const Verb &v : verbs())
            names += (names.empty() ? "" : ", ") + std::string(v.name);
        throw ScriptError("unknown command " + inQuotes(w[0]) + " (" + names + ")");
    }
    if (w.size() - 1 < verb->least || w.size() - 1 > verb->most)
        throw ScriptError("usage: " + usage(*verb));
    (this->*verb->run)(w);
}

XPanelRecord &UiScript::xpanelOnTop(const std::string &verb)
{
    Top &t = top();
    if (!t.xpanel)
        throw ScriptError("the panel on top (\"" + panels_.classic(t.classic).title +
                        "\") has no controls to " + verb + "; close it first");
    return panels_.xpanel(t.xpanel);
}

} // namespace devhost

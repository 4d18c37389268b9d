#include "devhost/tools/UiScript.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <stdexcept>

#include <lwsdk/filter.h>
#include <lwsdk/master.h>

#include "devhost/tools/Convert.h"
#include "devhost/Host.h"
#include "devhost/Panels.h"
#include "devhost/Previews.h"
#include "devhost/RenderJob.h"
#include "devhost/SceneFile.h"

namespace devhost {

namespace {

class StepError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Applied servers whose interface a script can open, by class.
const char *const kPanelClasses[] = {LWIMAGEFILTER_HCLASS, LWMASTER_HCLASS};

std::string inQuotes(const std::string &s)
{
    return s.find_first_of(" \t\"") == std::string::npos && !s.empty() ? s : "\"" + s + "\"";
}

} // namespace

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

std::vector<std::string> UiScript::words(const std::string &line)
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
        throw StepError("no panel is open (use open or generic first)");
    return stack_.back();
}

void UiScript::pushXPanel(LWXPanelID id)
{
    if (!id)
        throw StepError("the server built no panel");
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

void UiScript::need(const std::vector<std::string> &w, std::size_t min, std::size_t max,
                    const char *usage)
{
    if (w.size() - 1 < min || w.size() - 1 > max)
        throw StepError(std::string("usage: ") + usage);
}

void UiScript::step(const std::vector<std::string> &w)
{
    const std::string &verb = w[0];
    auto xpanel = [&]() -> XPanelRecord & {
        Top &t = top();
        if (!t.xpanel)
            throw StepError("the panel on top (\"" + panels_.classic(t.classic).title +
                            "\") has no controls to " + verb + "; close it first");
        return panels_.xpanel(t.xpanel);
    };

    if (verb == "open") {
        need(w, 1, 1, "open SERVER");
        AppliedServer *server = nullptr;
        int index = 0;
        for (const char *cls : kPanelClasses)
            for (int n = 1; !server && host_.scene().server(cls, n); ++n)
                if (host_.scene().server(cls, n)->name == w[1]) {
                    server = host_.scene().server(cls, n);
                    index = n;
                }
        if (!server) {
            for (const char *cls : kPanelClasses)
                if (!server && host_.module()->find(cls, w[1])) {
                    server = &host_.applyServer(cls, w[1]);
                    index = host_.scene().count(cls);
                    out_ << "applied " << cls << " " << w[1] << "\n";
                }
            if (!server)
                throw StepError("the module has no filter or master \"" + w[1] + "\"");
        }
        const std::size_t before = host_.edits().size();
        host_.evaluate("EditServer " + server->className + " " + std::to_string(index));
        if (host_.edits().size() == before)
            throw StepError("the host could not open the interface of \"" + w[1] + "\"");
        const Host::Edit &e = host_.edits().back();
        if (e.result != 0)
            throw StepError("the interface of \"" + w[1] + "\" failed (result " +
                            std::to_string(e.result) + ")");
        pushXPanel(static_cast<LWXPanelID>(e.panel));
    } else if (verb == "generic") {
        need(w, 1, 1, "generic NAME");
        const std::size_t commands = host_.commands().size(), edits = host_.edits().size();
        const int result = host_.runGeneric(w[1]);
        for (std::size_t i = commands; i < host_.commands().size(); ++i)
            out_ << "command: " << host_.commands()[i] << "\n";
        if (result != 0)
            throw StepError("\"" + w[1] + "\" failed (result " + std::to_string(result) + ")");
        if (host_.edits().size() > edits)
            pushXPanel(static_cast<LWXPanelID>(host_.edits().back().panel));
    } else if (verb == "set") {
        need(w, 2, 2, "set CONTROL VALUE");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        const LWXPanelID id = p.id;
        const std::string label = c.label;
        const int rc = panels_.setValue(p, c, w[2]);
        if (!panels_.alive(id)) {
            out_ << label << " set; the panel is gone (set answered " << rc << ")\n";
            return;
        }
        out_ << c.label << " = " << panels_.valueText(p, c) << " (set answered " << rc << ")\n";
    } else if (verb == "get") {
        need(w, 1, 1, "get CONTROL");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        out_ << c.label << " = " << panels_.valueText(p, c) << "\n";
    } else if (verb == "expect") {
        need(w, 2, 2, "expect CONTROL VALUE");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        const std::string v = panels_.valueText(p, c);
        if (v != w[2])
            throw StepError("expected " + c.label + " = " + inQuotes(w[2]) + ", got " + inQuotes(v));
        out_ << c.label << " = " << v << " as expected\n";
    } else if (verb == "expect-enabled" || verb == "expect-disabled") {
        const bool wantOn = verb == "expect-enabled";
        need(w, 1, wantOn ? 1 : 2, wantOn ? "expect-enabled CONTROL"
                                          : "expect-disabled CONTROL [MESSAGE]");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        std::string why;
        const bool on = panels_.enabled(p, c.id, &why);
        if (on != wantOn)
            throw StepError(c.label + " is " + (on ? "enabled" : "disabled") +
                            (why.empty() ? "" : " (" + why + ")"));
        if (!wantOn && w.size() == 3 && why != w[2])
            throw StepError(c.label + " is disabled with the message " + inQuotes(why) +
                            ", not " + inQuotes(w[2]));
        out_ << c.label << " is " << (on ? "enabled" : "disabled")
             << (why.empty() ? "" : ": " + why) << "\n";
    } else if (verb == "items") {
        need(w, 1, 1, "items CONTROL");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        const std::vector<std::string> list = panels_.items(p, c);
        out_ << c.label << ": " << list.size() << " items\n";
        for (std::size_t i = 0; i < list.size(); ++i)
            out_ << "  " << i << " " << list[i] << "\n";
    } else if (verb == "press") {
        need(w, 1, 1, "press CONTROL");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        out_ << "pressed " << c.label << "\n";
        panels_.press(p, c);
    } else if (verb == "command") {
        need(w, 2, 2, "command CONTROL ITEM");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        out_ << c.label << ": " << w[2] << "\n";
        panels_.popCommand(p, c, w[2]);
    } else if (verb == "browse") {
        need(w, 1, 1, "browse CONTROL");
        XPanelRecord &p = xpanel();
        const XControl &c = panels_.findControl(p, w[1]);
        const LWXPanelID id = p.id;
        if (panels_.browse(p, c) && panels_.alive(id))
            out_ << c.label << " = " << panels_.valueText(p, c) << "\n";
    } else if (verb == "tab") {
        need(w, 1, 1, "tab NAME");
        panels_.chooseTab(xpanel(), w[1]);
        out_ << "tab " << w[1] << " chosen\n";
    } else if (verb == "answer") {
        need(w, 1, 1, "answer yes|no|cancel");
        Messages::Answer a;
        if (w[1] == "yes")
            a = Messages::Answer::Yes;
        else if (w[1] == "no")
            a = Messages::Answer::No;
        else if (w[1] == "cancel")
            a = Messages::Answer::Cancel;
        else
            throw StepError("answer needs yes, no or cancel, not " + inQuotes(w[1]));
        host_.messages().queueAnswer(a);
        out_ << "the next question will be answered " << w[1] << "\n";
    } else if (verb == "form") {
        if (w.size() < 2 || (w.back() != "ok" && w.back() != "cancel"))
            throw StepError("usage: form CONTROL=VALUE... ok|cancel");
        FormAnswer a;
        a.ok = w.back() == "ok";
        for (std::size_t i = 1; i + 1 < w.size(); ++i) {
            const std::size_t eq = w[i].find('=');
            if (eq == std::string::npos)
                throw StepError("form values are CONTROL=VALUE, not " + inQuotes(w[i]));
            a.values.emplace_back(w[i].substr(0, eq), w[i].substr(eq + 1));
        }
        out_ << "the next form will be answered with " << a.values.size() << " values and "
             << w.back() << "\n";
        panels_.queueForm(std::move(a));
    } else if (verb == "file") {
        need(w, 1, 1, "file PATH|cancel");
        if (w[1] == "cancel")
            panels_.queueFile(std::nullopt);
        else
            panels_.queueFile(w[1]);
        out_ << "the next file requester will be answered " << inQuotes(w[1]) << "\n";
    } else if (verb == "close") {
        need(w, 0, 0, "close");
        closeTop();
    } else if (verb == "snapshot") {
        need(w, 1, 2, "snapshot [preview|PANEL-TITLE] FILE.png");
        const std::string &file = w.back();
        if (w.size() == 3 && w[1] == "preview") {
            Previews::of(host_).snapshot(Previews::of(host_).only(), file);
        } else if (w.size() == 3) {
            ClassicPanel *p = panels_.openClassicTitled(w[1]);
            if (!p)
                throw StepError("no panel \"" + w[1] + "\" is open");
            panels_.snapshot(p->id, file);
        } else {
            Top &t = top();
            if (t.xpanel)
                panels_.snapshot(t.xpanel, file);
            else
                panels_.snapshot(t.classic, file);
        }
        out_ << "snapshot: " << file << "\n";
    } else if (verb == "text" || verb == "expect-text") {
        const bool expecting = verb == "expect-text";
        need(w, expecting ? 2 : 1, expecting ? 2 : 1,
             expecting ? "expect-text PANEL-TITLE LINE" : "text PANEL-TITLE");
        ClassicPanel *p = panels_.openClassicTitled(w[1]);
        if (!p)
            throw StepError("no panel \"" + w[1] + "\" is open");
        // Drawn now, so the lines are those of what the panel shows now.
        panels_.drawClassic(p->id, DR_REFRESH);
        const std::vector<std::string> lines = p->drawnText;
        if (!expecting) {
            out_ << w[1] << ": " << lines.size() << " lines\n";
            for (const std::string &l : lines)
                out_ << "  " << l << "\n";
        } else if (std::find(lines.begin(), lines.end(), w[2]) == lines.end()) {
            std::string shown;
            for (const std::string &l : lines)
                shown += "\n  " + l;
            throw StepError("\"" + w[1] + "\" shows no line " + inQuotes(w[2]) + "; it shows:" +
                            shown);
        } else {
            out_ << w[1] << " shows " << inQuotes(w[2]) << " as expected\n";
        }
    } else if (verb == "click" || verb == "mode" || verb == "resize") {
        if (w.size() < 2 || w[1] != "preview")
            throw StepError("usage: click preview X Y, mode preview N, resize preview W H");
        Previews &previews = Previews::of(host_);
        PreviewWindow &pw = previews.only();
        auto number = [&](std::size_t i) {
            if (i >= w.size())
                throw StepError("usage: click preview X Y, mode preview N, resize preview W H");
            char *end = nullptr;
            const long v = std::strtol(w[i].c_str(), &end, 10);
            if (w[i].empty() || *end)
                throw StepError(inQuotes(w[i]) + " is not a whole number");
            return static_cast<int>(v);
        };
        if (verb == "click") {
            need(w, 3, 3, "click preview X Y");
            previews.click(pw, number(2), number(3));
            out_ << "clicked the preview at " << w[2] << ", " << w[3] << "\n";
        } else if (verb == "mode") {
            need(w, 2, 2, "mode preview N|CHOICE");
            int choice = -1;
            for (std::size_t i = 0; i < pw.choices.size(); ++i)
                if (pw.choices[i] == w[2])
                    choice = static_cast<int>(i);
            previews.choose(pw, choice >= 0 ? choice : number(2));
            out_ << "preview shows " << pw.choices[static_cast<std::size_t>(pw.current)] << "\n";
        } else {
            need(w, 3, 3, "resize preview W H");
            previews.resize(pw, number(2), number(3));
            out_ << "preview is " << w[2] << " x " << w[3] << "\n";
        }
    } else if (verb == "describe") {
        need(w, 0, 0, "describe");
        for (const auto &s : host_.scene().servers) {
            const std::string d = host_.describe(*s);
            out_ << s->className << " " << s->name << (d.empty() ? "" : ": ") << d << "\n";
        }
    } else if (verb == "expect-description") {
        need(w, 2, 2, "expect-description SERVER ENDING");
        for (const auto &s : host_.scene().servers)
            if (s->name == w[1]) {
                const std::string d = host_.describe(*s);
                if (d.size() < w[2].size() || d.compare(d.size() - w[2].size(), w[2].size(), w[2]))
                    throw StepError("the description of " + w[1] + " is " + inQuotes(d) +
                                    ", which does not end with " + inQuotes(w[2]));
                out_ << s->name << ": " << d << "\n";
                return;
            }
        throw StepError("no server \"" + w[1] + "\" is applied");
    } else if (verb == "render") {
        need(w, 0, 1, "render [FRAMES]");
        RenderOptions options;
        if (w.size() == 2) {
            FrameRange range;
            if (!parseFrameRange(w[1], &range))
                throw StepError("render needs frames A-B or A, not " + inQuotes(w[1]));
            options.frames = range;
        }
        options.out = &out_;
        RenderJob job(host_, options);
        job.run();
    } else if (verb == "convert") {
        need(w, 2, 2, "convert IN OUT");
        ConvertOptions options;
        options.input = w[1];
        options.output = w[2];
        options.out = &out_;
        convertImage(host_, options);
    } else if (verb == "save") {
        need(w, 1, 1, "save SCENE");
        writeSceneFile(host_, w[1]);
        out_ << "saved: " << w[1] << "\n";
    } else {
        throw StepError("unknown command " + inQuotes(verb) +
                        " (open, generic, set, get, expect, items, press, command, tab, answer, "
                        "form, file, browse, close, snapshot, text, expect-text, click, mode, resize, "
                        "describe, expect-enabled, "
                        "expect-disabled, "
                        "expect-description, render, convert, save)");
    }
}

} // namespace devhost

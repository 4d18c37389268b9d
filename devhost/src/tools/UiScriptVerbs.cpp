#include "devhost/tools/UiScript.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

#include <lwsdk/filter.h>
#include <lwsdk/master.h>

#include "devhost/Host.h"
#include "devhost/Panels.h"
#include "devhost/Previews.h"
#include "devhost/RenderJob.h"
#include "devhost/SceneFile.h"
#include "devhost/tools/Convert.h"

namespace devhost {

namespace {

// Applied servers whose interface a script can open, by class.
const char *const kPanelClasses[] = {LWIMAGEFILTER_HCLASS, LWMASTER_HCLASS};

// The one preview window, for the verbs whose first argument names it.
PreviewWindow &previewOf(Host &host, const UiScript::Words &w)
{
    if (w[1] != "preview")
        throw ScriptError("usage: " + UiScript::usage(*UiScript::verb(w[0])));
    return Previews::of(host).only();
}

int wholeNumber(const std::string &word)
{
    char *end = nullptr;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end)
        throw ScriptError(UiScript::inQuotes(word) + " is not a whole number");
    return static_cast<int>(v);
}

} // namespace

void UiScript::open(const Words &w)
{
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
            throw ScriptError("the module has no filter or master \"" + w[1] + "\"");
    }
    const std::size_t before = host_.edits().size();
    host_.evaluate("EditServer " + server->className + " " + std::to_string(index));
    if (host_.edits().size() == before)
        throw ScriptError("the host could not open the interface of \"" + w[1] + "\"");
    const Host::Edit &e = host_.edits().back();
    if (e.result != 0)
        throw ScriptError("the interface of \"" + w[1] + "\" failed (result " +
                        std::to_string(e.result) + ")");
    pushXPanel(static_cast<LWXPanelID>(e.panel));
}

void UiScript::generic(const Words &w)
{
    const std::size_t commands = host_.commands().size(), edits = host_.edits().size();
    const int result = host_.runGeneric(w[1]);
    for (std::size_t i = commands; i < host_.commands().size(); ++i)
        out_ << "command: " << host_.commands()[i] << "\n";
    if (result != 0)
        throw ScriptError("\"" + w[1] + "\" failed (result " + std::to_string(result) + ")");
    if (host_.edits().size() > edits)
        pushXPanel(static_cast<LWXPanelID>(host_.edits().back().panel));
}

void UiScript::set(const Words &w)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    const LWXPanelID id = p.id;
    const std::string label = c.label;
    const int rc = panels_.setValue(p, c, w[2]);
    if (!panels_.alive(id)) {
        out_ << label << " set; the panel is gone (set answered " << rc << ")\n";
        return;
    }
    out_ << c.label << " = " << panels_.valueText(p, c) << " (set answered " << rc << ")\n";
}

void UiScript::get(const Words &w)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    out_ << c.label << " = " << panels_.valueText(p, c) << "\n";
}

namespace {
// A script names folders with '/'; on Windows the module shows them with
// the platform's '\\', and either is the same folder there.
bool sameValue(std::string shown, std::string expected)
{
#if defined(_WIN32)
    std::replace(shown.begin(), shown.end(), '\\', '/');
    std::replace(expected.begin(), expected.end(), '\\', '/');
#endif
    return shown == expected;
}
} // namespace

void UiScript::expect(const Words &w)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    const std::string v = panels_.valueText(p, c);
    if (!sameValue(v, w[2]))
        throw ScriptError("expected " + c.label + " = " + inQuotes(w[2]) + ", got " + inQuotes(v));
    out_ << c.label << " = " << v << " as expected\n";
}

void UiScript::expectEnabled(const Words &w) { expectUsable(w, true); }

void UiScript::expectDisabled(const Words &w) { expectUsable(w, false); }

void UiScript::expectUsable(const Words &w, bool wantOn)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    std::string why;
    const bool on = panels_.enabled(p, c.id, &why);
    if (on != wantOn)
        throw ScriptError(c.label + " is " + (on ? "enabled" : "disabled") +
                        (why.empty() ? "" : " (" + why + ")"));
    if (!wantOn && w.size() == 3 && why != w[2])
        throw ScriptError(c.label + " is disabled with the message " + inQuotes(why) + ", not " +
                        inQuotes(w[2]));
    out_ << c.label << " is " << (on ? "enabled" : "disabled") << (why.empty() ? "" : ": " + why)
         << "\n";
}

void UiScript::items(const Words &w)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    const std::vector<std::string> list = panels_.items(p, c);
    out_ << c.label << ": " << list.size() << " items\n";
    for (std::size_t i = 0; i < list.size(); ++i)
        out_ << "  " << i << " " << list[i] << "\n";
}

void UiScript::press(const Words &w)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    out_ << "pressed " << c.label << "\n";
    panels_.press(p, c);
}

void UiScript::command(const Words &w)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    out_ << c.label << ": " << w[2] << "\n";
    panels_.popCommand(p, c, w[2]);
}

void UiScript::browse(const Words &w)
{
    XPanelRecord &p = xpanelOnTop(w[0]);
    const XControl &c = panels_.findControl(p, w[1]);
    const LWXPanelID id = p.id;
    if (panels_.browse(p, c) && panels_.alive(id))
        out_ << c.label << " = " << panels_.valueText(p, c) << "\n";
}

void UiScript::tab(const Words &w)
{
    panels_.chooseTab(xpanelOnTop(w[0]), w[1]);
    out_ << "tab " << w[1] << " chosen\n";
}

void UiScript::answer(const Words &w)
{
    Messages::Answer a;
    if (w[1] == "yes")
        a = Messages::Answer::Yes;
    else if (w[1] == "no")
        a = Messages::Answer::No;
    else if (w[1] == "cancel")
        a = Messages::Answer::Cancel;
    else
        throw ScriptError("answer needs yes, no or cancel, not " + inQuotes(w[1]));
    host_.messages().queueAnswer(a);
    out_ << "the next question will be answered " << w[1] << "\n";
}

void UiScript::form(const Words &w)
{
    if (w.back() != "ok" && w.back() != "cancel")
        throw ScriptError("usage: " + usage(*verb(w[0])));
    FormAnswer a;
    a.ok = w.back() == "ok";
    for (std::size_t i = 1; i + 1 < w.size(); ++i) {
        const std::size_t eq = w[i].find('=');
        if (eq == std::string::npos)
            throw ScriptError("form values are CONTROL=VALUE, not " + inQuotes(w[i]));
        a.values.emplace_back(w[i].substr(0, eq), w[i].substr(eq + 1));
    }
    out_ << "the next form will be answered with " << a.values.size() << " values and "
         << w.back() << "\n";
    panels_.queueForm(std::move(a));
}

void UiScript::file(const Words &w)
{
    if (w[1] == "cancel")
        panels_.queueFile(std::nullopt);
    else
        panels_.queueFile(w[1]);
    out_ << "the next file requester will be answered " << inQuotes(w[1]) << "\n";
}

void UiScript::close(const Words &) { closeTop(); }

void UiScript::snapshot(const Words &w)
{
    const std::string &file = w.back();
    if (w.size() == 3 && w[1] == "preview") {
        Previews::of(host_).snapshot(Previews::of(host_).only(), file);
    } else if (w.size() == 3) {
        ClassicPanel *p = panels_.openClassicTitled(w[1]);
        if (!p)
            throw ScriptError("no panel \"" + w[1] + "\" is open");
        panels_.snapshot(p->id, file);
    } else {
        Top &t = top();
        if (t.xpanel)
            panels_.snapshot(t.xpanel, file);
        else
            panels_.snapshot(t.classic, file);
    }
    out_ << "snapshot: " << file << "\n";
}

// Drawn now, so the lines are those of what the panel shows now.
const std::vector<std::string> &UiScript::drawnLines(const std::string &title)
{
    ClassicPanel *p = panels_.openClassicTitled(title);
    if (!p)
        throw ScriptError("no panel \"" + title + "\" is open");
    panels_.drawClassic(p->id, DR_REFRESH);
    return p->drawnText;
}

void UiScript::text(const Words &w)
{
    const std::vector<std::string> lines = drawnLines(w[1]);
    out_ << w[1] << ": " << lines.size() << " lines\n";
    for (const std::string &l : lines)
        out_ << "  " << l << "\n";
}

void UiScript::expectText(const Words &w)
{
    const std::vector<std::string> lines = drawnLines(w[1]);
    if (std::find(lines.begin(), lines.end(), w[2]) == lines.end()) {
        std::string shown;
        for (const std::string &l : lines)
            shown += "\n  " + l;
        throw ScriptError("\"" + w[1] + "\" shows no line " + inQuotes(w[2]) +
                          "; it shows:" + shown);
    }
    out_ << w[1] << " shows " << inQuotes(w[2]) << " as expected\n";
}

void UiScript::click(const Words &w)
{
    PreviewWindow &pw = previewOf(host_, w);
    Previews::of(host_).click(pw, wholeNumber(w[2]), wholeNumber(w[3]));
    out_ << "clicked the preview at " << w[2] << ", " << w[3] << "\n";
}

void UiScript::mode(const Words &w)
{
    PreviewWindow &pw = previewOf(host_, w);
    int choice = -1;
    for (std::size_t i = 0; i < pw.choices.size(); ++i)
        if (pw.choices[i] == w[2])
            choice = static_cast<int>(i);
    Previews::of(host_).choose(pw, choice >= 0 ? choice : wholeNumber(w[2]));
    out_ << "preview shows " << pw.choices[static_cast<std::size_t>(pw.current)] << "\n";
}

void UiScript::resize(const Words &w)
{
    PreviewWindow &pw = previewOf(host_, w);
    Previews::of(host_).resize(pw, wholeNumber(w[2]), wholeNumber(w[3]));
    out_ << "preview is " << w[2] << " x " << w[3] << "\n";
}

void UiScript::describe(const Words &)
{
    for (const auto &s : host_.scene().servers) {
        const std::string d = host_.describe(*s);
        out_ << s->className << " " << s->name << (d.empty() ? "" : ": ") << d << "\n";
    }
}

void UiScript::expectDescription(const Words &w)
{
    for (const auto &s : host_.scene().servers)
        if (s->name == w[1]) {
            const std::string d = host_.describe(*s);
            if (d.size() < w[2].size() || d.compare(d.size() - w[2].size(), w[2].size(), w[2]))
                throw ScriptError("the description of " + w[1] + " is " + inQuotes(d) +
                                ", which does not end with " + inQuotes(w[2]));
            out_ << s->name << ": " << d << "\n";
            return;
        }
    throw ScriptError("no server \"" + w[1] + "\" is applied");
}

void UiScript::render(const Words &w)
{
    RenderOptions options;
    if (w.size() == 2) {
        FrameRange range;
        if (!parseFrameRange(w[1], &range))
            throw ScriptError("render needs frames A-B or A, not " + inQuotes(w[1]));
        options.frames = range;
    }
    options.out = &out_;
    RenderJob job(host_, options);
    job.run();
}

void UiScript::convert(const Words &w)
{
    ConvertOptions options;
    options.input = w[1];
    options.output = w[2];
    options.out = &out_;
    convertImage(host_, options);
}

void UiScript::save(const Words &w)
{
    writeSceneFile(host_, w[1]);
    out_ << "saved: " << w[1] << "\n";
}

} // namespace devhost

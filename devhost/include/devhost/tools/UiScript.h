// `devhost ui SCENE SCRIPT`: drives the module's panels line by line, the
// way a user clicks. One command per line, `#` comments, values quoted when
// they hold blanks; every step echoes what it did, and a failed step or a
// failed expectation stops the script.
#ifndef DEVHOST_TOOLS_UISCRIPT_H
#define DEVHOST_TOOLS_UISCRIPT_H

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <lwsdk/panel.h>
#include <lwsdk/xpanel.h>

namespace devhost {

class Host;
class Panels;
struct XPanelRecord;

// A step that cannot run or an expectation that does not hold; the script
// reports it with its line and stops.
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class UiScript {
public:
    // name: how messages call the script (its path, or "-").
    UiScript(Host &host, std::istream &in, std::string name, std::ostream &out,
             std::ostream &errors);
    ~UiScript();
    // 0 when every step succeeded, 1 at the first that failed.
    int run();

    using Words = std::vector<std::string>;

    // The words of one line: blanks separate, double quotes keep blanks
    // (backslash escapes a quote or a backslash), `#` outside quotes ends
    // the line. Throws std::invalid_argument on an open quote.
    static Words words(const std::string &line);

    // One command a script may use. The one table of them decides what a
    // line runs, how many arguments it takes and what the help says.
    struct Verb {
        const char *name;
        const char *arguments;   // as the usage writes them; empty for none
        std::size_t least, most; // how many arguments it takes; most may be kAny
        const char *help;        // one line: what it does
        void (UiScript::*run)(const Words &w);
    };
    static constexpr std::size_t kAny = static_cast<std::size_t>(-1);
    // Every command, in the order the help lists them.
    static const std::vector<Verb> &verbs();
    // The verb of that name; null when there is none.
    static const Verb *verb(const std::string &name);
    // "NAME ARGUMENTS", as the help and the usage messages write it.
    static std::string usage(const Verb &verb);
    // A word as messages show it: in double quotes when it is empty or
    // holds blanks or quotes.
    static std::string inQuotes(const std::string &word);

private:
    struct Top {
        LWXPanelID xpanel = nullptr;
        LWPanelID classic = nullptr;
        bool closed = false;
    };

    // Reads and runs lines until the input ends, a step fails or the
    // modal panel `until` is closed.
    void loop(LWPanelID until);
    void step(const Words &w);
    Top &top();
    // The XPanel on top; throws, naming the verb, when it is a classic panel.
    XPanelRecord &xpanelOnTop(const std::string &verb);
    void pushXPanel(LWXPanelID id);
    void closeTop();
    void closeAll();

    // The verbs, w[0] the verb itself; the table has checked the count.
    void open(const Words &w);
    void generic(const Words &w);
    void set(const Words &w);
    void get(const Words &w);
    void expect(const Words &w);
    void expectEnabled(const Words &w);
    void expectDisabled(const Words &w);
    void expectUsable(const Words &w, bool wantOn);
    void items(const Words &w);
    void press(const Words &w);
    void command(const Words &w);
    void browse(const Words &w);
    void tab(const Words &w);
    void answer(const Words &w);
    void form(const Words &w);
    void file(const Words &w);
    void close(const Words &w);
    void snapshot(const Words &w);
    // The text lines the open classic panel of that title shows now.
    const std::vector<std::string> &drawnLines(const std::string &title);
    void text(const Words &w);
    void expectText(const Words &w);
    void click(const Words &w);
    void mode(const Words &w);
    void resize(const Words &w);
    void describe(const Words &w);
    void expectDescription(const Words &w);
    void render(const Words &w);
    void convert(const Words &w);
    void save(const Words &w);

    Host &host_;
    Panels &panels_;
    std::istream &in_;
    std::string name_;
    std::ostream &out_;
    std::ostream &err_;
    int line_ = 0;
    bool failed_ = false;
    std::vector<Top> stack_;
};

} // namespace devhost

#endif

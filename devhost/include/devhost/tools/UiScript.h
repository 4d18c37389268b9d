// `devhost ui SCENE SCRIPT`: drives the module's panels line by line, the
// way a user clicks. One command per line, `#` comments, values quoted when
// they hold blanks; every step echoes what it did, and a failed step or a
// failed expectation stops the script.
#ifndef DEVHOST_TOOLS_UISCRIPT_H
#define DEVHOST_TOOLS_UISCRIPT_H

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include <lwsdk/panel.h>
#include <lwsdk/xpanel.h>

namespace devhost {

class Host;
class Panels;

class UiScript {
public:
    // name: how messages call the script (its path, or "-").
    UiScript(Host &host, std::istream &in, std::string name, std::ostream &out,
             std::ostream &errors);
    ~UiScript();
    // 0 when every step succeeded, 1 at the first that failed.
    int run();

    // The words of one line: blanks separate, double quotes keep blanks
    // (backslash escapes a quote or a backslash), `#` outside quotes ends
    // the line. Throws std::invalid_argument on an open quote.
    static std::vector<std::string> words(const std::string &line);

private:
    struct Top {
        LWXPanelID xpanel = nullptr;
        LWPanelID classic = nullptr;
        bool closed = false;
    };

    // Reads and runs lines until the input ends, a step fails or the
    // modal panel `until` is closed.
    void loop(LWPanelID until);
    void step(const std::vector<std::string> &w);
    Top &top();
    void pushXPanel(LWXPanelID id);
    void closeTop();
    void closeAll();
    void need(const std::vector<std::string> &w, std::size_t min, std::size_t max,
              const char *usage);

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

#include "devhost/Messages.h"
#include "devhost/CallbackBarrier.h"

#include <iostream>

#include "devhost/Host.h"
#include "devhost/PanelPainter.h"

namespace devhost {

namespace {
Messages *messages() { return Host::current() ? &Host::current()->messages() : nullptr; }

void infoThunk(const char *a, const char *b)
{
    if (Messages *m = messages())
        m->post(Message::Info, a, b);
}
void errorThunk(const char *a, const char *b)
{
    if (Messages *m = messages())
        m->post(Message::Error, a, b);
}
void warningThunk(const char *a, const char *b)
{
    if (Messages *m = messages())
        m->post(Message::Warning, a, b);
}
int yesNoThunk(const char *t, const char *a, const char *b)
{
    Messages *m = messages();
    return m ? m->ask(t, a, b, false) : 0;
}
int yesNoCancelThunk(const char *t, const char *a, const char *b)
{
    Messages *m = messages();
    return m ? m->ask(t, a, b, true) : 0;
}

const char *label(Message::Kind kind)
{
    switch (kind) {
    case Message::Info: return "info";
    case Message::Error: return "error";
    case Message::Warning: return "warning";
    case Message::Question: return "question";
    }
    return "";
}
} // namespace

Messages::Messages()
    : table_{guarded<infoThunk>, guarded<errorThunk>, guarded<warningThunk>, guarded<yesNoThunk>,
             guarded<yesNoCancelThunk>},
      info_(&std::cout), warnings_(&std::cerr), errors_(&std::cerr)
{
}

void Messages::scriptAnswers(const std::vector<Answer> &answers)
{
    script_.assign(answers.begin(), answers.end());
}

void Messages::setOutput(std::ostream *info, std::ostream *errors)
{
    setOutput(info, errors, errors);
}

void Messages::setOutput(std::ostream *info, std::ostream *warnings, std::ostream *errors)
{
    info_ = info;
    warnings_ = warnings;
    errors_ = errors;
}

std::vector<Message> Messages::ofKind(Message::Kind kind) const
{
    std::vector<Message> found;
    for (const Message &m : log_)
        if (m.kind == kind)
            found.push_back(m);
    return found;
}

void Messages::post(Message::Kind kind, const char *line1, const char *line2)
{
    Message m{kind, line1 ? line1 : "", line2 ? line2 : "", {}, 0};
    std::ostream *out = kind == Message::Info      ? info_
                        : kind == Message::Warning ? warnings_
                                                   : errors_;
    // The host's message boxes show the panel markup a text holds.
    if (out) {
        *out << "[" << label(kind) << "] " << PanelPainter::lineText(m.line1) << "\n";
        if (!m.line2.empty())
            *out << "[" << label(kind) << "] " << PanelPainter::lineText(m.line2) << "\n";
        out->flush();
    }
    log_.push_back(std::move(m));
}

int Messages::ask(const char *title, const char *line1, const char *line2, bool threeWay)
{
    Answer a = policy_;
    if (!script_.empty()) {
        a = script_.front();
        script_.pop_front();
    }
    int code = 0;
    if (threeWay)
        code = a == Answer::Yes ? 2 : a == Answer::No ? 1 : 0;
    else
        code = a == Answer::Yes ? 1 : 0;
    Message m{Message::Question, line1 ? line1 : "", line2 ? line2 : "", title ? title : "", code};
    if (info_)
        *info_ << "[question] " << PanelPainter::lineText(m.title) << ": "
               << PanelPainter::lineText(m.line1)
               << (m.line2.empty() ? "" : " / " + PanelPainter::lineText(m.line2)) << " -> "
               << code << "\n";
    log_.push_back(std::move(m));
    return code;
}

} // namespace devhost

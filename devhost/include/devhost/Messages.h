// "Info Messages 2": messages are printed and recorded; questions are
// answered by policy.
#ifndef DEVHOST_MESSAGES_H
#define DEVHOST_MESSAGES_H

#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include <lwsdk/services.h>

namespace devhost {

struct Message {
    enum Kind { Info, Error, Warning, Question };
    Kind kind;
    std::string line1;
    std::string line2;
    std::string title; // questions only
    int answer = 0;    // questions only
};

class Messages {
public:
    enum class Answer { Yes, No, Cancel };

    Messages();

    const LWMessageFuncs *table() { return &table_; }

    // Questions take scripted answers first, then the policy.
    void setPolicy(Answer answer) { policy_ = answer; }
    void scriptAnswers(const std::vector<Answer> &answers);
    void queueAnswer(Answer answer) { script_.push_back(answer); }

    // Where messages are printed; null: nowhere. Warnings go where errors
    // go unless given a place of their own.
    void setOutput(std::ostream *info, std::ostream *errors);
    void setOutput(std::ostream *info, std::ostream *warnings, std::ostream *errors);

    const std::vector<Message> &all() const { return log_; }
    std::vector<Message> ofKind(Message::Kind kind) const;
    void clear() { log_.clear(); }

    void post(Message::Kind kind, const char *line1, const char *line2);
    int ask(const char *title, const char *line1, const char *line2, bool threeWay);

private:
    LWMessageFuncs table_;
    std::vector<Message> log_;
    Answer policy_ = Answer::Yes;
    std::deque<Answer> script_;
    std::ostream *info_;
    std::ostream *warnings_;
    std::ostream *errors_;
};

} // namespace devhost

#endif

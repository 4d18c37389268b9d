// The commands of `devhost ui` scripts come from one table: every row is
// listed by the program's help and the manual, and every row is what a
// script line of that name runs.
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "devhost/tools/UiScript.h"

namespace {

using devhost::UiScript;

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

class UiScriptVerbsTest : public testsupport::HostTest {
protected:
    // Runs a one-line script; answers its status, errors in *errors.
    int runLine(const std::string &line, std::string *errors)
    {
        std::istringstream script(line + "\n");
        std::ostringstream out, err;
        UiScript ui(host(), script, "verbs.ui", out, err);
        const int status = ui.run();
        *errors = err.str();
        return status;
    }
};

TEST(UiScriptVerbs, TheHelpListsEveryVerbWithItsArgumentsAndWhatItDoes)
{
    std::string help;
    ASSERT_EQ(testsupport::run(testsupport::devhostPath() + " --help", &help), 0);
    ASSERT_GT(UiScript::verbs().size(), 20u);
    for (const UiScript::Verb &v : UiScript::verbs())
        EXPECT_TRUE(has(help, "\n  " + UiScript::usage(v) + "\n      " + v.help + "\n"))
            << v.name << "\n" << help;
}

TEST(UiScriptVerbs, TheManualHasARowForEveryVerb)
{
    std::istringstream manual(testsupport::readFile(std::string(DOCS_DIR) + "/docs/devhost.md"));
    std::string rows;
    for (std::string line; std::getline(manual, line);)
        if (line.rfind("| `", 0) == 0)
            rows += line + "\n";
    for (const UiScript::Verb &v : UiScript::verbs()) {
        const std::string name = std::string("`") + v.name;
        EXPECT_TRUE(has(rows, name + " ") || has(rows, name + "`")) << v.name;
    }
}

TEST_F(UiScriptVerbsTest, EveryVerbRunsItsOwnRowAndRefusesAWrongArgumentCount)
{
    for (const UiScript::Verb &v : UiScript::verbs()) {
        // One argument too many, or for a verb that takes any number, too few.
        const bool unbounded = v.most == UiScript::kAny;
        std::string line = v.name;
        for (std::size_t i = 0; i < (unbounded ? v.least - 1 : v.most + 1); ++i)
            line += " x";
        std::string errors;
        EXPECT_EQ(runLine(line, &errors), 1) << line;
        EXPECT_TRUE(has(errors, "verbs.ui line 1: usage: " + UiScript::usage(v) + "\n"))
            << line << ": " << errors;
    }
}

TEST_F(UiScriptVerbsTest, AnUnknownVerbIsRefusedNamingEveryVerb)
{
    std::string errors;
    EXPECT_EQ(runLine("frobnicate now", &errors), 1);
    const std::string lead = "line 1: unknown command frobnicate (";
    ASSERT_TRUE(has(errors, lead)) << errors;
    const std::size_t from = errors.find(lead) + lead.size();
    std::string names;
    for (const UiScript::Verb &v : UiScript::verbs())
        names += (names.empty() ? "" : ", ") + std::string(v.name);
    EXPECT_EQ(errors.substr(from, errors.find(')', from) - from), names);
}

TEST_F(UiScriptVerbsTest, VerbsOfThePreviewWindowNameIt)
{
    const std::pair<const char *, const char *> cases[] = {
        {"click window 1 2", "click"}, {"mode window 1", "mode"}, {"resize window 3 4", "resize"}};
    for (const auto &[line, name] : cases) {
        std::string errors;
        EXPECT_EQ(runLine(line, &errors), 1) << line;
        EXPECT_TRUE(has(errors, "line 1: usage: " + UiScript::usage(*UiScript::verb(name)) + "\n"))
            << errors;
    }
}

} // namespace

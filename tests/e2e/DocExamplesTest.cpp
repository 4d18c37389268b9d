// The scenes shown in the documentation, rendered by the devhost program as
// a reader would run them: each must write exactly the files its "# writes:"
// lines name, and every OpenEXR file among them must open.

#include <fstream>
#include <regex>
#include <sstream>

#include "E2ESupport.h"

namespace {

struct Example {
    std::string where; // "docs/scene-format.md:109"
    std::string scene;
    std::vector<std::string> writes;
};

// Every fenced block of the Markdown files; blocks marked "scene" are
// examples to render.
std::vector<Example> examplesIn(const std::string &relative, std::vector<std::string> &unmarked)
{
    std::ifstream in(std::string(DOCS_DIR) + "/" + relative);
    std::vector<Example> found;
    std::string line, fence, body;
    int lineNo = 0, start = 0;
    bool inside = false;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.rfind("```", 0) != 0) {
            if (inside)
                body += line + "\n";
            continue;
        }
        if (!inside) {
            inside = true;
            fence = line.substr(3);
            body.clear();
            start = lineNo;
            continue;
        }
        inside = false;
        const std::string where = relative + ":" + std::to_string(start);
        if (fence != "scene") {
            // A sketch of the format says so with "text"; an unmarked block
            // that reads like a scene would escape the test.
            if (fence.empty() && (body.find("EndPlugin") != std::string::npos ||
                                  body.find("{ FrameSize") != std::string::npos))
                unmarked.push_back(where);
            continue;
        }
        Example e{where, body, {}};
        std::istringstream lines(body);
        static const std::regex writes(R"(^# writes:(.*)$)");
        for (std::string l; std::getline(lines, l);) {
            std::smatch m;
            if (!std::regex_match(l, m, writes))
                continue;
            std::istringstream names(m[1].str());
            for (std::string name; names >> name;)
                e.writes.push_back(name);
        }
        found.push_back(e);
    }
    return found;
}

TEST(DocExamples, EverySceneInTheDocsWritesWhatItsTextSays)
{
    std::vector<Example> examples;
    std::vector<std::string> unmarked;
    for (const char *doc : {"README.md", "docs/scene-format.md", "docs/devhost.md", "docs/user-guide.md"}) {
        const std::vector<Example> found = examplesIn(doc, unmarked);
        examples.insert(examples.end(), found.begin(), found.end());
    }
    EXPECT_TRUE(unmarked.empty()) << "scene blocks not marked as such: " << ::testing::PrintToString(unmarked);
    ASSERT_FALSE(examples.empty()) << "the docs show no scene";

    for (const Example &e : examples) {
        SCOPED_TRACE(e.where);
        EXPECT_FALSE(e.writes.empty()) << "the example says nothing about what it writes";
        testsupport::TempDir dir;
        const std::string scene = dir.file("example.lws");
        testsupport::writeFile(scene, e.scene);
        std::string output;
        ASSERT_EQ(testsupport::run(testsupport::devhostPath() + " render " + e2e::shellQuoted(scene) + " --quiet", &output), 0)
            << output;
        std::vector<std::string> want;
        for (const std::string &file : e.writes)
            want.push_back(testsupport::nativePath(file));
        want.push_back("example.lws");
        std::sort(want.begin(), want.end());
        EXPECT_EQ(e2e::filesIn(dir.path()), want);
        for (const std::string &file : e.writes) {
            if (file.size() > 4 && file.substr(file.size() - 4) == ".exr") {
                EXPECT_NO_THROW(e2e::headerOf(dir.file(file))) << file;
            }
        }
    }
}

} // namespace

#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace testsupport {

std::string modulePath() { return RAVELCAST_MODULE_PATH; }

std::string testModulePath(const std::string &name)
{
    return std::string(RAVELCAST_LIB_DIR) + "/" + name + ".so";
}

std::string devhostPath() { return DEVHOST_PATH; }

std::string dataPath(const std::string &name) { return std::string(TEST_DATA_DIR) + "/" + name; }

TempDir::TempDir()
{
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("ravelcast-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void HostTest::SetUp()
{
    host_ = std::make_unique<devhost::Host>();
    host_->messages().setOutput(nullptr, nullptr);
}

void HostTest::TearDown() { host_.reset(); }

devhost::Module &HostTest::load(const std::string &path) { return host_->loadModule(path); }

std::vector<std::string> HostTest::messages(devhost::Message::Kind kind) const
{
    std::vector<std::string> out;
    for (const devhost::Message &m : host_->messages().ofKind(kind))
        out.push_back(m.line1 + "|" + m.line2);
    return out;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> namesIn(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int run(const std::string &command, std::string *output)
{
    std::string out;
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = pclose(p);
    if (output)
        *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

::testing::AssertionResult haveProgram(const std::string &program, const std::string &package)
{
    std::string out;
    if (run("command -v " + program, &out) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << program << " is not installed: this test checks files with it (Debian package "
           << package << "; scripts/deps test installs it)";
}

} // namespace testsupport

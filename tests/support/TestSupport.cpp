#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace testsupport {

std::string modulePath() { return RAVELCAST_MODULE_PATH; }

std::string nativePath(std::string path)
{
#if defined(_WIN32)
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

void setEnv(const std::string &name, const char *value)
{
#if defined(_WIN32)
    _putenv_s(name.c_str(), value ? value : "");
#else
    if (value)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
#endif
}

std::string testModulePath(const std::string &name)
{
    return std::string(RAVELCAST_LIB_DIR) + "/" + name + TEST_MODULE_SUFFIX;
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
        names.push_back(it->path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

int run(const std::string &command, std::string *output)
{
    std::string out;
#if defined(_WIN32)
    // cmd /c takes off the first and the last quote of a line: one pair
    // more keeps the command's own.
    FILE *p = _popen(("\"" + command + " 2>&1\"").c_str(), "rb");
#else
    FILE *p = popen((command + " 2>&1").c_str(), "r");
#endif
    if (!p)
        return -1;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
#if defined(_WIN32)
    const int status = _pclose(p);
    // Programs write text lines ending in CR LF here.
    std::string lines;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n'))
            lines += out[i];
    if (output)
        *output = lines;
    return status;
#else
    const int status = pclose(p);
    if (output)
        *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
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

// Shared fixtures: a development host with the module loaded, temporary
// folders, and paths of the things the build made.
#ifndef RAVELCAST_TESTS_SUPPORT_TESTSUPPORT_H
#define RAVELCAST_TESTS_SUPPORT_TESTSUPPORT_H

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "devhost/Host.h"

namespace testsupport {

// Whether the independent readers (exrheader, oiiotool) can be started:
// they are programs of the Linux machine, which the suites built for
// Windows cannot start under Wine; there those checks are left to the Linux
// suites.
#if defined(_WIN32)
inline constexpr bool kIndependentReaders = false;
#else
inline constexpr bool kIndependentReaders = true;
#endif

// A path written with '/' as the platform writes it ('\\' on Windows).
std::string nativePath(std::string path);

// Sets an environment variable of this process, or removes it when value is
// null (setenv and unsetenv; _putenv_s on Windows).
void setEnv(const std::string &name, const char *value);

// The module the host loads, and the small modules of the test suites.
std::string modulePath();
std::string testModulePath(const std::string &name);
std::string devhostPath();
std::string dataPath(const std::string &name);

// A fresh folder removed again when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    // In UTF-8, with the platform's separators throughout, as the module
    // names files.
    std::string file(const std::string &name) const
    {
        return (path_ / std::filesystem::u8path(name)).make_preferred().u8string();
    }

private:
    std::filesystem::path path_;
};

// A development host with messages recorded but not printed.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    devhost::Module &load(const std::string &path = modulePath());
    devhost::Host &host() { return *host_; }
    // The messages of one kind, as "line1|line2".
    std::vector<std::string> messages(devhost::Message::Kind kind) const;

    std::unique_ptr<devhost::Host> host_;
};

std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &text);
// The names directly inside a folder (files, folders, hidden ones too),
// sorted.
std::vector<std::string> namesIn(const std::string &folder);

// Runs a shell command; answers its exit status and its output.
int run(const std::string &command, std::string *output);

// The independent readers files are checked with are required: a missing
// one fails the test, naming the Debian package (scripts/deps test
// installs it), rather than letting it pass with fewer checks.
::testing::AssertionResult haveProgram(const std::string &program, const std::string &package);

} // namespace testsupport

#endif

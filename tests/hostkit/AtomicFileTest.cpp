// Replacing writes: whole files or none, many writers of one name at once,
// leftovers of killed writers cleaned, running writers' files kept.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "hostkit/utility/AtomicFile.h"

namespace {

using hostkit::AtomicFile;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::TempDir;

bool write(AtomicFile &f, const std::string &bytes)
{
    return f.file().write(bytes.data(), bytes.size());
}

std::vector<std::string> temporariesIn(const std::string &folder)
{
    std::vector<std::string> names;
    for (const std::string &n : namesIn(folder))
        if (AtomicFile::isTemporaryName(n))
            names.push_back(n);
    return names;
}

// Marks a file read-only or writable again (the read-only attribute on
// Windows).
void setReadOnly(const std::string &path, bool readOnly)
{
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

#if !defined(_WIN32)
// Whether a temporary's name says it is a writer of this process.
bool writtenBy(const std::string &name, pid_t pid)
{
    char field[16];
    std::snprintf(field, sizeof field, "-%08x-", static_cast<unsigned int>(pid));
    return name.find(field) == 28;
}

// A child process that begins writing `path`, says so through a pipe and
// then waits to be told to commit (or dies before).
struct Writer {
    pid_t pid = -1;
    int go = -1;

    explicit Writer(const std::string &path)
    {
        int ready[2], wait[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(wait), 0);
        pid = fork();
        if (pid == 0) {
            close(ready[0]);
            close(wait[1]);
            AtomicFile f;
            if (!f.open(path) || !write(f, "child's frame"))
                _exit(2);
            char c = 1;
            (void)!::write(ready[1], &c, 1);
            if (::read(wait[0], &c, 1) != 1)
                _exit(3);
            _exit(f.commit() ? 0 : 4);
        }
        close(ready[1]);
        close(wait[0]);
        char c = 0;
        EXPECT_EQ(::read(ready[0], &c, 1), 1) << "the child began its write";
        close(ready[0]);
        go = wait[1];
    }
    ~Writer()
    {
        if (pid > 0)
            kill();
    }
    int commit()
    {
        const char c = 1;
        (void)!::write(go, &c, 1);
        close(go);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void kill()
    {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(go);
        pid = -1;
    }
};

#endif

TEST(AtomicFile, ReplacesWholeOrNotAtAll)
{
    TempDir dir;
    const std::string path = dir.file("frame.exr");
    testsupport::writeFile(path, "the good frame");

    // Until the commit the old file is what the name holds; the bytes go to
    // a temporary of a fixed-length name beside it.
    {
        AtomicFile f;
        ASSERT_TRUE(f.open(path)) << f.cause();
        ASSERT_TRUE(write(f, "a new frame"));
        EXPECT_EQ(readFile(path), "the good frame");
        const std::vector<std::string> temps = temporariesIn(dir.path().string());
        ASSERT_EQ(temps.size(), 1u);
        EXPECT_EQ(temps[0].size(), 50u);
        EXPECT_TRUE(AtomicFile::isTemporaryOf(temps[0], path));
        EXPECT_FALSE(AtomicFile::isTemporaryOf(temps[0], dir.file("other.exr")));
        ASSERT_TRUE(f.commit()) << f.cause();
    }
    EXPECT_EQ(readFile(path), "a new frame");
    EXPECT_EQ(namesIn(dir.path().string()), std::vector<std::string>{"frame.exr"});

    // Abandoned (a failure, or the writer gone): the old file stays.
    {
        AtomicFile f;
        ASSERT_TRUE(f.open(path));
        ASSERT_TRUE(write(f, "half a fr"));
    }
    EXPECT_EQ(readFile(path), "a new frame");
    EXPECT_EQ(namesIn(dir.path().string()), std::vector<std::string>{"frame.exr"});

    // A writer that lets another write the temporary by its name.
    {
        AtomicFile f;
        ASSERT_TRUE(f.open(path));
        f.release();
        EXPECT_FALSE(f.isOpen());
        testsupport::writeFile(f.writtenName(), "written by the host");
        ASSERT_TRUE(f.commit()) << f.cause();
    }
    EXPECT_EQ(readFile(path), "written by the host");

    // Refused: a folder, a file marked read-only (also when it becomes one
    // while the new file is written); a missing folder fails to open.
    const std::string folder = dir.file("folder.exr");
    std::filesystem::create_directory(folder);
    AtomicFile refused;
    EXPECT_FALSE(refused.open(folder));
    EXPECT_TRUE(refused.refused());
    EXPECT_EQ(refused.cause(), "It is a folder, not a file.");
    setReadOnly(path, true);
    EXPECT_FALSE(refused.open(path));
    EXPECT_EQ(refused.cause(), "The file is read-only; it is kept as it is.");
    setReadOnly(path, false);
    {
        AtomicFile f;
        ASSERT_TRUE(f.open(path));
        write(f, "late");
        setReadOnly(path, true);
        EXPECT_FALSE(f.commit());
        EXPECT_TRUE(f.refused());
    }
    setReadOnly(path, false);
    EXPECT_EQ(readFile(path), "written by the host");
    AtomicFile missing;
    EXPECT_FALSE(missing.open(dir.file("absent/frame.exr")));
    EXPECT_FALSE(missing.refused());
#if defined(_WIN32)
    EXPECT_FALSE(missing.cause().empty());
#else
    EXPECT_EQ(missing.cause(), std::strerror(ENOENT));
#endif
    EXPECT_EQ(temporariesIn(dir.path().string()), std::vector<std::string>{});

    // The longest name the system takes can be written: the temporary's
    // name does not grow with it.
    const std::string longest = dir.file(std::string(250, 'n') + ".exr");
    AtomicFile f;
    ASSERT_TRUE(f.open(longest)) << f.cause();
    write(f, "long");
    ASSERT_TRUE(f.commit()) << f.cause();
    EXPECT_EQ(readFile(longest), "long");

    // A device is written as it is.
    AtomicFile device;
#if defined(_WIN32)
    ASSERT_TRUE(device.open("NUL")) << device.cause();
#else
    ASSERT_TRUE(device.open("/dev/null"));
#endif
    EXPECT_TRUE(device.inPlace());
    EXPECT_TRUE(write(device, "gone"));
    EXPECT_TRUE(device.commit());
}

TEST(AtomicFile, ManyWritersOfOneNameAllSucceedAndTheLastWins)
{
    TempDir dir;
    const std::string path = dir.file("shared.exr");
    constexpr int kWriters = 8;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            for (int round = 0; round < 20; ++round) {
                const std::string bytes(4096 + w * 1000, static_cast<char>('a' + w));
                AtomicFile f;
                if (!f.open(path) || !write(f, bytes) || !f.commit())
                    ++failures;
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    // One writer's whole file, nothing of another's in it.
    const std::string got = readFile(path);
    ASSERT_FALSE(got.empty());
    const int w = got[0] - 'a';
    EXPECT_EQ(got, std::string(4096 + w * 1000, got[0]));
    EXPECT_EQ(namesIn(dir.path().string()), std::vector<std::string>{"shared.exr"});
}

#if !defined(_WIN32)
TEST(AtomicFile, LeftoversOfKilledWritersGoThoseOfRunningOnesStay)
{
    TempDir dir;
    const std::string path = dir.file("frame.exr");

    // A writer that runs, and one killed in the middle, which leaves its
    // temporary behind.
    Writer running(path);
    const pid_t runningPid = running.pid;
    Writer killed(path);
    const pid_t killedPid = killed.pid;
    killed.kill();
    std::vector<std::string> left = temporariesIn(dir.path().string());
    ASSERT_EQ(left.size(), 2u);

    // A later write of the name removes the killed one's, keeps the
    // running one's.
    {
        AtomicFile later;
        ASSERT_TRUE(later.open(path));
        left = temporariesIn(dir.path().string());
        ASSERT_EQ(left.size(), 2u);
        for (const std::string &name : left) {
            EXPECT_FALSE(writtenBy(name, killedPid)) << name;
            EXPECT_TRUE(writtenBy(name, runningPid) || writtenBy(name, getpid())) << name;
        }
        write(later, "later frame");
        ASSERT_TRUE(later.commit());
    }
    EXPECT_EQ(running.commit(), 0) << "the running writer was not disturbed";
    EXPECT_EQ(readFile(path), "child's frame");
    EXPECT_EQ(namesIn(dir.path().string()), std::vector<std::string>{"frame.exr"});

    // Another name's leftovers are another write's business.
    const std::string other = dir.file("other.exr");
    Writer otherKilled(other);
    otherKilled.kill();
    {
        AtomicFile f;
        ASSERT_TRUE(f.open(path));
        write(f, "x");
        ASSERT_TRUE(f.commit());
    }
    ASSERT_EQ(temporariesIn(dir.path().string()).size(), 1u);
    EXPECT_TRUE(AtomicFile::isTemporaryOf(temporariesIn(dir.path().string())[0], other));

    // A link dressed as that leftover is never followed, nor removed.
    const std::string leftover = dir.file(temporariesIn(dir.path().string())[0]);
    const std::string outside = dir.file("outside.txt");
    testsupport::writeFile(outside, "not the module's");
    std::filesystem::remove(leftover);
    std::filesystem::create_symlink(outside, leftover);
    {
        AtomicFile f;
        ASSERT_TRUE(f.open(other));
        write(f, "other frame");
        ASSERT_TRUE(f.commit());
    }
    EXPECT_EQ(readFile(outside), "not the module's");
    EXPECT_EQ(readFile(other), "other frame");
    EXPECT_TRUE(std::filesystem::is_symlink(leftover));
}

#endif

} // namespace

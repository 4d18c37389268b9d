// The file streams the OpenEXR library reads and writes through: opening,
// the read contract at the end of a file, positions beyond 4 GiB, clear(),
// replacing files, and the labelled messages of failures.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <Iex.h>

#include "StreamMessages.h"
#include "TestSupport.h"
#include "exrio/FileInputStream.h"
#include "exrio/FileOutputStream.h"
#include "hostkit/utility/PlatformFile.h"

using testsupport::TempDir;

namespace {

constexpr std::uint64_t kGiB = std::uint64_t(1) << 30;

// The platform's codes for a missing folder and an offset it cannot take.
#if defined(_WIN32)
constexpr hostkit::PlatformFile::ErrorCode kNoFolder = 3;   // ERROR_PATH_NOT_FOUND
constexpr hostkit::PlatformFile::ErrorCode kTooFar = 131;   // ERROR_NEGATIVE_SEEK
#else
constexpr hostkit::PlatformFile::ErrorCode kNoFolder = ENOENT;
constexpr hostkit::PlatformFile::ErrorCode kTooFar = EOVERFLOW;
#endif

std::string failed(const char *label, hostkit::PlatformFile::ErrorCode code)
{
    return std::string(label) + " failed with error: " + hostkit::PlatformFile::errorText(code);
}

// A file of the given length holding no data (sparse where the file system
// can).
void makeSparseFile(const std::string &path, std::uint64_t length)
{
    { std::ofstream create(path, std::ios::binary); }
    std::filesystem::resize_file(path, length);
}

#if !defined(_WIN32)
// Limits the size of files this process may write, for one scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

#endif

// A thread joined however the scope is left.
class JoiningThread {
public:
    template <class F>
    explicit JoiningThread(F f) : thread_(std::move(f))
    {
    }
    ~JoiningThread() { join(); }
    JoiningThread(const JoiningThread &) = delete;
    JoiningThread &operator=(const JoiningThread &) = delete;
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }

private:
    std::thread thread_;
};

} // namespace

TEST(InputStream, OpensExistingFilesOnly)
{
    TempDir dir;
    const std::string missing = dir.file("missing.exr");
    EXPECT_EQ(inputExcMessage([&] { Imf::Win32IFStream s(missing); }), "File does not exist.");
    // A folder is not a file, whatever POSIX would allow.
    EXPECT_EQ(inputExcMessage([&] { Imf::Win32IFStream s(dir.path().string()); }),
              "File does not exist.");

    const std::string path = dir.file("data.bin");
    testsupport::writeFile(path, "0123456789");
    Imf::Win32IFStream s(path);
    EXPECT_STREQ(s.fileName(), path.c_str());
    EXPECT_FALSE(s.isMemoryMapped());
    EXPECT_EQ(s.tellg(), 0u);
}

TEST(InputStream, ReadDeliversAllBytesAndTellsTheEnd)
{
    TempDir dir;
    const std::string path = dir.file("data.bin");
    testsupport::writeFile(path, "abcdefgh");

    Imf::Win32IFStream s(path);
    char buf[16] = {};
    EXPECT_TRUE(s.read(buf, 3));
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(s.tellg(), 3u);
    // Reaching the end exactly succeeds, and says the last byte has gone.
    EXPECT_FALSE(s.read(buf, 5));
    EXPECT_EQ(std::string(buf, 5), "defgh");
    EXPECT_EQ(s.tellg(), 8u);
    EXPECT_EQ(inputExcMessage([&] { s.read(buf, 1); }),
              "Win32IFStream::read() failed with error: unexpected end of file");

    // Asking for more than is left fails, though some bytes arrive.
    Imf::Win32IFStream t(path);
    t.seekg(6);
    EXPECT_EQ(inputExcMessage([&] { t.read(buf, 4); }),
              "Win32IFStream::read() failed with error: unexpected end of file");

    // Seeking back makes the bytes readable again.
    t.seekg(0);
    EXPECT_TRUE(t.read(buf, 7));
    EXPECT_EQ(std::string(buf, 7), "abcdefg");
}

#if !defined(_WIN32)
TEST(InputStream, ReadCollectsShortTransfers)
{
    // A pipe hands its bytes over as they are written: one request is
    // answered in pieces and the stream has to gather them.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
    Imf::Win32IFStream s(path);
    ::close(fds[0]);

    const std::vector<std::string> pieces = {"first-", "second-", "third"};
    JoiningThread writer([&] {
        for (const std::string &p : pieces) {
            EXPECT_EQ(::write(fds[1], p.data(), p.size()), static_cast<ssize_t>(p.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        ::close(fds[1]);
    });
    const std::string expected = "first-second-third";
    std::string got(expected.size(), '\0');
    // A pipe cannot tell whether more follows: not known to be at its end.
    EXPECT_NO_THROW(EXPECT_TRUE(s.read(got.data(), static_cast<int>(got.size()))));
    EXPECT_EQ(got, expected);
    writer.join();
    char c;
    EXPECT_EQ(inputExcMessage([&] { s.read(&c, 1); }),
              "Win32IFStream::read() failed with error: unexpected end of file");
}

#endif

TEST(InputStream, PositionsBeyond4GiB)
{
    TempDir dir;
    const std::string path = dir.file("sparse.bin");
    const std::uint64_t length = 6 * kGiB + 10;
    makeSparseFile(path, length);

    Imf::Win32IFStream s(path);
    const std::uint64_t at = 5 * kGiB + 7;
    s.seekg(at);
    EXPECT_EQ(s.tellg(), at);
    char buf[4] = {'x', 'x', 'x', 'x'};
    EXPECT_TRUE(s.read(buf, 4));
    EXPECT_EQ(std::string(buf, 4), std::string(4, '\0'));
    EXPECT_EQ(s.tellg(), at + 4);

    s.seekg(length - 2);
    EXPECT_FALSE(s.read(buf, 2));
    EXPECT_EQ(s.tellg(), length);

    // An offset the platform cannot represent fails with the label.
    const std::uint64_t huge = ~std::uint64_t(0);
    EXPECT_EQ(inputExcMessage([&] { s.seekg(huge); }), failed("Win32IFStream::seekg()", kTooFar));
    EXPECT_EQ(s.tellg(), length);
}

TEST(InputStream, ClearResetsErrorStateOnly)
{
    TempDir dir;
    const std::string path = dir.file("data.bin");
    testsupport::writeFile(path, "abcdef");
    Imf::Win32IFStream s(path);
    char buf[8];
    s.read(buf, 2);

#if !defined(_WIN32)
    errno = EIO;
    EXPECT_NO_THROW(s.clear());
    EXPECT_EQ(errno, 0);
#endif
    EXPECT_EQ(s.tellg(), 2u);

    // After a failed read too.
    EXPECT_THROW(s.read(buf, 8), Iex::InputExc);
    const std::uint64_t after = s.tellg();
    EXPECT_NO_THROW(s.clear());
    EXPECT_EQ(s.tellg(), after);
    s.seekg(4);
    EXPECT_FALSE(s.read(buf, 2));
    EXPECT_EQ(std::string(buf, 2), "ef");

    // A stale error code left by someone else fails neither tell nor seek.
    errno = EBADF;
    EXPECT_EQ(s.tellg(), 6u);
    errno = EBADF;
    EXPECT_NO_THROW(s.seekg(1));
    EXPECT_EQ(s.tellg(), 1u);
}

TEST(OutputStream, CreatesOrReplacesFiles)
{
    TempDir dir;
    const std::string path = dir.file("out.bin");
    testsupport::writeFile(path, "a much longer old content that must vanish");
    {
        Imf::Win32OFStream s(path);
        EXPECT_STREQ(s.fileName(), path.c_str());
        EXPECT_EQ(s.tellp(), 0u);
        s.write("new", 3);
        EXPECT_EQ(s.tellp(), 3u);
        EXPECT_TRUE(s.failure().empty());
    }
    EXPECT_EQ(testsupport::readFile(path), "new");

    // A fresh file, with writes placed by seeking.
    const std::string fresh = dir.file("fresh.bin");
    {
        Imf::Win32OFStream s(fresh);
        s.write("0123456789", 10);
        s.seekp(2);
        EXPECT_EQ(s.tellp(), 2u);
        s.write("AB", 2);
        EXPECT_EQ(s.tellp(), 4u);
    }
    EXPECT_EQ(testsupport::readFile(fresh), "01AB456789");

    // Large writes arrive whole.
    std::string big(4 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 131 + (i >> 12));
    {
        Imf::Win32OFStream s(fresh);
        s.write(big.data(), static_cast<int>(big.size()));
        EXPECT_EQ(s.tellp(), big.size());
    }
    EXPECT_TRUE(testsupport::readFile(fresh) == big);
}

TEST(OutputStream, FailuresCarryTheLabelAndThePlatformText)
{
    TempDir dir;
    const std::string inMissingFolder = (dir.path() / "no-such-folder" / "out.exr").string();
    EXPECT_EQ(inputExcMessage([&] { Imf::Win32OFStream s(inMissingFolder); }),
              failed("Win32OFStream::Win32OFStream()", kNoFolder));
    EXPECT_FALSE(std::filesystem::exists(inMissingFolder));

    Imf::Win32OFStream fresh(dir.file("fresh.bin"));
    EXPECT_EQ(inputExcMessage([&] { fresh.seekp(~std::uint64_t(0)); }),
              failed("Win32OFStream::seekp()", kTooFar));
    EXPECT_EQ(fresh.failure(), failed("Win32OFStream::seekp()", kTooFar));

#if !defined(_WIN32)

    // A device that is always full refuses every write.
    // Small writes are buffered: the failure comes when they are written
    // out.
    Imf::Win32OFStream full("/dev/full");
    EXPECT_EQ(inputExcMessage([&] {
                  full.write("abc", 3);
                  full.flush();
              }),
              failed("Win32OFStream::write()", ENOSPC));
    // The first failure is kept for an owner that cannot see the throw.
    EXPECT_EQ(full.failure(), failed("Win32OFStream::write()", ENOSPC));
    EXPECT_THROW(full.seekp(~std::uint64_t(0)), Iex::InputExc);
    EXPECT_EQ(full.failure(), failed("Win32OFStream::write()", ENOSPC));
#endif
}

#if !defined(_WIN32)
TEST(OutputStream, ShortWriteIsNotSilentlyLost)
{
    // Past the size limit the platform writes part of a request and then
    // refuses the rest; the stream must say so instead of dropping it.
    TempDir dir;
    const std::string path = dir.file("limited.bin");
    Imf::Win32OFStream s(path);
    const std::string data(4000, 'q');
    std::string message;
    {
        FileSizeLimit limit(1000);
        message = inputExcMessage([&] {
            s.write(data.data(), static_cast<int>(data.size()));
            s.flush();
        });
    }
    EXPECT_EQ(message, failed("Win32OFStream::write()", EFBIG));
    EXPECT_EQ(std::filesystem::file_size(path), 1000u);
}

#endif

TEST(OutputStream, PositionsBeyond4GiB)
{
    TempDir dir;
    const std::string path = dir.file("sparse-out.bin");
    const std::uint64_t at = 5 * kGiB + 3;
    {
        Imf::Win32OFStream s(path);
        s.seekp(at);
        EXPECT_EQ(s.tellp(), at);
        s.write("xy", 2);
        EXPECT_EQ(s.tellp(), at + 2);
    }
    EXPECT_EQ(std::filesystem::file_size(path), at + 2);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(at - 1));
    char buf[3] = {};
    in.read(buf, 3);
    EXPECT_EQ(std::string(buf, 3), std::string("\0xy", 3));
}

#if defined(_WIN32)
TEST(Streams, WindowsSharing)
{
    // A file being written is nobody else's; a file being read may be read
    // by others, not written.
    TempDir dir;
    const std::string path = dir.file("shared.bin");
    {
        Imf::Win32OFStream writer(path);
        writer.write("shared", 6);
        writer.flush();
        EXPECT_THROW(Imf::Win32IFStream reader(path), Iex::BaseExc);
    }
    Imf::Win32IFStream a(path);
    Imf::Win32IFStream b(path);
    char x[6], y[3];
    EXPECT_FALSE(a.read(x, 6));
    EXPECT_TRUE(b.read(y, 3));
    EXPECT_EQ(std::string(x, 6), "shared");
    EXPECT_EQ(std::string(y, 3), "sha");
    EXPECT_THROW(Imf::Win32OFStream writer(path), Iex::BaseExc);
}
#else
TEST(Streams, PosixOpensWithoutLocks)
{
    // Files are opened without locks on POSIX: a file being written can be
    // read, and several readers share a file.
    TempDir dir;
    const std::string path = dir.file("shared.bin");
    Imf::Win32OFStream writer(path);
    writer.write("shared", 6);
    writer.flush();
    Imf::Win32IFStream a(path);
    Imf::Win32IFStream b(path);
    char x[6], y[3];
    EXPECT_FALSE(a.read(x, 6));
    EXPECT_TRUE(b.read(y, 3));
    EXPECT_EQ(std::string(x, 6), "shared");
    EXPECT_EQ(std::string(y, 3), "sha");
    EXPECT_EQ(b.tellg(), 3u);
}

#endif

// Reads of every size at every kind of position, and seeks within and
// beyond the buffered bytes, deliver exactly the file's bytes and tell
// exact positions; the answer of read() still says when the last byte has
// gone.
TEST(InputStream, BufferedReadsMatchTheFile)
{
    TempDir dir;
    const std::string path = dir.file("pattern.bin");
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    testsupport::writeFile(path, bytes);

    Imf::Win32IFStream s(path);
    std::uint64_t at = 0;
    std::uint32_t seed = 12345;
    auto next = [&](std::uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    std::vector<char> buf(200000);
    for (int step = 0; step < 3000; ++step) {
        const std::uint32_t kind = next(10);
        if (kind == 0) {
            at = next(static_cast<std::uint32_t>(bytes.size()));
            s.seekg(at);
        } else if (kind == 1) {
            at = at > 100 ? at - next(100) : at; // a little way back
            s.seekg(at);
        }
        const std::uint64_t left = bytes.size() - at;
        const std::uint32_t sizes[] = {1, 4, 8, 17, 4096, 70000, 150000};
        std::size_t n = std::min<std::uint64_t>(sizes[next(7)], left);
        if (n == 0) {
            at = 0;
            s.seekg(0);
            continue;
        }
        const bool more = s.read(buf.data(), static_cast<int>(n));
        ASSERT_EQ(std::memcmp(buf.data(), bytes.data() + at, n), 0) << "step " << step;
        at += n;
        ASSERT_EQ(s.tellg(), at);
        ASSERT_EQ(more, at < bytes.size()) << "step " << step;
    }

    // One byte at a time through a whole file, as the library reads texts.
    Imf::Win32IFStream t(path);
    std::string got(bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(t.read(&got[i], 1), i + 1 < bytes.size());
    EXPECT_TRUE(got == bytes);
    EXPECT_EQ(inputExcMessage([&] { t.read(&got[0], 1); }),
              "Win32IFStream::read() failed with error: unexpected end of file");

#if !defined(_WIN32) // a file being read is not written by others on Windows
    // A file that grows after it was opened is read to its new end.
    Imf::Win32IFStream growing(path);
    growing.seekg(bytes.size() - 2);
    {
        std::ofstream more(path, std::ios::binary | std::ios::app);
        more << "xyz";
    }
    EXPECT_TRUE(growing.read(buf.data(), 2));
    EXPECT_FALSE(growing.read(buf.data(), 3));
    EXPECT_EQ(std::string(buf.data(), 3), "xyz");
#endif
}

// Small writes, seeks back and large writes land where they belong, and
// the position is exact all the while.
TEST(OutputStream, BufferedWritesLandInPlace)
{
    TempDir dir;
    const std::string path = dir.file("written.bin");
    std::string expected;
    {
        Imf::Win32OFStream s(path);
        std::uint32_t seed = 99;
        auto next = [&](std::uint32_t range) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % range;
        };
        std::uint64_t at = 0;
        for (int step = 0; step < 2000; ++step) {
            if (next(8) == 0 && !expected.empty()) {
                at = next(static_cast<std::uint32_t>(expected.size()));
                s.seekp(at);
            }
            const std::uint32_t sizes[] = {1, 8, 100, 4096, 65536, 100000};
            const std::size_t n = sizes[next(6)];
            std::string chunk(n, '\0');
            for (std::size_t i = 0; i < n; ++i)
                chunk[i] = static_cast<char>(next(256));
            s.write(chunk.data(), static_cast<int>(n));
            if (expected.size() < at + n)
                expected.resize(at + n);
            expected.replace(at, n, chunk);
            at += n;
            ASSERT_EQ(s.tellp(), at);
            if (expected.size() > (8u << 20)) {
                at = 0;
                s.seekp(0);
            }
        }
        s.flush();
#if !defined(_WIN32) // a file being written is nobody else's on Windows
        EXPECT_TRUE(testsupport::readFile(path) == expected) << "flushed bytes are in the file";
#endif
        s.write("tail", 4);
        expected.replace(at, 4, "tail");
    }
    EXPECT_TRUE(testsupport::readFile(path) == expected) << "the destructor writes the rest";
}

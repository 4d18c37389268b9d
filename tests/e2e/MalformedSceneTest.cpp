// Scene mistakes and unusable input files, given to the devhost program as
// a user would: each must end promptly with exit 2 and a message naming the
// file and the line, within a bounded amount of memory.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

struct Outcome {
    int status = -1;   // exit status; -1 when killed
    bool killed = false;
    std::string output; // standard output and error
};

// Runs the devhost program with the real module, its address space bounded
// to 100 MB (not under AddressSanitizer, whose shadow memory needs more),
// killed when it has not ended after a generous while.
Outcome devhost(const std::vector<std::string> &args, const std::string &outputFile)
{
    std::vector<std::string> all = {testsupport::devhostPath(), "--module", testsupport::modulePath()};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        if (!kAddressSanitizer) {
            const rlimit limit{100ul << 20, 100ul << 20};
            setrlimit(RLIMIT_AS, &limit);
        }
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Outcome run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            run.killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!run.killed && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    run.output = testsupport::readFile(outputFile);
    return run;
}

struct Mistake {
    const char *name;
    std::string text;
    const char *message; // after "Cannot read scene "<file>": "
};

const std::string kPlugin = "Plugin ImageFilterHandler 1 Ravelcast\n{ Version 2 }\n{ useRGBPrefix 1 }\nEndPlugin\n";

const std::vector<Mistake> kMistakes = {
    {"missing-brace.lws", "{ Scene\n  { FrameSize 64 48 }\n\n" + kPlugin,
     "line 4: { Scene opened on line 1 is not closed before Plugin (a } is missing)"},
    {"missing-leaf-brace.lws", "{ Scene\n  { FrameSize 64 48\n  { Frames 1 3 1 }\n}\n",
     "line 3: { FrameSize opened on line 2 is not closed before \"{\" (a } is missing)"},
    {"stray-brace.lws", "{ Scene { FrameSize 64 48 } }\n}\n" + kPlugin,
     "line 2: a } that closes no block"},
    {"plugin-brace.lws",
     "{ Scene { FrameSize 64 48 } }\nPlugin ImageFilterHandler 1 Ravelcast\n{ Version 2\n"
     "{ useRGBPrefix 1 }\nEndPlugin\n",
     "line 3: the block { Version opened here is not closed before EndPlugin on line 5 (a } is missing)"},
    {"no-endplugin.lws", "{ Scene { FrameSize 64 48 } }\nPlugin ImageFilterHandler 1 Ravelcast\n{ Version 2 }\n",
     "line 2: the section Plugin ImageFilterHandler 1 Ravelcast has no EndPlugin"},
    {"scene-keyword.lws", "{ Scene\n  { FrameSze 64 48 }\n}\n",
     "line 2: unknown keyword \"FrameSze\" in the Scene block; did you mean FrameSize? expected one of "
     "Name, Frames, "},
    {"host-keyword.lws", "{ Host\n  { Mod \"layout\" }\n}\n",
     "line 2: unknown keyword \"Mod\" in the Host block; did you mean Mode?"},
    {"camera-keyword.lws", "{ Scene\n  { Camera\n    { FocalLenght 35 }\n  }\n}\n",
     "line 3: unknown keyword \"FocalLenght\" in the Camera block; did you mean FocalLength?"},
    {"top-keyword.lws", "{ Scen { FrameSize 64 48 } }\n",
     "line 1: unknown block \"Scen\" (expected { Host ... }, { Scene ... } or a Plugin section)"},
    {"word-value.lws", "{ Scene\n  { Frames 1 three 1 }\n}\n",
     "line 2: Frames: the last frame must be a whole number from -999999999 to 999999999, not \"three\""},
    {"missing-value.lws", "{ Scene\n  { Frames 1 3 }\n}\n", "line 2: Frames: the frame step is missing"},
    {"extra-value.lws", "{ Scene\n  { FrameSize 64 48 12 }\n}\n",
     "line 2: FrameSize: \"12\" is one value too many"},
    {"huge-number.lws", "{ Scene { FrameSize 1e300 64 } }\n",
     "line 1: FrameSize: the width must be a whole number from 1 to 16384, not \"1e300\""},
    {"too-many-pixels.lws", "{ Scene { FrameSize 16384 16384 } }\n",
     "line 1: FrameSize: 16384 x 16384 is more than the 33554432 pixels a frame may have"},
    {"long-range.lws", "{ Scene\n{ Frames 1 4000000000 1 } }\n",
     "line 2: Frames: the last frame must be a whole number from -999999999 to 999999999, not \"4000000000\""},
    {"backwards-range.lws", "{ Scene { Frames 9 3 1 } }\n", "line 1: Frames: the last frame 3 comes before the first 9"},
    {"zero-rate.lws", "{ Scene { FramesPerSecond nan } }\n",
     "line 1: FramesPerSecond: the frame rate must be a number above 0 up to 1000, not \"nan\""},
    {"bad-mode.lws", "{ Host\n  { Mode \"studio\" }\n}\n",
     "line 2: Mode: unknown host mode \"studio\" (layout, modeler or screamernet)"},
    // Form feeds and vertical tabs are blanks; the lines still count.
    {"form-feed.lws", "{ Scene\f{ FrameSize 64 48 }\v\n\f\n{ Frames 1 x 1 } }\n",
     "line 3: Frames: the last frame must be"},
    {"unterminated.lws", "{ Scene\n  { Name \"shot.lws }\n}\n", "line 2: unterminated quoted string"},
};

TEST(MalformedScene, EachMistakeEndsPromptlyWithExit2NamingFileAndLine)
{
    testsupport::TempDir dir;
    const std::string output = dir.file("output.txt");
    for (const Mistake &m : kMistakes) {
        const std::string scene = dir.file(m.name);
        testsupport::writeFile(scene, m.text);
        for (const char *command : {"render", "describe"}) {
            const Outcome run = devhost({command, scene}, output);
            EXPECT_FALSE(run.killed) << m.name << ": still running after 30 s";
            EXPECT_EQ(run.status, 2) << m.name << "\n" << run.output;
            const std::string want =
                "devhost: Cannot read scene \"" + scene + "\": " + std::string(m.message);
            EXPECT_NE(run.output.find(want), std::string::npos)
                << m.name << "\nwant: " << want << "\ngot:  " << run.output;
        }
    }

    // Blanks of every kind around a correct scene read as blanks.
    const std::string fine = dir.file("blanks.lws");
    testsupport::writeFile(fine, "\f{\vScene\f{ FrameSize\t64\r\n48 }\v}\f\n" + kPlugin);
    const Outcome described = devhost({"describe", fine}, output);
    EXPECT_EQ(described.status, 0) << described.output;
    EXPECT_NE(described.output.find("ImageFilterHandler Ravelcast"), std::string::npos) << described.output;

    // Files that are no scene or image at all: a folder, a named pipe and a
    // file that does not exist.
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string missing = dir.file("missing.lws");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } inputs[] = {
        {{"render", dir.path().string()},
         "Cannot read scene \"" + dir.path().string() + "\": it is a folder, not a file"},
        {{"render", fifo}, "Cannot read scene \"" + fifo + "\": it is a named pipe, not a regular file"},
        {{"describe", missing}, "Cannot read scene \"" + missing + "\": file not found"},
        {{"convert", fifo, dir.file("out.png")},
         "Cannot read image \"" + fifo + "\": it is a named pipe, not a regular file"},
        {{"convert", dir.path().string(), dir.file("out.png")},
         "Cannot read image \"" + dir.path().string() + "\": it is a folder, not a file"},
        {{"convert", dir.file("gone.png"), dir.file("out.png")},
         "Cannot read image \"" + dir.file("gone.png") + "\": file not found"},
    };
    for (const auto &input : inputs) {
        const Outcome run = devhost(input.args, output);
        EXPECT_FALSE(run.killed) << input.message << ": still running after 30 s";
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find("devhost: " + input.message + "\n"), std::string::npos)
            << "want: " << input.message << "\ngot:  " << run.output;
        EXPECT_EQ(run.output.find("loader"), std::string::npos) << "no loader was tried\n" << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.png")));
}

} // namespace

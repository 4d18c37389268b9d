#include "E2ESupport.h"

#include <csignal>
#include <cstdio>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>

#include "devhost/SceneFile.h"

namespace e2e {

std::string sceneHeader(const std::string &extraScene, const std::string &mode, int width,
                        int height)
{
    return "{ Host { Version 10 0 2009 } { Mode \"" + mode + "\" } }\n"
           "{ Scene { Name \"e2e.lws\" } { Frames 1 1 1 } { FrameSize " +
           std::to_string(width) + " " + std::to_string(height) +
           " } { RGBPrefix \"out/shot\" } " + extraScene + " }\n";
}

#if !defined(_WIN32)
RenderNode::RenderNode(const std::string &scene, const std::string &content,
                       const std::string &frames, long fileSizeCap)
{
    pid = fork();
    if (pid != 0)
        return;
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    if (fileSizeCap > 0) {
        signal(SIGXFSZ, SIG_IGN); // a write past the cap fails instead
        const rlimit cap{static_cast<rlim_t>(fileSizeCap), static_cast<rlim_t>(fileSizeCap)};
        setrlimit(RLIMIT_FSIZE, &cap);
    }
    std::vector<std::string> args = {"devhost", "--module", testsupport::modulePath(), "render",
                                     scene,     "--content", content,                 "--quiet"};
    if (!frames.empty()) {
        args.push_back("--frames");
        args.push_back(frames);
    }
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(testsupport::devhostPath().c_str(), argv.data());
    _exit(127);
}

int RenderNode::wait() const
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RenderNode::kill() const { ::kill(pid, SIGKILL); }

#endif

std::vector<std::string> temporariesIn(const std::string &folder, int pid)
{
    // ".ravelcast-" name "-" machine "-" process "-" serial ".tmp"
    std::vector<std::string> found;
    char process[16];
    std::snprintf(process, sizeof process, "-%08x-", static_cast<unsigned int>(pid));
    for (const std::string &name : testsupport::namesIn(folder))
        if (name.rfind(".ravelcast-", 0) == 0 && name.size() == 50 &&
            (pid == 0 || name.find(process) == 28))
            found.push_back(name);
    return found;
}

std::vector<std::string> filesIn(const std::filesystem::path &dir)
{
    std::vector<std::string> files;
    if (!std::filesystem::exists(dir))
        return files;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files.push_back(std::filesystem::relative(e.path(), dir).u8string());
    std::sort(files.begin(), files.end());
    return files;
}

void RenderTest::SetUp()
{
    HostTest::SetUp();
    cwd = std::filesystem::current_path();
    load();
}

void RenderTest::TearDown()
{
    std::filesystem::current_path(cwd);
    HostTest::TearDown();
}

void RenderTest::loadScene(const std::string &scene)
{
    const std::string path = dir.file("e2e.lws");
    testsupport::writeFile(path, scene);
    devhost::readSceneFile(host(), path);
}

void RenderTest::render(const std::string &scene)
{
    loadScene(scene);
    devhost::RenderOptions options;
    options.dumpDirectory = dir.file("dump");
    devhost::RenderJob job(host(), options);
    job.run();
    std::filesystem::current_path(cwd);
}

std::string RenderTest::dump(int frame) const
{
    return dir.file("dump/" + devhost::frameFileName("buffers.", frame, "exr"));
}

std::vector<std::string> RenderTest::infoLines() const
{
    std::vector<std::string> lines;
    for (const devhost::Message &m : host_->messages().ofKind(devhost::Message::Info))
        lines.push_back(m.line1);
    return lines;
}

#if defined(_WIN32)
std::string shellQuoted(const std::string &s) { return "\"" + s + "\""; }
constexpr const char *kChangeFolder = "cd /d ";
#else
std::string shellQuoted(const std::string &s) { return "'" + s + "'"; }
constexpr const char *kChangeFolder = "cd ";
#endif

int devhostIn(const std::filesystem::path &folder, const std::string &arguments,
              std::string *output)
{
    return testsupport::run(kChangeFolder + shellQuoted(folder.string()) + " && " +
                                shellQuoted(testsupport::devhostPath()) + " --module " +
                                shellQuoted(testsupport::modulePath()) + " " + arguments + " 2>&1",
                            output);
}

} // namespace e2e

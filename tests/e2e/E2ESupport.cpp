#include "E2ESupport.h"

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

float Plane::at(int x, int y) const
{
    const int w = window.max.x - window.min.x + 1;
    return values[static_cast<std::size_t>(y - window.min.y) * w + (x - window.min.x)];
}

Plane readPlane(const std::string &file, const std::string &channel)
{
    Imf::InputFile in(file.c_str());
    Plane p;
    p.window = in.header().dataWindow();
    const int w = p.window.max.x - p.window.min.x + 1;
    const int h = p.window.max.y - p.window.min.y + 1;
    p.values.assign(static_cast<std::size_t>(w) * h, 0.0f);
    Imf::FrameBuffer fb;
    char *base = reinterpret_cast<char *>(p.values.data()) -
                 (static_cast<std::ptrdiff_t>(p.window.min.y) * w + p.window.min.x) * 4;
    fb.insert(channel, Imf::Slice(Imf::FLOAT, base, 4, static_cast<std::size_t>(w) * 4));
    in.setFrameBuffer(fb);
    in.readPixels(p.window.min.y, p.window.max.y);
    return p;
}

std::vector<std::string> channelsOf(const Imf::Header &header)
{
    std::vector<std::string> names;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
        names.push_back(it.name());
    return names;
}

Imf::Header headerOf(const std::string &file)
{
    Imf::InputFile in(file.c_str());
    return in.header();
}

std::vector<std::string> filesIn(const std::filesystem::path &dir)
{
    std::vector<std::string> files;
    if (!std::filesystem::exists(dir))
        return files;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files.push_back(std::filesystem::relative(e.path(), dir).string());
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

} // namespace e2e

// Rendering scenes through the real module and reading what it wrote.
#ifndef RAVELCAST_TESTS_E2E_E2ESUPPORT_H
#define RAVELCAST_TESTS_E2E_E2ESUPPORT_H

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include "ExrReadBack.h"
#include "TestSupport.h"
#include "devhost/RenderJob.h"

namespace e2e {

// The filter's plug-in section: its start, an active buffer with settings,
// its end.
inline const std::string kPlugin = "Plugin ImageFilterHandler 1 Ravelcast\n{ Version 2 }\n";
inline const std::string kEnd = "EndPlugin\n";
inline std::string buffer(const std::string &name, const std::string &settings)
{
    return "{ Buffer { Name \"" + name + "\" } { Settings { Active 1 } " + settings + " } }\n";
}

// The header of the scene files the tests write: a small frame in a given
// mode and host version, the content directory being the test's folder.
std::string sceneHeader(const std::string &extraScene = "", const std::string &mode = "layout",
                        int width = 48, int height = 32);

// One channel over the file's data window, as floats.
using Plane = testsupport::ExrChannel;
inline Plane readPlane(const std::string &file, const std::string &channel)
{
    return testsupport::readExrChannel(file, channel);
}
inline std::vector<std::string> channelsOf(const Imf::Header &header)
{
    return testsupport::exrChannelNames(header);
}
inline Imf::Header headerOf(const std::string &file) { return testsupport::readExrHeader(file); }

// A FLOAT EXR of w x h with the given channels, each a function of (x, y).
template <class F>
void writeSource(const std::string &path, int w, int h, const std::vector<std::string> &channels,
                 F value)
{
    Imf::Header header(w, h);
    std::vector<std::vector<float>> data(channels.size(), std::vector<float>(w * h));
    Imf::FrameBuffer fb;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        header.channels().insert(channels[c], Imf::Channel(Imf::FLOAT));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                data[c][y * w + x] = value(static_cast<int>(c), x, y);
        fb.insert(channels[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(data[c].data()), 4,
                                         4 * static_cast<std::size_t>(w)));
    }
    Imf::OutputFile out(path.c_str(), header);
    out.setFrameBuffer(fb);
    out.writePixels(h);
}

// Runs the devhost program with the module inside folder; answers its exit
// status, its output and errors in output.
int devhostIn(const std::filesystem::path &folder, const std::string &arguments,
              std::string *output);
// A path quoted for the shell.
std::string shellQuoted(const std::string &s);

// The devhost program rendering a scene (its frames, or "A-B") in a process
// of its own, its output discarded; with a cap on the size of any file it
// writes, a full disk as the process sees it (the write fails).
struct RenderNode {
    int pid = -1;
    RenderNode(const std::string &scene, const std::string &content,
               const std::string &frames = "", long fileSizeCap = 0);
    // Its exit status; -1 when it was killed.
    int wait() const;
    void kill() const;
};

// The writers' temporaries in a folder; of one process when given.
std::vector<std::string> temporariesIn(const std::string &folder, int pid = 0);

// Files below a folder, relative to it, sorted.
std::vector<std::string> filesIn(const std::filesystem::path &dir);

class RenderTest : public testsupport::HostTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the scene into the test's folder, loads it and renders its
    // frames, dumping the delivered buffers into dump/.
    void render(const std::string &scene);
    // Loads the scene only (its servers load their settings).
    void loadScene(const std::string &scene);
    std::string out(const std::string &name) const { return dir.file(name); }
    std::string dump(int frame) const;
    std::vector<std::string> infoLines() const;

    testsupport::TempDir dir;
    std::filesystem::path cwd;
};

} // namespace e2e

#endif

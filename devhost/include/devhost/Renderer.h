// The development host's renderer: a small deterministic ray tracer of the
// scene's objects (by default a checkered floor plate, a red, a chrome and
// a glass sphere and a glowing box) before a sky backdrop, lit by one
// distant light and seen from the render camera, that fills the host's
// render buffers. Like a real host it makes only the
// buffers it was asked for, plus the final colour and alpha (32-35).
#ifndef DEVHOST_RENDERER_H
#define DEVHOST_RENDERER_H

#include <map>
#include <string>
#include <vector>

#include "devhost/BufferRequest.h"
#include "devhost/ImageFiles.h"
#include "devhost/RenderedFrame.h"
#include "devhost/Scene.h"

namespace devhost {

class Host;

// What the renderer needs to know of the scene.
struct RenderView {
    int frameWidth = 640, frameHeight = 480;
    double pixelAspect = 1.0;
    // Render only this inclusive rectangle of the frame.
    bool region = false;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double focalLength = 30.0; // millimetres, on a kFilmWidth wide film
    // What is drawn, and the render camera (its placement and eye).
    SceneItems items;
    Camera camera;

    // The scene's view: its frame, pixel aspect, render camera and limited
    // region (unless the render camera does not support one). Throws
    // HostError when the region does not lie inside the frame.
    static RenderView of(const Scene &scene);

    int width() const { return region ? x1 - x0 + 1 : frameWidth; }
    int height() const { return region ? y1 - y0 + 1 : frameHeight; }
    int originX() const { return region ? x0 : 0; }
    int originY() const { return region ? y0 : 0; }
};

// Throws HostError unless a frame of this size lies within the renderer's
// limits (kMaxFrameSide on a side, kMaxFramePixels in all).
void checkFrameSize(int width, int height);

// The backdrop's depth: far beyond anything the scene holds.
constexpr float kBackdropDepth = 1e30f;

class Renderer {
public:
    // The host's scene: its view and its buffer sources, whose relative
    // file names resolve against the "Content" directory.
    explicit Renderer(const Host &host);
    Renderer(const RenderView &view, std::vector<BufferSource> sources = {},
             std::string baseDirectory = {});

    const RenderView &view() const { return view_; }

    // Renders one frame: the requested buffers plus 32-35, each taken from
    // its buffer source when the scene names one. Throws HostError when a
    // source cannot be read.
    RenderedFrame render(LWFrame frame, const BufferRequest &request);

    // The buffers a request makes the renderer deliver.
    static BufferRequest delivered(const BufferRequest &request);

private:
    void applySources(RenderedFrame &frame);
    const Pixels<float> &sourceImage(const BufferSource &source);

    RenderView view_;
    std::vector<BufferSource> sources_;
    std::string baseDirectory_;
    std::map<std::string, Pixels<float>> sourceCache_; // by file and channel
};

} // namespace devhost

#endif

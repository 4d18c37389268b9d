#include "devhost/Renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include <lwsdk/scene.h>

#include "devhost/Host.h"

namespace devhost {

namespace {

// ---- vector helpers the shading needs beyond SceneItems.h

inline V3 mix(V3 a, V3 b, double t) { return a * (1 - t) + b * t; }
inline double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline V3 reflect(V3 d, V3 n) { return d - n * (2 * dot(d, n)); }
// Refraction of d through a surface whose normal n faces d's origin side;
// false on total internal reflection.
inline bool refract(V3 d, V3 n, double eta, V3 *out)
{
    const double cosi = -dot(d, n);
    const double k = 1 - eta * eta * (1 - cosi * cosi);
    if (k < 0)
        return false;
    *out = normalize(d * eta + n * (eta * cosi - std::sqrt(k)));
    return true;
}

// ---- the scene

constexpr double kGlassIor = 1.45;
constexpr double kEpsilon = 1e-4;

const V3 kLightDir = normalize({0.5, 0.9, -0.45});
const V3 kLightColour = {1.0, 0.96, 0.88};
const V3 kSkyAmbient = {0.55, 0.65, 0.85};
const V3 kGroundBounce = {0.35, 0.33, 0.30};
constexpr double kAmbient = 0.18;

const V3 kZenith = {0.22, 0.42, 0.78};
const V3 kHorizon = {0.78, 0.84, 0.92};
const V3 kNadir = {0.35, 0.33, 0.30};

V3 backdrop(V3 d)
{
    if (d.y >= 0)
        return mix(kHorizon, kZenith, std::pow(d.y, 0.6));
    return mix(kHorizon, kNadir, std::min(1.0, -d.y * 4));
}

// One drawn object at one frame, in the world.
struct Body {
    int id = 0; // the Object ID buffer's value
    Shape shape = Shape::Null;
    Placement place;
    V3 half; // a box's or a plane's half extents in its own axes
    double radius = 0;
    const SurfaceMaterial *surface = nullptr;
    const SurfaceMaterial *top = nullptr; // a box's +y face
    int surfaceId = 0, topId = 0;
};

// Where everything is at one frame; objects move so that frames differ.
struct World {
    std::vector<Body> bodies;

    World(const SceneItems &items, double frame)
    {
        for (std::size_t i = 0; i < items.objects.size(); ++i) {
            const SceneObject &o = items.objects[i];
            if (o.shape == Shape::Null)
                continue;
            Body b;
            b.id = static_cast<int>(i) + 1;
            b.shape = o.shape;
            b.place = items.worldPlacement(i, frame);
            b.radius = o.size / 2;
            b.half = o.proportions * (o.size / 2);
            const int s = items.surfaceIndex(o.surface);
            b.surfaceId = s + 1;
            b.surface = s >= 0 ? &items.surfaces[static_cast<std::size_t>(s)] : &fallback();
            const int t = o.topSurface.empty() ? s : items.surfaceIndex(o.topSurface);
            b.topId = t + 1;
            b.top = t >= 0 ? &items.surfaces[static_cast<std::size_t>(t)] : b.surface;
            bodies.push_back(b);
        }
    }
    static const SurfaceMaterial &fallback()
    {
        static const SurfaceMaterial m;
        return m;
    }
    // A point of a body at this frame, carried to where it is in `next`.
    V3 carry(std::size_t body, V3 p, const World &next) const
    {
        return next.bodies[body].place.toOuter(bodies[body].place.toLocal(p));
    }
};

struct Ray {
    V3 origin, dir;
};

struct Hit {
    double t = 1e300;
    int body = -1;
    int face = 0; // box face: 0-5 = +x, -x, +y, -y, +z, -z
};

bool hitSphere(const Body &s, const Ray &r, double tMin, double *t)
{
    const V3 oc = r.origin - s.place.position;
    const double b = dot(oc, r.dir);
    const double c = dot(oc, oc) - s.radius * s.radius;
    const double disc = b * b - c;
    if (disc < 0)
        return false;
    const double q = std::sqrt(disc);
    double t0 = -b - q;
    if (t0 < tMin)
        t0 = -b + q;
    if (t0 < tMin)
        return false;
    *t = t0;
    return true;
}

bool hitPlane(const Body &p, const Ray &r, double tMin, double *t)
{
    const V3 o = p.place.toLocal(r.origin), d = p.place.localDirection(r.dir);
    if (std::fabs(d.y) <= 1e-12)
        return false;
    const double at = -o.y / d.y;
    if (at < tMin)
        return false;
    const V3 q = o + d * at;
    if (std::fabs(q.x) > p.half.x || std::fabs(q.z) > p.half.z)
        return false;
    *t = at;
    return true;
}

bool hitBox(const Body &box, const Ray &r, double tMin, double *t, int *face)
{
    const V3 o = box.place.toLocal(r.origin);
    const V3 d = box.place.localDirection(r.dir);
    const double oa[3] = {o.x, o.y, o.z}, da[3] = {d.x, d.y, d.z};
    const double ha[3] = {box.half.x, box.half.y, box.half.z};
    double tNear = -1e300, tFar = 1e300;
    int nearFace = 0, farFace = 0;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(da[i]) < 1e-12) {
            if (std::fabs(oa[i]) > ha[i])
                return false;
            continue;
        }
        double t0 = (-ha[i] - oa[i]) / da[i], t1 = (ha[i] - oa[i]) / da[i];
        int f0 = 2 * i + 1, f1 = 2 * i; // entering the -side or the +side
        if (t0 > t1) {
            std::swap(t0, t1);
            std::swap(f0, f1);
        }
        if (t0 > tNear) {
            tNear = t0;
            nearFace = f0;
        }
        if (t1 < tFar) {
            tFar = t1;
            farFace = f1;
        }
        if (tNear > tFar)
            return false;
    }
    if (tNear >= tMin) {
        *t = tNear;
        *face = nearFace;
        return true;
    }
    if (tFar >= tMin) {
        *t = tFar;
        *face = farFace;
        return true;
    }
    return false;
}

Hit trace(const World &w, const Ray &r, double tMin = kEpsilon)
{
    Hit h;
    for (std::size_t i = 0; i < w.bodies.size(); ++i) {
        const Body &b = w.bodies[i];
        double t = 0;
        int face = 0;
        const bool hit = b.shape == Shape::Sphere ? hitSphere(b, r, tMin, &t)
                         : b.shape == Shape::Plane ? hitPlane(b, r, tMin, &t)
                                                   : hitBox(b, r, tMin, &t, &face);
        if (hit && t < h.t) {
            h.t = t;
            h.body = static_cast<int>(i);
            h.face = face;
        }
    }
    return h;
}

// The geometry and material at a hit.
struct SurfacePoint {
    V3 p, ng, n, tangent, bitangent;
    const SurfaceMaterial *surface;
    int surfaceId;
    V3 colour;
    std::size_t body;
    int object;
};

SurfacePoint surfaceAt(const World &w, const Ray &r, const Hit &h)
{
    SurfacePoint s;
    const Body &b = w.bodies[static_cast<std::size_t>(h.body)];
    s.body = static_cast<std::size_t>(h.body);
    s.object = b.id;
    s.p = r.origin + r.dir * h.t;
    s.surface = b.surface;
    s.surfaceId = b.surfaceId;
    const V3 local = b.place.toLocal(s.p);
    switch (b.shape) {
    case Shape::Plane: {
        s.ng = b.place.up;
        s.tangent = b.place.right;
        // A gentle ripple bumps the shading normal away from the plate's.
        s.n = normalize(b.place.direction({0.06 * std::cos(5 * local.x) * std::sin(3 * local.z), 1,
                                           0.06 * std::sin(5 * local.x) * std::cos(3 * local.z)}));
        break;
    }
    case Shape::Box: {
        static const V3 kNormals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0},
                                       {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        static const V3 kTangents[6] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0},
                                        {1, 0, 0}, {-1, 0, 0}, {1, 0, 0}};
        if (h.face == 2) {
            s.surface = b.top;
            s.surfaceId = b.topId;
        }
        s.ng = b.place.direction(kNormals[h.face]);
        s.tangent = b.place.direction(kTangents[h.face]);
        s.n = s.ng;
        break;
    }
    default: {
        s.ng = normalize(s.p - b.place.position);
        const V3 nl = b.place.localDirection(s.ng);
        const V3 around = {nl.z, 0, -nl.x};
        s.tangent = b.place.direction(dot(around, around) > 1e-12 ? normalize(around) : V3{1, 0, 0});
        s.n = s.ng;
        break;
    }
    }
    s.colour = s.surface->colour;
    if (s.surface->checker && s.surface->tile > 0) {
        const long long tile = static_cast<long long>(std::floor(local.x / s.surface->tile)) +
                               static_cast<long long>(std::floor(local.z / s.surface->tile));
        if (tile & 1)
            s.colour = s.surface->checkerColour;
    }
    s.bitangent = cross(s.ng, s.tangent);
    return s;
}

// How much of the light is blocked: 1 by an opaque object, partly by a
// transparent one.
double shadowAt(const World &w, const SurfacePoint &s)
{
    if (dot(s.ng, kLightDir) <= 0)
        return 1.0;
    const Ray r{s.p + s.ng * kEpsilon, kLightDir};
    const Hit h = trace(w, r);
    if (h.body < 0)
        return 0.0;
    const double transparency = w.bodies[static_cast<std::size_t>(h.body)].surface->transparency;
    return transparency > 0 ? 0.45 : 1.0;
}

// Closed-form occlusion by the spheres, the boxes (as spheres) and planes.
double ambientOcclusion(const World &w, const SurfacePoint &s)
{
    double occ = 0;
    auto sphere = [&](V3 c, double r) {
        const V3 v = c - s.p;
        const double d2 = dot(v, v);
        const double cosT = dot(s.n, v) / std::sqrt(d2);
        if (cosT > 0)
            occ += cosT * std::min(1.0, r * r / d2);
    };
    for (std::size_t i = 0; i < w.bodies.size(); ++i) {
        const Body &b = w.bodies[i];
        if (i == s.body)
            continue;
        if (b.shape == Shape::Sphere)
            sphere(b.place.position, b.radius);
        else if (b.shape == Shape::Box)
            sphere(b.place.position, b.half.x * (0.5 / 0.55));
        else
            occ += 0.5 * (1 - dot(s.n, b.place.up)) *
                   std::exp(-2 * std::max(0.0, dot(s.p - b.place.position, b.place.up)));
    }
    return clamp01(1 - occ);
}

struct Local {
    double lambert, shadow, diffShade, specShade, ao, shading, geometry;
    V3 diffuseColour, specularColour, radiosity, luminous;
};

Local shadeLocal(const World &w, const SurfacePoint &s, V3 view)
{
    Local l;
    const SurfaceMaterial &m = *s.surface;
    l.lambert = std::max(0.0, dot(s.n, kLightDir));
    l.shadow = shadowAt(w, s);
    l.diffShade = l.lambert * (1 - l.shadow);
    const V3 half = normalize(kLightDir + view);
    l.specShade = l.lambert > 0 ? std::pow(std::max(0.0, dot(s.n, half)), m.gloss) * (1 - l.shadow) : 0;
    l.ao = ambientOcclusion(w, s);
    l.shading = clamp01(0.85 * l.diffShade + 0.15 * l.ao);
    l.geometry = std::max(0.0, dot(s.n, view));
    l.diffuseColour = s.colour * kLightColour * (m.diffuse * l.diffShade);
    l.specularColour = kLightColour * (m.specular * l.specShade);
    const V3 ambient = mix(kGroundBounce, kSkyAmbient, 0.5 + 0.5 * s.n.y) * (kAmbient * 2 * l.ao);
    l.radiosity = s.colour * ambient * m.diffuse;
    l.luminous = s.colour * m.luminous;
    return l;
}

// The colour a secondary ray sees: local shading, with the backdrop
// standing in for further reflection and refraction.
V3 secondaryColour(const World &w, const Ray &r)
{
    const Hit h = trace(w, r);
    if (h.body < 0)
        return backdrop(r.dir);
    const SurfacePoint s = surfaceAt(w, r, h);
    const Local l = shadeLocal(w, s, r.dir * -1);
    const SurfaceMaterial &m = *s.surface;
    return (l.diffuseColour + l.radiosity + l.luminous) * (1 - m.mirror - m.transparency) +
           l.specularColour + backdrop(reflect(r.dir, s.n)) * m.mirror +
           backdrop(r.dir) * m.transparency;
}

// Through a transparent object: a sphere refracts in at s and out on its
// far side, anything else lets the ray pass straight; false when the ray
// leaves into the backdrop.
bool refractedColour(const World &w, const SurfacePoint &s, V3 dir, V3 *colour)
{
    const Body &b = w.bodies[s.body];
    Ray r{s.p + dir * kEpsilon, dir};
    if (b.shape == Shape::Sphere) {
        V3 inside;
        if (!refract(dir, s.n, 1 / kGlassIor, &inside))
            inside = reflect(dir, s.n);
        const double tExit = -2 * dot(s.p - b.place.position, inside);
        const V3 q = s.p + inside * std::max(tExit, 0.0);
        const V3 nq = normalize(q - b.place.position);
        V3 out;
        if (!refract(inside, nq * -1, kGlassIor, &out))
            out = reflect(inside, nq * -1);
        r = {q + out * kEpsilon, out};
    }
    const Hit h = trace(w, r);
    *colour = h.body < 0 ? backdrop(r.dir) : secondaryColour(w, r);
    return h.body >= 0;
}

struct Eye {
    V3 position, forward, right, up;
    double pixelSize; // screen units per pixel across
    double aspect;
    double halfW, halfH;

    Eye(const RenderView &v, const Placement &place)
    {
        position = place.position;
        forward = place.forward;
        right = place.right;
        up = place.up;
        const double tanHalf = (kFilmWidth / 2) / (v.focalLength > 0 ? v.focalLength : 30.0);
        pixelSize = 2 * tanHalf / v.frameWidth;
        aspect = v.pixelAspect > 0 ? v.pixelAspect : 1.0;
        halfW = v.frameWidth / 2.0;
        halfH = v.frameHeight / 2.0;
    }
    // Through the centre of frame pixel (fx, fy).
    V3 direction(double fx, double fy) const
    {
        const double sx = (fx + 0.5 - halfW) * pixelSize;
        const double sy = -(fy + 0.5 - halfH) * pixelSize / aspect;
        return normalize(forward + right * sx + up * sy);
    }
    // Frame pixel position of a point (x right, y down).
    void project(V3 p, double *fx, double *fy) const
    {
        const V3 d = p - position;
        const double z = dot(d, forward);
        *fx = dot(d, right) / z / pixelSize + halfW;
        *fy = halfH - dot(d, up) / z * aspect / pixelSize;
    }
};

using Sample = std::array<float, LWBUF_COUNT>;

void put3(Sample &s, int first, V3 v)
{
    s[first] = static_cast<float>(v.x);
    s[first + 1] = static_cast<float>(v.y);
    s[first + 2] = static_cast<float>(v.z);
}

// Everything the renderer knows about one pixel.
void shadePixel(const World &now, const World &next, const Eye &cam, double fx, double fy,
                double vignette, Sample &out)
{
    out.fill(0.0f);
    const V3 dir = cam.direction(fx, fy);
    const Ray ray{cam.position, dir};
    const V3 sky = backdrop(dir);
    put3(out, LWBUF_BACKDROP_RED, sky);
    const Hit h = trace(now, ray, 0.0);
    if (h.body < 0) {
        out[LWBUF_DEPTH] = kBackdropDepth;
        put3(out, LWBUF_PREEFFECT_RED, sky);
        put3(out, LWBUF_RED, sky * vignette);
        out[LWBUF_ALPHA] = 0.0f;
        return;
    }
    const SurfacePoint s = surfaceAt(now, ray, h);
    const SurfaceMaterial &m = *s.surface;
    const V3 view = dir * -1;
    const Local l = shadeLocal(now, s, view);

    V3 reflection{};
    if (m.mirror > 0)
        reflection = secondaryColour(now, {s.p + s.ng * kEpsilon, reflect(dir, s.n)}) * m.mirror;
    V3 refraction{};
    double alpha = 1.0;
    if (m.transparency > 0) {
        V3 seen;
        const bool hitSomething = refractedColour(now, s, dir, &seen);
        refraction = seen * m.transparency;
        if (!hitSomething)
            alpha = 1 - 0.5 * m.transparency;
    }
    const V3 colour = (l.diffuseColour + l.radiosity + l.luminous) * (1 - m.mirror - m.transparency) +
                      l.specularColour + reflection + refraction;

    out[LWBUF_SPECIAL] = static_cast<float>(m.special);
    out[LWBUF_LUMINOUS] = static_cast<float>(m.luminous);
    out[LWBUF_DIFFUSE] = static_cast<float>(m.diffuse);
    out[LWBUF_SPECULAR] = static_cast<float>(m.specular);
    out[LWBUF_MIRROR] = static_cast<float>(m.mirror);
    out[LWBUF_TRANS] = static_cast<float>(m.transparency);
    put3(out, LWBUF_RAW_RED, s.colour);
    out[LWBUF_SHADING] = static_cast<float>(l.shading);
    out[LWBUF_SHADOW] = static_cast<float>(l.shadow);
    out[LWBUF_GEOMETRY] = static_cast<float>(l.geometry);
    out[LWBUF_DEPTH] = static_cast<float>(dot(s.p - cam.position, cam.forward));
    out[LWBUF_DIFFSHADE] = static_cast<float>(l.diffShade);
    out[LWBUF_SPECSHADE] = static_cast<float>(l.specShade);
    double px, py, nx, ny;
    cam.project(s.p, &px, &py);
    cam.project(now.carry(s.body, s.p, next), &nx, &ny);
    out[LWBUF_MOTION_X] = static_cast<float>(nx - px);
    out[LWBUF_MOTION_Y] = static_cast<float>(ny - py);
    put3(out, LWBUF_REFL_RED, reflection);
    put3(out, LWBUF_DIFF_RED, l.diffuseColour);
    put3(out, LWBUF_SPEC_RED, l.specularColour);
    put3(out, LWBUF_PREEFFECT_RED, colour);
    put3(out, LWBUF_RED, colour * vignette);
    out[LWBUF_ALPHA] = static_cast<float>(alpha);
    put3(out, LWBUF_REFRACTION_RED, refraction);
    out[LWBUF_REFRACTION_ALPHA] = static_cast<float>(m.transparency);
    put3(out, LWBUF_NORMAL_X, s.n);
    out[LWBUF_SURFACEID] = static_cast<float>(s.surfaceId);
    out[LWBUF_OBJECTID] = static_cast<float>(s.object);
    put3(out, LWBUF_RADIOSITY_RED, l.radiosity);
    put3(out, LWBUF_AO_RED, V3{l.ao, l.ao, l.ao});
    put3(out, LWBUF_TANGENT_TX, s.tangent);
    put3(out, LWBUF_TANGENT_BX, s.bitangent);
    put3(out, LWBUF_TANGENT_NX, s.ng);
}

std::string describeRegion(const RenderView &v)
{
    return "(" + std::to_string(v.x0) + " " + std::to_string(v.y0) + " " + std::to_string(v.x1) +
           " " + std::to_string(v.y1) + ")";
}

} // namespace

void checkFrameSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        throw HostError("The frame size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is not positive");
    if (width > kMaxFrameSide || height > kMaxFrameSide ||
        static_cast<long long>(width) * height > kMaxFramePixels)
        throw HostError("The frame size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is larger than the renderer's limit (" + std::to_string(kMaxFrameSide) +
                        " on a side, " + std::to_string(kMaxFramePixels) + " pixels)");
}

RenderView RenderView::of(const Scene &scene)
{
    const SceneSettings &s = scene.settings;
    RenderView v;
    v.frameWidth = s.frameWidth;
    v.frameHeight = s.frameHeight;
    v.pixelAspect = s.pixelAspect;
    const Camera *cam = scene.camera(s.renderCamera);
    if (!cam && !scene.cameras.empty())
        cam = &scene.cameras.front();
    if (cam) {
        v.focalLength = cam->focalLength;
        v.camera = *cam;
    }
    v.items = scene.items;
    checkFrameSize(v.frameWidth, v.frameHeight);
    // A camera that cannot render a region renders the whole frame.
    if (s.limitedRegion && !(cam && (cam->flags & LWCAMF_NO_LIMITEDREGION))) {
        v.region = true;
        v.x0 = s.regionX0;
        v.y0 = s.regionY0;
        v.x1 = s.regionX1;
        v.y1 = s.regionY1;
        if (v.x0 < 0 || v.y0 < 0 || v.x1 < v.x0 || v.y1 < v.y0 || v.x1 >= v.frameWidth ||
            v.y1 >= v.frameHeight)
            throw HostError("The limited region " + describeRegion(v) +
                            " does not lie inside the " + std::to_string(v.frameWidth) + " x " +
                            std::to_string(v.frameHeight) + " frame");
    }
    return v;
}

Renderer::Renderer(const Host &host)
    : Renderer(RenderView::of(host.scene()), host.scene().settings.bufferSources,
               host.directory("Content"))
{
}

Renderer::Renderer(const RenderView &view, std::vector<BufferSource> sources,
                   std::string baseDirectory)
    : view_(view), sources_(std::move(sources)), baseDirectory_(std::move(baseDirectory))
{
}

BufferRequest Renderer::delivered(const BufferRequest &request)
{
    BufferRequest r = request;
    for (int b : {LWBUF_RED, LWBUF_GREEN, LWBUF_BLUE, LWBUF_ALPHA})
        r.add(b);
    return r;
}

RenderedFrame Renderer::render(LWFrame frame, const BufferRequest &request)
{
    const RenderView &v = view_;
    checkFrameSize(v.frameWidth, v.frameHeight);
    RenderedFrame out(v.width(), v.height(), v.originX(), v.originY(), frame);
    const std::vector<int> wanted = delivered(request).buffers();
    std::vector<float *> planes;
    for (int b : wanted)
        planes.push_back(out.allocate(b));

    const World now(v.items, frame), next(v.items, frame + 1.0);
    const Eye cam(v, cameraPlacement(v.items, v.camera, frame, true));
    const double cx = v.frameWidth / 2.0, cy = v.frameHeight / 2.0;
    const double reach2 = cx * cx + cy * cy;
    // A row of every wanted buffer is gathered in a small buffer that stays
    // in cache, then copied out plane by plane: writing one float to each of
    // sixty planes per pixel would miss the cache on every store.
    const std::size_t w = static_cast<std::size_t>(out.width());
    std::vector<float> rows(w * wanted.size());
    Sample sample;
    for (int y = 0; y < out.height(); ++y) {
        const double fy = y + out.originY();
        for (std::size_t x = 0; x < w; ++x) {
            const double fx = static_cast<double>(x) + out.originX();
            // The "effect" between pre-effect and final colour: a soft vignette.
            const double dx = fx + 0.5 - cx, dy = fy + 0.5 - cy;
            const double vignette = 1 - 0.25 * (dx * dx + dy * dy) / reach2;
            shadePixel(now, next, cam, fx, fy, vignette, sample);
            for (std::size_t i = 0; i < wanted.size(); ++i)
                rows[i * w + x] = sample[static_cast<std::size_t>(wanted[i])];
        }
        for (std::size_t i = 0; i < wanted.size(); ++i)
            std::copy(rows.begin() + static_cast<long>(i * w), rows.begin() + static_cast<long>((i + 1) * w),
                      planes[i] + static_cast<std::size_t>(y) * w);
    }
    applySources(out);
    return out;
}

const Pixels<float> &Renderer::sourceImage(const BufferSource &source)
{
    namespace fs = std::filesystem;
    std::string name = source.file;
#ifndef _WIN32
    // Scenes made on Windows name folders with '\'.
    std::replace(name.begin(), name.end(), '\\', '/');
#endif
    fs::path path(name);
    if (path.is_relative() && !baseDirectory_.empty())
        path = fs::path(baseDirectory_) / path;
    const std::string file = path.lexically_normal().string();
    const std::string key = file + '\n' + source.channel;
    auto it = sourceCache_.find(key);
    if (it != sourceCache_.end())
        return it->second;
    try {
        Pixels<float> image = readImageChannel(file, source.channel);
        return sourceCache_.emplace(key, std::move(image)).first->second;
    } catch (const ImageFileError &e) {
        throw HostError("Cannot read buffer source \"" + file + "\" (buffer " +
                        std::to_string(source.buffer) + ", channel \"" + source.channel +
                        "\"): " + e.what());
    }
}

void Renderer::applySources(RenderedFrame &frame)
{
    const RenderView &v = view_;
    for (const BufferSource &src : sources_) {
        if (src.buffer < 0 || src.buffer >= LWBUF_COUNT)
            throw HostError("A buffer source names buffer " + std::to_string(src.buffer) +
                            " (\"" + src.file + "\"); host buffers are 0 to " +
                            std::to_string(LWBUF_COUNT - 1));
        float *plane = frame.plane(src.buffer);
        if (!plane)
            continue; // not delivered this frame
        const Pixels<float> &img = sourceImage(src);
        // An image of the frame's size maps pixel for pixel (a region crops
        // it); any other size is resampled to the frame, nearest sample.
        const bool same = img.width == v.frameWidth && img.height == v.frameHeight;
        for (int y = 0; y < frame.height(); ++y) {
            const int fy = y + frame.originY();
            const int iy = same ? fy
                                : std::min(img.height - 1, static_cast<int>((fy + 0.5) * img.height /
                                                                            v.frameHeight));
            for (int x = 0; x < frame.width(); ++x) {
                const int fx = x + frame.originX();
                const int ix = same ? fx
                                    : std::min(img.width - 1, static_cast<int>((fx + 0.5) * img.width /
                                                                               v.frameWidth));
                plane[static_cast<std::size_t>(y) * frame.width() + x] =
                    img.samples[static_cast<std::size_t>(iy) * img.width + ix];
            }
        }
    }
}

} // namespace devhost

#include "exrio/CameraMatrices.h"

#include <cmath>

namespace ravelcast {

namespace {

using Vector = hostkit::CameraPlacement::Vector;

double dot(const Vector &a, const Vector &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Unit axes at right angles to each other, within what doubles carry.
bool isRotation(const hostkit::CameraPlacement &c)
{
    constexpr double kTolerance = 1e-6;
    for (const Vector *a : {&c.right, &c.up, &c.forward})
        if (!(std::fabs(dot(*a, *a) - 1) < kTolerance))
            return false;
    return std::fabs(dot(c.right, c.up)) < kTolerance && std::fabs(dot(c.up, c.forward)) < kTolerance &&
           std::fabs(dot(c.right, c.forward)) < kTolerance;
}

} // namespace

std::optional<CameraMatrices> cameraMatrices(const hostkit::CameraPlacement &camera, int frameWidth,
                                             int frameHeight, double pixelAspect,
                                             CameraMatrixConvention convention)
{
    if (convention != kHostWorldMatrices && convention != kRightHandedMatrices)
        return std::nullopt;
    if (!(camera.zoomFactor > 0) || frameWidth <= 0 || frameHeight <= 0 || !(pixelAspect > 0) ||
        !isRotation(camera))
        return std::nullopt;
    // Rows of a rotation's inverse are its axes; the translation takes the
    // camera's position to the origin.
    Imath::M44d view;
    const Vector *axes[3] = {&camera.right, &camera.up, &camera.forward};
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i)
            view[i][j] = (*axes[j])[static_cast<std::size_t>(i)];
        view[3][j] = -dot(camera.position, *axes[j]);
    }
    // Camera space to NDC: x / z times the zoom spans -1..1 across the
    // width; the height spans the width over the frame's aspect.
    const double zoom = camera.zoomFactor;
    const double aspect = frameWidth * pixelAspect / frameHeight;
    const Imath::M44d project(zoom / 2, 0, 0, 0,             //
                              0, -zoom * aspect / 2, 0, 0,   //
                              0.5, 0.5, 0, 1,                //
                              0, 0, 1, 0);
    CameraMatrices m;
    if (convention == kHostWorldMatrices) {
        m.worldToCamera = view;
        m.worldToNDC = view * project;
        return m;
    }
    // A right-handed world is the host's with z flipped; so is a camera
    // that looks down -z.
    Imath::M44d flip;
    flip[2][2] = -1;
    m.worldToCamera = flip * view * flip;
    m.worldToNDC = flip * view * project;
    return m;
}

const char *colourSpaceName(int colourSpace)
{
    static const char *const kNames[kColourSpaceCount] = {
        "Linear Rec.709 (sRGB primaries)", "ACEScg", "ACES2065-1", "Linear Rec.2020", "Not Stated"};
    return colourSpace >= 0 && colourSpace < kColourSpaceCount ? kNames[colourSpace] : "unknown";
}

std::optional<Imf::Chromaticities> colourSpaceChromaticities(int colourSpace)
{
    using Imath::V2f;
    const V2f d65(0.3127f, 0.3290f), aces(0.32168f, 0.33767f);
    switch (colourSpace) {
    case kLinearRec709:
        return Imf::Chromaticities(V2f(0.64f, 0.33f), V2f(0.30f, 0.60f), V2f(0.15f, 0.06f), d65);
    case kACEScg:
        return Imf::Chromaticities(V2f(0.713f, 0.293f), V2f(0.165f, 0.830f), V2f(0.128f, 0.044f), aces);
    case kACES2065:
        return Imf::Chromaticities(V2f(0.7347f, 0.2653f), V2f(0.0f, 1.0f), V2f(0.0001f, -0.0770f), aces);
    case kLinearRec2020:
        return Imf::Chromaticities(V2f(0.708f, 0.292f), V2f(0.170f, 0.797f), V2f(0.131f, 0.046f), d65);
    default: break;
    }
    return std::nullopt;
}

} // namespace ravelcast

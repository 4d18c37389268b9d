#include "export/BufferCatalogue.h"

#include <ImfPixelType.h>
#include "hostkit/FrameAccess.h"
#include "hostkit/HostInfo.h"

namespace ravelcast {

namespace {

constexpr int H = Imf::HALF;
constexpr int U = Imf::UINT;
constexpr int F = Imf::FLOAT;
constexpr int A = hostkit::buffer::Alpha;

#define END {nullptr, nullptr, 0, 0}
const ChannelSpec kFinal[] = {{"Red", "R", 32, 0}, {"Green", "G", 33, 0}, {"Blue", "B", 34, 0}, END};
const ChannelSpec kAlpha[] = {{"Alpha", "A", 35, 0}, END};
const ChannelSpec kRaw[] = {{"Red", "R", 6, 0x40}, {"Green", "G", 7, 0x80}, {"Blue", "B", 8, 0x100}, END};
const ChannelSpec kRefl[] = {{"Red", "R", 17, 0x20000}, {"Green", "G", 18, 0x40000}, {"Blue", "B", 19, 0x80000}, END};
const ChannelSpec kDiff[] = {{"Red", "R", 20, 0x100000}, {"Green", "G", 21, 0x200000}, {"Blue", "B", 22, 0x400000}, END};
const ChannelSpec kSpec[] = {{"Red", "R", 23, 0x800000}, {"Green", "G", 24, 0x1000000}, {"Blue", "B", 25, 0x2000000}, END};
const ChannelSpec kRefr[] = {{"Red", "R", 36, 0x920020}, {"Green", "G", 37, 0x1240020}, {"Blue", "B", 38, 0x2480020}, END};
const ChannelSpec kRefrAlpha[] = {{"Alpha", "A", 39, 0x20}, END};
const ChannelSpec kBackdrop[] = {{"Red", "R", 26, 0x4000000}, {"Green", "G", 27, 0x8000000}, {"Blue", "B", 28, 0x10000000}, END};
const ChannelSpec kPreEffect[] = {{"Red", "R", 29, 0x20000000}, {"Green", "G", 30, 0x40000000}, {"Blue", "B", 31, static_cast<int>(0x80000000u)}, END};
const ChannelSpec kSpecial[] = {{"Special", "Y", 0, 0x1}, END};
const ChannelSpec kLuminosity[] = {{"Luminosity", "Y", 1, 0x2}, END};
const ChannelSpec kDiffuse[] = {{"Diffuse", "Y", 2, 0x4}, END};
const ChannelSpec kSpecularity[] = {{"Specularity", "Y", 3, 0x8}, END};
const ChannelSpec kReflectivity[] = {{"Reflectivity", "Y", 4, 0x10}, END};
const ChannelSpec kTransparency[] = {{"Transparency", "Y", 5, 0x20}, END};
const ChannelSpec kShading[] = {{"Shading", "Y", 9, 0x200}, END};
const ChannelSpec kShadow[] = {{"Shadow", "Y", 10, 0x400}, END};
const ChannelSpec kGeometry[] = {{"Geometry", "Y", 11, 0x800}, END};
const ChannelSpec kDepth[] = {{"Depth", "Z", 12, 0x1000}, END};
const ChannelSpec kDiffShade[] = {{"DiffShade", "Y", 13, 0x2000}, END};
const ChannelSpec kSpecShade[] = {{"SpecShade", "Y", 14, 0x4000}, END};
const ChannelSpec kMotion[] = {{"X", "X", 15, 0x8000}, {"Y", "Y", 16, 0x10000}, END};
const ChannelSpec kNormal[] = {{"X", "X", 40, 0}, {"Y", "Y", 41, 0}, {"Z", "Z", 42, 0}, END};
const ChannelSpec kSurfaceId[] = {{"SurfaceID", "SurfaceID", 43, 0}, END};
const ChannelSpec kObjectId[] = {{"ObjectID", "ObjectID", 44, 0}, END};
const ChannelSpec kRadiosity[] = {{"R", "R", 45, 0}, {"G", "G", 46, 0}, {"B", "B", 47, 0}, END};
const ChannelSpec kAO[] = {{"R", "R", 48, 0}, {"G", "G", 49, 0}, {"B", "B", 50, 0}, END};
const ChannelSpec kTangentT[] = {{"X", "X", 51, 0}, {"Y", "Y", 52, 0}, {"Z", "Z", 53, 0}, END};
const ChannelSpec kTangentB[] = {{"X", "X", 54, 0}, {"Y", "Y", 55, 0}, {"Z", "Z", 56, 0}, END};
const ChannelSpec kTangentN[] = {{"X", "X", 57, 0}, {"Y", "Y", 58, 0}, {"Z", "Z", 59, 0}, END};
#undef END

using P = Presence;

} // namespace

const std::vector<CatalogueRow> &catalogue()
{
    static const std::vector<CatalogueRow> rows = {
        {{"Final Render", "", "Rendered Colour", kFinal, H, A, true}, P::Always, false},
        {{"Alpha", "", "Alpha Channel", kAlpha, H, A, true}, P::Always, false},
        {{"Raw Colour", "Raw", "Unshaded Colour", kRaw, H, A, false}, P::Always, false},
        {{"Reflection Colour", "Refl", "Reflected Colour", kRefl, H, A, false}, P::Always, false},
        {{"Diffuse Colour", "Diff", "Diffuse Colour", kDiff, H, A, false}, P::Always, false},
        {{"Specular Colour", "Spec", "Specular Colour", kSpec, H, A, false}, P::Always, false},
        {{"Refraction Colour", "Refr", "Refraction Colour", kRefr, H, 39, false}, P::From96, false},
        {{"Refraction Alpha", "Refr", "Refraction Alpha", kRefrAlpha, H, 39, false}, P::From96, false},
        {{"Backdrop Colour", "Backdrop", "Backdrop Colour", kBackdrop, H, A, false}, P::From83, false},
        {{"Pre-Effect Colour", "PreEffect", "Colour before applied filters", kPreEffect, H, A, false}, P::From83, false},
        {{"Special", "Special", "Surface Special", kSpecial, H, A, false}, P::Always, false},
        {{"Luminosity", "Luminosity", "Luminosity", kLuminosity, H, A, false}, P::Always, false},
        {{"Diffuse", "Diffuse", "Diffuse", kDiffuse, H, A, false}, P::Always, false},
        {{"Specularity", "Specularity", "Specularity", kSpecularity, H, A, false}, P::Always, false},
        {{"Reflectivity", "Reflectivity", "Reflectivity", kReflectivity, H, A, false}, P::Always, false},
        {{"Transparency", "Transparency", "Transparency", kTransparency, H, A, false}, P::Always, false},
        {{"Shading", "Shading", "Shading", kShading, H, A, false}, P::Always, false},
        {{"Shadow", "Shadow", "Shadow", kShadow, H, A, false}, P::Always, false},
        {{"Geometry", "Geometry", "Geometry", kGeometry, H, A, false}, P::Always, false},
        {{"Depth", "", "Depth (Z-Buffer)", kDepth, F, A, false}, P::Always, true},
        {{"DiffShade", "DiffShade", "Diffuse Shading", kDiffShade, H, A, false}, P::Always, false},
        {{"SpecShade", "SpecShade", "Specular Shading", kSpecShade, H, A, false}, P::Always, false},
        {{"Motion", "Motion", "Motion Vectors", kMotion, H, A, false}, P::Always, false},
        {{"Surface Normal", "N", "Surface Normal", kNormal, H, A, false}, P::Build2007, false},
        {{"Surface ID", "", "Surface ID", kSurfaceId, U, A, false}, P::Build2007, false},
        {{"Object ID", "", "Object ID", kObjectId, U, A, false}, P::Build2007, false},
        {{"Radiosity Colour", "Radiosity", "Radiosity Shading", kRadiosity, H, A, false}, P::Build2008, false},
        {{"Ambient Occlusion", "AO", "Ambient Occlusion", kAO, H, A, false}, P::Build2008, false},
        {{"Tangent Space Tangent", "Tangent.T", "Tangent Space Tangent", kTangentT, H, A, false}, P::Build2009, false},
        {{"Tangent Space Bitangent", "Tangent.B", "Tangent Space Bitangent", kTangentB, H, A, false}, P::Build2009, false},
        {{"Tangent Space Normal", "Tangent.N", "Tangent Space Normal", kTangentN, H, A, false}, P::Build2009, false},
    };
    return rows;
}

bool presentIn(Presence presence, unsigned int productInfo)
{
    const auto [major, minor, build] = hostkit::versionOf(productInfo);
    switch (presence) {
    case Presence::Always: return true;
    case Presence::From96: return major > 9 || (major == 9 && minor >= 6);
    case Presence::From83: return major > 8 || (major == 8 && minor >= 3);
    case Presence::Build2007: return major >= 10 && build >= 0x7D70;
    case Presence::Build2008: return major >= 10 && build >= 0x7D80;
    case Presence::Build2009: return major >= 10 && build >= 0x7D90;
    }
    return false;
}

int depthPosition(unsigned int productInfo)
{
    int d = 15;
    if (presentIn(Presence::From96, productInfo))
        d += 2;
    if (presentIn(Presence::From83, productInfo))
        d += 2;
    return d;
}

} // namespace ravelcast

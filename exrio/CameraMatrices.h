// The render camera as compositors rebuild it: OpenEXR's worldToCamera and
// worldToNDC matrices (row vectors, p' = p * M, then divided by w) and the
// primaries of the colour spaces a file can declare.
#ifndef RAVELCAST_EXRIO_CAMERAMATRICES_H
#define RAVELCAST_EXRIO_CAMERAMATRICES_H

#include <optional>

#include <ImathMatrix.h>
#include <ImfChromaticities.h>

#include "hostkit/SceneFacts.h"

namespace ravelcast {

// The world the matrices map ("CameraMatrices" setting).
enum CameraMatrixConvention : int {
    kHostWorldMatrices = 0,  // the host's own left-handed world, camera looking down +z
    kRightHandedMatrices = 1, // world z flipped; camera space right-handed, looking down -z
    kNoMatrices = 2,
};
constexpr int kCameraMatrixConventionCount = 3;

struct CameraMatrices {
    Imath::M44d worldToCamera, worldToNDC;
};

// From the camera's placement and zoom and the display window's size and
// pixel aspect. NDC (0, 0) is the display window's top-left corner, (1, 1)
// its bottom-right; z / w is the inverse of the distance along the view
// axis. Nothing for kNoMatrices, a zoom or frame that is not positive, or
// axes that are not a rotation.
std::optional<CameraMatrices> cameraMatrices(const hostkit::CameraPlacement &camera, int frameWidth,
                                             int frameHeight, double pixelAspect,
                                             CameraMatrixConvention convention);

// The "Colour Space" setting.
enum ColourSpace : int {
    kLinearRec709 = 0,
    kACEScg = 1,
    kACES2065 = 2,
    kLinearRec2020 = 3,
    kColourSpaceNotStated = 4,
};
constexpr int kColourSpaceCount = 5;

// "Linear Rec.709 (sRGB primaries)", "ACEScg", "ACES2065-1", "Linear
// Rec.2020", "Not Stated"; "unknown" outside the list.
const char *colourSpaceName(int colourSpace);

// The space's published primaries and white point; nothing for "Not
// Stated" or a value outside the list.
std::optional<Imf::Chromaticities> colourSpaceChromaticities(int colourSpace);

} // namespace ravelcast

#endif

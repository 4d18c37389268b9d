// Names of the files the filter writes: the layered file and the separate
// buffer images of a frame.
#ifndef RAVELCAST_EXPORT_FILENAMING_H
#define RAVELCAST_EXPORT_FILENAMING_H

#include <optional>
#include <string>

namespace ravelcast {

// NameFormatExt bits.
constexpr int kAppendExtension = 1;
constexpr int kUnderscore = 8;
inline int frameDigits(int nameFormat) { return 3 + ((nameFormat >> 1) & 3); }

// The "Single Image File Naming" patterns.
enum SingleNamePattern {
    kOutputLayer = 0,      // Output_Layer_###.exr
    kLayerSlashOutput = 1, // Layer\Output_###.exr
    kLayerSlashOutputLayer = 2,
    kLayerOutput = 3,      // Layer_Output_###.exr
    kCustom = 4,           // Custom_###.exr
};

// What the %-tokens are replaced by.
struct NameContext {
    std::string sceneName;  // with its extension
    std::string cameraName; // "(none)" without a render camera
    bool stereo = false, rightEye = false; // a stereo camera and its eye
};

// The context from the host's scene, camera and time services.
NameContext hostNameContext();

// Right-aligned in digits characters filled with '0'; longer numbers whole.
std::string frameNumber(int frame, int digits);

std::string expandNameTokens(const std::string &text, const std::optional<std::string> &layer,
                             const NameContext &context);

std::string layeredFileName(const std::string &base, const std::string &extension, int frame,
                            int nameFormat, const NameContext &context);

// A token value or layer name made safe as one part of a file name: the
// separators / and \, the characters : * ? " < > | and control characters
// become '_', and a part of dots only ("." or "..") becomes underscores.
std::string safeNamePart(const std::string &value);

std::string imageFileName(const std::string &base, const std::string &extension, int frame,
                          int pattern, int nameFormat, const std::string &layerName,
                          const std::string &customName, const NameContext &context);

} // namespace ravelcast

#endif

// A render buffer's settings as data, with the table that names each once:
// what the user chose for it, saved with the scene and in presets.
#ifndef RAVELCAST_EXPORT_BUFFERSETTINGS_H
#define RAVELCAST_EXPORT_BUFFERSETTINGS_H

#include <memory>
#include <string>

#include "hostkit/Fields.h"
#include "hostkit/VParm.h"

namespace ravelcast {

// SaveAs bits.
enum SaveAsBits { kSaveLayer = 1, kSaveImage = 2, kSaveImageAlpha = 4 };

// The "Save as" popup: index to SaveAs, and SaveAs (0..7) to index.
int saveAsFromPopup(int index);
int popupFromSaveAs(int saveAs);

// BufferCompression: the file's compression, else Imf::Compression.
constexpr int kAsTheFile = -1;

// The buffers' group and the plug-in name of their envelope-able values.
constexpr const char *kPluginName = "Ravelcast";

struct BufferSettings {
    // Every setting at its row's default; the parameters are made apart.
    BufferSettings();
    ~BufferSettings();
    BufferSettings(const BufferSettings &) = delete;
    BufferSettings &operator=(const BufferSettings &) = delete;

    // The envelope-able parameters, in group (their channels' group).
    void makeParameters(LWChanGroupID group);
    // They go before the group that holds their channels.
    void dropParameters();

    std::string layerName;
    int pixelType;
    bool active;
    std::string description;
    bool invert;
    int saveAs; // SaveAsBits
    // 0 the native file, then the host's savers by position.
    int imageFormat;
    bool lumaAsRGB;
    bool fitDataWindow;
    // kAsTheFile, or the compression of the buffer's part of a multi-part
    // file and of its separate OpenEXR image.
    int compression;
    bool unmultiply;
    std::unique_ptr<hostkit::VParm> minimum, maximum, offset, scale, gamma;
    // Fixed with the buffer, not saved: only a colour buffer (three
    // channels) un-multiplies.
    bool offersUnmultiply = false;

    static const hostkit::FieldTable<BufferSettings> &fields();
};

} // namespace ravelcast

#endif

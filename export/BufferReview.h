// The buffer review: before rendering, every file the filter will write,
// what goes into it, and every problem found in the settings.
#ifndef RAVELCAST_EXPORT_BUFFERREVIEW_H
#define RAVELCAST_EXPORT_BUFFERREVIEW_H

#include <functional>
#include <string>
#include <vector>

#include <ImathVec.h>

namespace ravelcast {

class OpenEXRBuffer;
class OpenEXRFilter;

// Appends the review lines of one buffer saved under fileName, as a layer
// of the layered file or as its own image; answers the errors found. The
// data window is shown in frame pixels: origin is where the lines it was
// measured on sat in the frame.
int reviewText(const OpenEXRBuffer &buffer, const std::string &fileName, bool asLayer,
               std::vector<std::string> &lines, const Imath::V2i &origin = Imath::V2i(0, 0));

// How wide a line may be: its width as the list draws it, and the most
// that is shown. Without it lines are not shortened.
struct ReviewWidth {
    std::function<int(const std::string &)> measure;
    int limit = 0;
};

// A path shortened in its middle (the file name kept whole as long as it
// can be) so that prefix + path + suffix fits.
std::string fittedPath(const std::string &prefix, const std::string &path,
                       const std::string &suffix, const ReviewWidth &width);

struct ReviewResult {
    std::vector<std::string> lines;
    int errors = 0;
};

// The review of the filter's settings at the host's current frame. File
// names are shown relative to the content directory when inside it.
ReviewResult reviewSettings(const OpenEXRFilter &filter, const ReviewWidth &width = {});

// Warns when there are errors, then shows the review; returns when the
// user closes it.
void showReview(const OpenEXRFilter &filter);

} // namespace ravelcast

#endif

// The buffer review: before rendering, every file the filter will write,
// what goes into it, and every problem found in the settings.
#ifndef RAVELCAST_EXPORT_BUFFERREVIEW_H
#define RAVELCAST_EXPORT_BUFFERREVIEW_H

#include <string>
#include <vector>

namespace ravelcast {

class OpenEXRBuffer;
class OpenEXRFilter;

// Appends the review lines of one buffer saved under fileName, as a layer
// of the layered file or as its own image; answers the errors found.
int reviewText(const OpenEXRBuffer &buffer, const std::string &fileName, bool asLayer,
               std::vector<std::string> &lines);

struct ReviewResult {
    std::vector<std::string> lines;
    int errors = 0;
};

// The review of the filter's settings at the host's current frame.
ReviewResult reviewSettings(const OpenEXRFilter &filter);

// Warns when there are errors, then shows the review; returns when the
// user closes it.
void showReview(const OpenEXRFilter &filter);

} // namespace ravelcast

#endif

// A hand-filled frame of host buffers behind a filter access, for unit tests
// of the buffers' processing. The access has no data pointer, so one frame
// is current at a time.
#ifndef RAVELCAST_TESTS_SUPPORT_FAKEFRAME_H
#define RAVELCAST_TESTS_SUPPORT_FAKEFRAME_H

#include <map>
#include <vector>

#include <lwsdk/filter.h>

namespace testsupport {

class FakeFrame {
public:
    FakeFrame(int width, int height);
    ~FakeFrame();
    FakeFrame(const FakeFrame &) = delete;
    FakeFrame &operator=(const FakeFrame &) = delete;

    // Row by row, width x height values.
    void set(int buffer, std::vector<float> values);
    void fill(int buffer, float value);
    const LWFilterAccess *access() const { return &access_; }
    int width() const { return access_.width; }
    int height() const { return access_.height; }

    // What the filter handed back.
    std::vector<float> rgb;   // 3 per pixel
    std::vector<float> alpha; // 1 per pixel
    std::vector<int> lineRequests; // buffers asked for, in order

private:
    static const float *line(int type, int y);
    static void setRGB(int x, int y, const float rgb[3]);
    static void setAlpha(int x, int y, float a);

    LWFilterAccess access_{};
    std::map<int, std::vector<float>> buffers_;
};

} // namespace testsupport

#endif

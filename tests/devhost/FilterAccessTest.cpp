// The filter access a filter's process receives, and the progress monitor
// inside it.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "devhost/FilterAccess.h"
#include "devhost/Host.h"
#include "devhost/ProgressMonitor.h"
#include "devhost/Renderer.h"

namespace {

using devhost::FilterAccess;
using devhost::ProgressMonitor;

devhost::RenderedFrame smallFrame()
{
    devhost::RenderView v;
    v.frameWidth = 16;
    v.frameHeight = 8;
    devhost::BufferRequest r;
    r.add(LWBUF_DEPTH);
    return devhost::Renderer(v).render(9, r);
}

TEST(FilterAccessTest, LinesOutputAndTimes)
{
    devhost::RenderedFrame frame = smallFrame();
    const float red00 = frame.line(LWBUF_RED, 0)[0];
    FilterAccess access(frame, 0.375, 0.4, nullptr);
    const LWFilterAccess *a = access.table();
    EXPECT_EQ(a->width, 16);
    EXPECT_EQ(a->height, 8);
    EXPECT_EQ(a->frame, 9);
    EXPECT_EQ(a->start, 0.375);
    EXPECT_EQ(a->end, 0.4);
    EXPECT_EQ(a->monitor, nullptr);
    EXPECT_EQ(a->getLine(LWBUF_DEPTH, 3), frame.line(LWBUF_DEPTH, 3));
    EXPECT_EQ(a->getLine(LWBUF_DEPTH, 8), nullptr);
    EXPECT_EQ(a->getLine(LWBUF_DEPTH, -1), nullptr);
    EXPECT_EQ(a->getLine(LWBUF_SHADOW, 0), nullptr) << "not rendered";
    EXPECT_EQ(a->getLine(99, 0), nullptr);

    // The output starts as the frame's final image; writes outside it are
    // ignored; the input lines do not change until the output is committed.
    EXPECT_EQ(access.output(0)[0], red00);
    const float rgb[3] = {0.25f, 0.5f, 0.75f};
    a->setRGB(1, 2, rgb);
    a->setAlpha(1, 2, 0.125f);
    a->setRGB(16, 0, rgb);
    a->setRGB(0, -1, rgb);
    a->setAlpha(0, 8, 1.0f);
    a->setRGB(0, 0, nullptr);
    EXPECT_EQ(access.output(2)[2 * 16 + 1], 0.75f);
    EXPECT_EQ(access.output(3)[2 * 16 + 1], 0.125f);
    EXPECT_EQ(access.output(0)[0], red00);
    EXPECT_NE(a->getLine(LWBUF_BLUE, 2)[1], 0.75f);
    access.commit();
    EXPECT_EQ(frame.line(LWBUF_GREEN, 2)[1], 0.5f);
    EXPECT_EQ(frame.line(LWBUF_ALPHA, 2)[1], 0.125f);
    EXPECT_EQ(frame.line(LWBUF_RED, 0)[0], red00);
}

TEST(FilterAccessTest, OnlyOneAccessAtATime)
{
    devhost::RenderedFrame frame = smallFrame();
    float *(*getLine)(int, int) = nullptr;
    {
        FilterAccess first(frame, 0, 0, nullptr);
        EXPECT_THROW(FilterAccess(frame, 0, 0, nullptr), devhost::HostError);
        getLine = first.table()->getLine;
    }
    // A filter that kept the table after its process finds nothing.
    EXPECT_EQ(getLine(LWBUF_RED, 0), nullptr);
    FilterAccess again(frame, 0, 0, nullptr);
    EXPECT_NE(again.table()->getLine(LWBUF_RED, 0), nullptr);
}

TEST(ProgressMonitorTest, PlainLinesAtMostEveryTenPercent)
{
    std::ostringstream out;
    ProgressMonitor m(ProgressMonitor::Style::Lines, &out);
    LWMonitor *t = m.table();
    t->init(t->data, 250);
    for (int i = 0; i < 250; ++i)
        EXPECT_EQ(t->step(t->data, 1), 0);
    t->done(t->data);
    EXPECT_EQ(out.str(), "progress: 0%\nprogress: 10%\nprogress: 20%\nprogress: 30%\n"
                         "progress: 40%\nprogress: 50%\nprogress: 60%\nprogress: 70%\n"
                         "progress: 80%\nprogress: 90%\nprogress: 100%\n");
    // Big steps skip lines, overshooting stops at 100%, an unfinished run
    // claims no more than it did.
    out.str("");
    t->init(t->data, 3);
    t->step(t->data, 2);
    t->step(t->data, 5);
    t->done(t->data);
    EXPECT_EQ(out.str(), "progress: 0%\nprogress: 60%\nprogress: 100%\n");
    out.str("");
    t->init(t->data, 10);
    t->step(t->data, 4);
    t->done(t->data);
    EXPECT_EQ(out.str(), "progress: 0%\nprogress: 40%\n");
    EXPECT_EQ(m.percent(), 40);
}

TEST(ProgressMonitorTest, TerminalBarAndSilence)
{
    std::ostringstream out;
    ProgressMonitor bar(ProgressMonitor::Style::Bar, &out);
    LWMonitor *t = bar.table();
    t->init(t->data, 4);
    t->step(t->data, 1);
    t->step(t->data, 3);
    t->done(t->data);
    const std::string s = out.str();
    EXPECT_EQ(s.find('\n'), s.size() - 1) << "one line, redrawn in place";
    EXPECT_NE(s.find("\r[-------"), std::string::npos) << s;
    EXPECT_NE(s.find("]  25%"), std::string::npos) << s;
    EXPECT_NE(s.find("\r[" + std::string(30, '#') + "] 100%\n"), std::string::npos) << s;

    std::ostringstream quiet;
    ProgressMonitor silent(ProgressMonitor::Style::Silent, &quiet);
    silent.init(5);
    silent.step(5);
    silent.done();
    EXPECT_EQ(quiet.str(), "");
    ProgressMonitor nowhere(ProgressMonitor::Style::Lines, nullptr);
    nowhere.init(2);
    nowhere.step(2);
    nowhere.done();
    EXPECT_EQ(ProgressMonitor::styleForStdout(true), ProgressMonitor::Style::Silent);
}

} // namespace

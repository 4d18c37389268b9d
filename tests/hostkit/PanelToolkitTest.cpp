// The panel toolkit on the development host's panel services: popups fed by
// user data, popup commands only where they belong, the host destroying a
// panel, enable rules, and the classic log and about panels.
#include <cairo.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "devhost/Panels.h"
#include "hostkit/Global.h"
#include "hostkit/Panel.h"
#include "hostkit/Services.h"
#include "hostkit/XPanel.h"

namespace {

using devhost::Panels;
using devhost::PanelError;

enum : unsigned int { kOrphan = 0x9001, kCommands, kChoice, kButton };

class Probe : public hostkit::XPanelInterface, public hostkit::PopCmdCallback<Probe> {
public:
    void build()
    {
        static const LWXPanelControl controls[] = {{kOrphan, "Orphan", "vPopCmd"},
                                                   {kCommands, "Commands", "vPopCmd"},
                                                   {kChoice, "Choice", "iPopChoice"},
                                                   {kButton, "Go", "vButton"},
                                                   {0, nullptr, nullptr}};
        static const LWXPanelDataDesc data[] = {
            {kOrphan, "", "integer"}, {kCommands, "", "integer"}, {kChoice, "", "integer"},
            {0, nullptr, nullptr}};
        hostkit::HintList hints;
        hints.title("Probe").enableUnlessEqual(kChoice, 0, {kButton}, "Choose something first");
        createViewPanel(controls, data, hints.data(), true);
        wirePopupCommand(kCommands, this);
        // A command target handed to a plain popup only feeds its items.
        wirePopup(kChoice, this);
    }
    void *get(unsigned int vid) override { return vid == kChoice ? &choice : nullptr; }
    int set(unsigned int vid, void *v) override
    {
        if (vid != kChoice)
            return 0;
        choice = *static_cast<int *>(v);
        return 1;
    }
    void buttonClick(unsigned int cid) override { clicks.push_back(cid); }
    int popCount() override { return 3; }
    std::string popName(int i) override { return "item " + std::to_string(i); }
    void popCommand(unsigned int cid, int command) override
    {
        commands.emplace_back(cid, command);
    }

    int choice = 0;
    std::vector<unsigned int> clicks;
    std::vector<std::pair<unsigned int, int>> commands;
};

class PanelToolkitTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        hostkit::setGlobalFunction(&devhost::Host::global);
    }
    void TearDown() override
    {
        // Kept by the callback barrier once it has reported a failure.
        hostkit::releaseProcessMessages();
        hostkit::setGlobalFunction(nullptr);
        EXPECT_EQ(host().services().unreleased(), std::vector<std::string>{});
        HostTest::TearDown();
    }
    Panels &panels() { return Panels::of(host()); }
};

TEST_F(PanelToolkitTest, XPanelCallbacksReachTheirObjects)
{
    Probe probe;
    probe.build();
    LWXPanelID id = probe.panel().id();
    ASSERT_NE(id, nullptr);
    EXPECT_TRUE(probe.panel().owns());
    devhost::XPanelRecord &p = panels().xpanel(id);
    EXPECT_EQ(p.title(), "Probe");
    const devhost::XControl &orphan = panels().findControl(p, "Orphan");
    const devhost::XControl &commands = panels().findControl(p, "Commands");
    const devhost::XControl &choice = panels().findControl(p, "Choice");
    const devhost::XControl &button = panels().findControl(p, std::to_string(kButton));

    // Items come from the control's user data: none set, none listed.
    EXPECT_TRUE(panels().items(p, orphan).empty());
    EXPECT_THROW(panels().popCommand(p, orphan, "0"), PanelError);
    EXPECT_EQ(panels().items(p, commands),
              (std::vector<std::string>{"item 0", "item 1", "item 2"}));
    panels().popCommand(p, commands, "item 2");
    panels().popCommand(p, commands, "1");
    EXPECT_EQ(probe.commands,
              (std::vector<std::pair<unsigned int, int>>{{kCommands, 2}, {kCommands, 1}}));
    // Only command popups get the command function.
    EXPECT_NE(commands.command, nullptr);
    EXPECT_EQ(choice.command, nullptr);
    EXPECT_THROW(panels().popCommand(p, choice, "item 1"), PanelError);
    EXPECT_EQ(probe.commands.size(), 2u);

    // Values only through the object's get and set; the button is enabled
    // once something is chosen.
    std::string why;
    EXPECT_FALSE(panels().enabled(p, kButton, &why));
    EXPECT_EQ(why, "Choose something first");
    EXPECT_THROW(panels().press(p, button), PanelError);
    EXPECT_EQ(panels().setValue(p, choice, "item 1"), 1);
    EXPECT_EQ(probe.choice, 1);
    EXPECT_EQ(panels().valueText(p, choice), "item 1");
    EXPECT_THROW(panels().setValue(p, choice, "item 7"), PanelError);
    panels().press(p, button);
    EXPECT_EQ(probe.clicks, std::vector<unsigned int>{kButton});

    // The host destroys the panel: the object forgets it, and asking again
    // builds a new one.
    panels().destroy(id);
    EXPECT_EQ(probe.panel().id(), nullptr);
    EXPECT_FALSE(probe.panel().owns());
    probe.build();
    ASSERT_NE(probe.panel().id(), nullptr);
    EXPECT_NE(probe.panel().id(), id);
    EXPECT_TRUE(panels().alive(probe.panel().id()));
}

TEST_F(PanelToolkitTest, ClassicLogAndAboutPanels)
{
    testsupport::TempDir dir;
    {
        // An empty log opens with an empty list.
        hostkit::LogPanel log("Empty");
        ASSERT_NE(log.id(), nullptr);
        log.open("Active Buffers");
        devhost::ClassicPanel &p = panels().classic(log.id());
        ASSERT_EQ(p.controls.size(), 1u);
        const LWListBoxDesc &list = p.controls[0]->desc.listbox;
        EXPECT_EQ(list.width, 600);
        EXPECT_EQ(list.visItems, 20);
        EXPECT_EQ(list.countFn(p.controls[0]->userData), 0);
        EXPECT_STREQ(list.nameFn(p.controls[0]->userData, 0), "");
        EXPECT_FALSE(p.open) << "a blocking panel returns closed";
        EXPECT_THROW(log.name(0), std::out_of_range);
    }
    EXPECT_EQ(panels().classicCount(), 0) << "the panel is destroyed with its object";

    // A solid red picture: wherever the canvas ends up, the picture sits in
    // its middle, cut where the canvas is smaller.
    std::vector<unsigned char> red(203 * 78 * 3);
    for (std::size_t i = 0; i < red.size(); i += 3)
        red[i + 2] = 255;
    for (const std::string &line : {std::string("short"), std::string(120, 'W')}) {
        hostkit::AboutPanel about("About", {line, " "}, red.data(), 203, 78);
        about.show();
        devhost::ClassicPanel &p = panels().classic(about.id());
        const devhost::ClassicControl &canvas = *p.controls[0];
        const std::string png = dir.file("about.png");
        panels().snapshot(about.id(), png);
        cairo_surface_t *s = cairo_image_surface_create_from_png(png.c_str());
        ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char *bytes = cairo_image_surface_get_data(s);
        int x0 = w, x1 = -1, y0 = h, y1 = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const auto px = *reinterpret_cast<const std::uint32_t *>(bytes + y * stride + 4 * x);
                if ((px & 0xFFFFFF) == 0xFF0000) {
                    x0 = std::min(x0, x), x1 = std::max(x1, x);
                    y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
            }
        cairo_surface_destroy(s);
        EXPECT_EQ(y1 - y0 + 1, 78) << line.size();
        const int hotLeft = canvas.x + 1, hotWidth = canvas.w - 2;
        EXPECT_EQ(x1 - x0 + 1, std::min(203, hotWidth)) << line.size();
        EXPECT_NEAR((x0 + x1 + 1) / 2.0, hotLeft + hotWidth / 2.0, 1.0) << line.size();
    }
}

} // namespace

// The buffer catalogue the filter builds, by host version, and its
// channel naming.

#include <climits>
#include <stdexcept>

#include <ImfChannelList.h>

#include "ExportTest.h"
#include "devhost/Envelopes.h"
#include "export/BufferCatalogue.h"

namespace {

using ravelcast::OpenEXRBuffer;

class CatalogueTest : public ExportTest {
protected:
    std::vector<std::string> names(const ravelcast::OpenEXRFilter &f)
    {
        std::vector<std::string> n;
        for (const auto &b : f.buffers())
            n.push_back(b->displayName());
        return n;
    }
    int position(const ravelcast::OpenEXRFilter &f, const std::string &name)
    {
        const auto n = names(f);
        return static_cast<int>(std::find(n.begin(), n.end(), name) - n.begin());
    }
};

TEST_F(CatalogueTest, RowsAndDepthPositionByHostVersion)
{
    struct Case {
        int major, minor, build;
        std::size_t rows;
        int depth;
    };
    for (const Case c : {Case{8, 2, 900, 19, 15}, Case{8, 3, 100, 21, 17}, Case{9, 5, 3000, 21, 17},
                         Case{9, 6, 100, 23, 19}, Case{10, 0, 2006, 23, 19},
                         Case{10, 0, 2007, 26, 19}, Case{10, 0, 2008, 28, 19},
                         Case{10, 0, 2009, 31, 19}, Case{11, 0, 2500, 31, 19}}) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + " build " +
                     std::to_string(c.build));
        useHost(c.major, c.minor, c.build);
        const ravelcast::OpenEXRFilter &f = makeFilter();
        EXPECT_EQ(f.buffers().size(), c.rows);
        EXPECT_EQ(position(f, "Depth"), c.depth);
        EXPECT_EQ(ravelcast::depthPosition(hostkit::productInfo()), c.depth);
        filters_.clear();
    }
}

// Every buffer is made from its catalogue row and starts unprocessed, as a
// layer, without a measured window; the row's own values are not restated.
TEST_F(CatalogueTest, BuffersAreMadeFromTheirRows)
{
    const ravelcast::OpenEXRFilter &f = makeFilter();
    std::vector<const ravelcast::CatalogueRow *> offered;
    for (const ravelcast::CatalogueRow &row : ravelcast::catalogue())
        if (ravelcast::presentIn(row.presence, hostkit::productInfo()))
            offered.push_back(&row);
    ASSERT_EQ(f.buffers().size(), offered.size());

    int activeCount = 0;
    for (std::size_t i = 0; i < offered.size(); ++i) {
        const OpenEXRBuffer::Definition &d = offered[i]->definition;
        const OpenEXRBuffer &b = *f.buffers()[i];
        SCOPED_TRACE(d.displayName);
        EXPECT_EQ(b.displayName(), d.displayName);
        EXPECT_EQ(b.layerName(), d.layerName);
        EXPECT_EQ(b.description(), d.description);
        EXPECT_EQ(b.pixelType(), d.pixelType);
        EXPECT_EQ(b.bytesPerSample(), d.pixelType == 1 ? 2 : 4) << "half is 2 bytes";
        EXPECT_EQ(b.alphaBuffer(), d.alphaBuffer);
        EXPECT_EQ(b.active(), d.active);
        EXPECT_EQ(b.layerOrDisplayName(), *d.layerName ? d.layerName : d.displayName);
        EXPECT_EQ(b.emptyValue(), offered[i]->depth ? 2e14f : 0.0f);
        int channels = 0;
        for (const ravelcast::ChannelSpec *c = d.channels; c->longName; ++c, ++channels) {
            EXPECT_EQ(b.channel(channels).hostBuffer(), c->hostBuffer);
            EXPECT_EQ(b.channel(channels).requestMask(), c->requestMask);
            EXPECT_EQ(b.channelLongName(channels), c->longName);
        }
        EXPECT_EQ(b.channelCount(), channels);
        activeCount += b.active();
        EXPECT_EQ(b.saveAs(), ravelcast::kSaveLayer);
        EXPECT_EQ(b.imageFormat(), 0);
        EXPECT_FALSE(b.invert() || b.unmultiply() || b.lumaAsRGB() || b.fitDataWindow());
        EXPECT_EQ(b.dataWindow().min.x, INT_MAX);
        EXPECT_EQ(b.dataWindow().max.y, INT_MIN);
        EXPECT_EQ(b.rawMaximum(), 1.17549435e-38f);
        EXPECT_EQ(b.rawMinimum(), 3.40282347e38f);
    }
    // Only the beauty and its alpha are written until the user asks.
    EXPECT_EQ(activeCount, 2);
    EXPECT_TRUE(f.buffer("Final Render")->active() && f.buffer("Alpha")->active());
}

TEST_F(CatalogueTest, FullChannelNames)
{
    const ravelcast::OpenEXRFilter &f = makeFilter();
    auto layered = [&](const std::string &buffer) {
        std::vector<std::string> out;
        for (const auto &names : f.buffer(buffer)->fileChannelNames(false))
            out.insert(out.end(), names.begin(), names.end());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(layered("Alpha"), V{"A"});
    EXPECT_EQ(layered("Depth"), V{"Z"});
    EXPECT_EQ(layered("Raw Colour"), (V{"Raw.R", "Raw.G", "Raw.B"}));
    EXPECT_EQ(layered("Special"), V{"Special.Y"});
    EXPECT_EQ(layered("Surface ID"), V{"SurfaceID"});
    EXPECT_EQ(layered("Tangent Space Tangent"), (V{"Tangent.T.X", "Tangent.T.Y", "Tangent.T.Z"}));
    EXPECT_EQ(layered("Final Render"), (V{"R", "G", "B"}));

    // Both names emptied by the user: Y for a single channel, nothing else.
    OpenEXRBuffer &special = *f.buffer("Special");
    special.setLayerName("");
    special.channel(0).setChannelName("");
    EXPECT_EQ(layered("Special"), V{"Y"});
    EXPECT_EQ(special.channel(0).fullChannelName(false, ""), "");
    special.setLayerName("Lay");
    EXPECT_EQ(layered("Special"), V{"Lay"});

    // An empty name in a multi-channel buffer fails in the channel list.
    OpenEXRBuffer &raw = *f.buffer("Raw Colour");
    raw.setLayerName("");
    raw.channel(1).setChannelName("");
    Imf::ChannelList list;
    try {
        raw.insertChannels(list, false);
        FAIL() << "no exception";
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "Image channel name cannot be an empty string.");
    }

    // Unprefixed names of separate images.
    EXPECT_EQ(f.buffer("Special")->fileChannelNames(true)[0], V{"Y"});
    OpenEXRBuffer &id = *f.buffer("Surface ID");
    id.setLumaAsRGB(true);
    EXPECT_EQ(id.fileChannelNames(true)[0], (V{"R", "G", "B"}));
    Imf::ChannelList ids;
    id.insertChannels(ids, true);
    for (const char *c : {"R", "G", "B"}) {
        ASSERT_NE(ids.findChannel(c), nullptr) << c;
        EXPECT_EQ(ids.findChannel(c)->type, Imf::UINT);
    }
    EXPECT_EQ(f.buffer("Motion")->fileChannelNames(true)[1], V{"Y"});
}

TEST_F(CatalogueTest, OldSingleChannelNamesAreFixedUp)
{
    const ravelcast::OpenEXRFilter &f = makeFilter();
    OpenEXRBuffer &alpha = *f.buffer("Alpha");
    alpha.setLayerName("A");
    alpha.channel(0).setChannelName("");
    alpha.fixSingleChannelName();
    EXPECT_EQ(alpha.layerName(), "");
    EXPECT_EQ(alpha.channel(0).channelName(), "A");

    OpenEXRBuffer &shadow = *f.buffer("Shadow");
    shadow.channel(0).setChannelName("");
    shadow.fixSingleChannelName();
    EXPECT_EQ(shadow.layerName(), "Shadow");
    EXPECT_EQ(shadow.channel(0).channelName(), "Y");

    OpenEXRBuffer &depth = *f.buffer("Depth");
    depth.channel(0).setChannelName("");
    depth.fixSingleChannelName();
    EXPECT_EQ(depth.channel(0).channelName(), "");

    OpenEXRBuffer &raw = *f.buffer("Raw Colour");
    raw.channel(0).setChannelName("");
    raw.fixSingleChannelName();
    EXPECT_EQ(raw.channel(0).channelName(), "");
}

TEST_F(CatalogueTest, EnvelopeGroupsAreNamedUniquely)
{
    auto &env = host().extensions().get<devhost::Envelopes>();
    const ravelcast::OpenEXRFilter &first = makeFilter();
    const ravelcast::OpenEXRFilter &second = makeFilter();
    EXPECT_EQ(first.rootGroupName(), "Ravelcast");
    EXPECT_EQ(second.rootGroupName(), "Ravelcast(0)");
    EXPECT_EQ(env.childGroups(nullptr), (std::vector<std::string>{"Ravelcast", "Ravelcast(0)"}));
    makeFilter();
    EXPECT_EQ(filters_.back()->rootGroupName(), "Ravelcast(1)");

    LWChanGroupID root = env.findGroup(nullptr, "Ravelcast");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(env.childGroups(root).size(), 31u);
    EXPECT_EQ(env.childGroups(root)[19], "Depth");
    EXPECT_EQ(env.channels(env.findGroup(root, "Depth")),
              (std::vector<std::string>{"Minimum", "Maximum", "Offset", "Scale", "Gamma"}));

    // A name already taken among the children gets the first free counter.
    EXPECT_EQ(hostkit::ChannelGroup::uniqueName("Depth", root), "Depth(0)");
    EXPECT_EQ(hostkit::ChannelGroup::uniqueName("Fresh", root), "Fresh");

    const int groups = env.liveGroups();
    filters_.erase(filters_.begin());
    EXPECT_EQ(env.liveGroups(), groups - 32) << "a filter takes its groups with it";
    filters_.clear();
    EXPECT_EQ(env.liveGroups(), 0);
    EXPECT_EQ(env.liveParameters(), 0);
}

TEST_F(CatalogueTest, PreProcessContextBuildsNothing)
{
    std::string error;
    int flags = LWFCF_PREPROCESS;
    ravelcast::OpenEXRFilter f(nullptr, &flags, error);
    EXPECT_EQ(error, "This plugin is for saving images only!");
    EXPECT_TRUE(f.buffers().empty());
    EXPECT_EQ(host().extensions().get<devhost::Envelopes>().liveGroups(), 0);
}

TEST_F(CatalogueTest, BufferRequestsFollowThePreview)
{
    ravelcast::OpenEXRFilter &f = makeFilter();
    f.buffer("Raw Colour")->setActive(true);
    // In Layout the preview shows every buffer, so all are asked for.
    ASSERT_TRUE(f.previewInUse());
    const int *all = f.hcFlags();
    EXPECT_EQ(all[0], 60);
    EXPECT_EQ(all[1], 32);
    EXPECT_EQ(all[60], 59);
    EXPECT_EQ(f.flags(), 0xFFFFFFFFu) << "every bit below 32 has a buffer";

    // Saving only, or on a render node: the Active buffers alone.
    useHost(10, 0, 2009, devhost::RunMode::ScreamerNet);
    EXPECT_FALSE(f.previewInUse());
    const int *active = f.hcFlags();
    EXPECT_EQ(std::vector<int>(active, active + active[0] + 1),
              (std::vector<int>{7, 32, 33, 34, 35, 6, 7, 8}));
    EXPECT_EQ(f.flags(), 0x40u | 0x80u | 0x100u);
    f.buffer("Refraction Colour")->setActive(true);
    EXPECT_EQ(f.flags(), 0x1C0u | 0x920020u | 0x1240020u | 0x2480020u);
}

TEST_F(CatalogueTest, ListLabels)
{
    const ravelcast::OpenEXRFilter &f = makeFilter();
    OpenEXRBuffer &raw = *f.buffer("Raw Colour");
    EXPECT_EQ(raw.listLabel(), "\x03(g:12)Raw Colour");
    raw.setActive(true);
    EXPECT_EQ(raw.listLabel(), "\x03(i:MIMG_CHECKMARK)\x03(g:2)Raw Colour (layer)");
    raw.setSaveAs(3);
    EXPECT_EQ(raw.listLabel(), "\x03(i:MIMG_CHECKMARK)\x03(g:2)Raw Colour (layer + exr)");
    raw.setSaveAs(2);
    EXPECT_EQ(raw.listLabel(), "\x03(i:MIMG_CHECKMARK)\x03(g:2)Raw Colour (exr)");
    raw.setSaveAs(0);
    EXPECT_EQ(raw.listLabel(), "\x03(i:MIMG_CHECKMARK)\x03(g:2)Raw Colour");

    // The "Save as" popup and its reverse.
    const int popup[] = {1, 2, 3, 6, 7};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ravelcast::saveAsFromPopup(i), popup[i]);
        EXPECT_EQ(ravelcast::popupFromSaveAs(popup[i]), i);
    }
    EXPECT_EQ(ravelcast::popupFromSaveAs(4), 0);
    EXPECT_EQ(ravelcast::popupFromSaveAs(5), 0);
}

} // namespace

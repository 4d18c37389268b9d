// The user's own header attributes: edited through the filter's panel as a
// user does, kept in scenes and settings files, written with their types
// and tokens into the layered file, the separate images and the module's
// saver's images, read back with the OpenEXR library; rows a header cannot
// take are refused or told, never written.

#include <string>

#include <gtest/gtest.h>

#include <ImfFloatAttribute.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include "E2ESupport.h"

namespace {

const std::string kScript = std::string(DOCS_DIR) + "/tests/ui/user-metadata.ui";

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string text(const Imf::Header &h, const char *name)
{
    const auto *a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? a->value() : "(no text attribute " + std::string(name) + ")";
}

// The rows the script leaves, as every file of frame 1 carries them.
void expectRows(const std::string &file)
{
    SCOPED_TRACE(file);
    const Imf::Header h = e2e::headerOf(file);
    EXPECT_EQ(text(h, "shot"), "e2e_sh010");
    const auto *take = h.findTypedAttribute<Imf::IntAttribute>("take");
    ASSERT_TRUE(take);
    EXPECT_EQ(take->value(), 7);
    const auto *fps = h.findTypedAttribute<Imf::FloatAttribute>("fps");
    ASSERT_TRUE(fps);
    EXPECT_EQ(fps->value(), 23.976f);
    const auto *frame = h.findTypedAttribute<Imf::IntAttribute>("frameNumber");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->value(), 1);
    // The user and the machine are the ones the file names as its owner
    // and computer; an unknown %-word stays as written.
    EXPECT_EQ(text(h, "artist"),
              text(h, "owner") + " on " + text(h, "computerName") + ", 100% done");
    EXPECT_EQ(h.find("key6"), h.end()) << "the removed row";
}

TEST(UserMetadataTest, EditedInThePanelKeptAndWrittenIntoEveryFile)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"),
                           e2e::sceneHeader("{ ImageSaver \"OpenEXR(.exr)\" }") + e2e::kPlugin +
                               "{ useRGBPrefix 1 }\n" +
                               e2e::buffer("Final Render", "{ SaveAs 3 }") + e2e::kEnd);
    std::string out;
    ASSERT_EQ(e2e::devhostIn(dir.path(), "ui scene.lws " + e2e::shellQuoted(kScript), &out), 0)
        << out;
    // Every refusal names the row and the reason, and nothing was taken.
    for (const char *said :
         {"Metadata row 5 (artist): the key is empty",
          "Metadata row 5 (artist): Ravelcast writes the attribute \"owner\" itself",
          "Metadata row 5 (artist): metadata row 1 already has the key \"shot\"",
          "Ravelcast writes the attribute \"cryptomatte/0123abc/name\" itself",
          "Metadata row 2 (key2): Ravelcast writes the attribute \"version\" itself",
          "Metadata row 2 (take): \"seven\" does not read as an integer",
          "Metadata row 2 (take): \"3000000000\" does not read as an integer",
          "Metadata row 2 (take): \"scene\" does not read as an integer",
          "Metadata row 1 (shot): \"scene_sh010\" does not read as an integer",
          "the row stays take (Integer) = \"7\""})
        EXPECT_TRUE(contains(out, said)) << said << "\n" << out;
    for (const char *item : {"0 shot = %scene%_sh010", "1 take = 7", "2 fps = 23.976",
                             "3 frameNumber = %frame%", "4 artist = %user% on %machine%, 100% done"})
        EXPECT_TRUE(contains(out, item)) << item << "\n" << out;

    // The layered file, the separate image and the saver's frame image.
    for (const char *file : {"out/shot001.exr", "out/shotFinal Render001.exr", "out/shot0001.exr"})
        expectRows(dir.file(file));

    // Kept in the scene, and in the settings file, as rows.
    const std::string saved = testsupport::readFile(dir.file("saved.lws"));
    EXPECT_TRUE(contains(saved, "{ UserMetadata\n")) << saved;
    EXPECT_TRUE(contains(saved, "{ Key \"take\" }")) << saved;
    EXPECT_TRUE(contains(testsupport::readFile(dir.file("rows.cfg")), "frameNumber"));
    const std::string check = "open Ravelcast\ntab Metadata\n"
                              "expect \"Metadata Row\" \"shot = %scene%_sh010\"\n"
                              "set \"Metadata Row\" 4\nexpect Key artist\n"
                              "set \"Metadata Row\" 1\nexpect Type Integer\nexpect Value 7\n"
                              "set \"Metadata Row\" 2\nexpect Type Float\nexpect Value 23.976\n";
    testsupport::writeFile(dir.file("check.ui"), check);
    ASSERT_EQ(e2e::devhostIn(dir.path(), "ui saved.lws check.ui", &out), 0) << out;
    testsupport::writeFile(dir.file("fresh.lws"), e2e::sceneHeader());
    testsupport::writeFile(dir.file("load.ui"),
                           "open Ravelcast\nfile rows.cfg\n"
                           "command Presets \"Load Settings from File...\"\n" + check);
    ASSERT_EQ(e2e::devhostIn(dir.path(), "ui fresh.lws load.ui", &out), 0) << out;
}

// Rows a scene holds but no header can take (another program's, or a
// damaged file's) are left out with a warning that names them, shown as
// errors in the review; a row the file could not read is not taken.
TEST(UserMetadataTest, RowsNoHeaderCanTakeAreToldAndLeftOut)
{
    testsupport::TempDir dir;
    const auto row = [](const std::string &key, int type, const std::string &value) {
        return "{ Row { Key \"" + key + "\" } { Type " + std::to_string(type) + " } { Value \"" +
               value + "\" } }\n";
    };
    testsupport::writeFile(
        dir.file("scene.lws"),
        e2e::sceneHeader() + e2e::kPlugin + "{ useRGBPrefix 1 }\n{ UserMetadata\n" +
            row("owner", 0, "somebody else") + row("take", 1, "%camera%") +
            row("sequence", 0, "sq%frame%") + "{ Row { Key \"lost\" } { Value \"no type\" } }\n" +
            row("take", 1, "2") + "}\n" + e2e::buffer("Final Render", "{ SaveAs 1 }") + e2e::kEnd);
    testsupport::writeFile(dir.file("review.ui"),
                           "open Ravelcast\npress \"Review Settings...\"\n"
                           "text \"Ravelcast: Buffer Review\"\nclose\nclose\nrender 1\n");
    std::string out;
    ASSERT_EQ(e2e::devhostIn(dir.path(), "ui scene.lws review.ui", &out), 0) << out;
    for (const char *said :
         {"Metadata row 4 could not be read; it was left out.",
          "User Metadata (every file):",
          "Metadata row 1 (owner): Ravelcast writes the attribute \"owner\" itself",
          "Metadata row 2 (take): \"Camera\" does not read as an integer",
          "Metadata row 4 (take): metadata row 2 already has the key \"take\"",
          "a metadata row was not written"})
        EXPECT_TRUE(contains(out, said)) << said << "\n" << out;
    const Imf::Header h = e2e::headerOf(dir.file("out/shot001.exr"));
    EXPECT_NE(text(h, "owner"), "somebody else");
    EXPECT_EQ(text(h, "sequence"), "sq1");
    EXPECT_EQ(h.find("take"), h.end());
    EXPECT_EQ(h.find("lost"), h.end());
}

} // namespace

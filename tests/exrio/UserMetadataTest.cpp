// What a user's row must be to reach a header, and what the header then
// holds: the limits of header names, numbers read whatever the locale, the
// tokens, and attributes a row never replaces.

#include <clocale>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImfFloatAttribute.h>
#include <ImfHeader.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include "exrio/UserMetadata.h"

namespace {

using ravelcast::UserMetadataRow;

std::string problem(const UserMetadataRow &row)
{
    return ravelcast::userMetadataProblem({row}, 0, ravelcast::exampleMetadataTokens());
}

TEST(UserMetadataRowsTest, KeysAndValuesAHeaderCanHold)
{
    using ravelcast::kUserFloat;
    using ravelcast::kUserInteger;
    using ravelcast::kUserText;
    EXPECT_EQ(problem({"shot", kUserText, ""}), "");
    EXPECT_EQ(problem({"Aufnahme für Jürgen/日本", kUserText, "x"}), "") << "non-ASCII keys";
    EXPECT_NE(problem({"tab\there", kUserText, ""}).find("control character"), std::string::npos);
    EXPECT_EQ(problem({std::string(255, 'k'), kUserText, ""}), "");
    EXPECT_NE(problem({std::string(256, 'k'), kUserText, ""}).find("longer than 255"),
              std::string::npos);
    for (const char *reserved : {"owner", "dataWindow", "version", "CRYPTOMATTE/x/name", "Make"})
        EXPECT_NE(problem({reserved, kUserText, ""}).find("writes the attribute"), std::string::npos)
            << reserved;
    EXPECT_NE(problem({"n", 7, ""}).find("not Text, Integer or Float"), std::string::npos);

    // Numbers: whole texts, blanks and a plus sign allowed, in range, with a
    // dot whatever the locale says.
    const char *locale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    for (const char *good : {"7", " -12 ", "+3", "2147483647", "-2147483648", "%frame%"})
        EXPECT_EQ(problem({"n", kUserInteger, good}), "") << good;
    for (const char *bad : {"", "7.5", "12abc", "2147483648", "0x10", "%scene%"})
        EXPECT_NE(problem({"n", kUserInteger, bad}), "") << bad;
    for (const char *good : {"23.976", "-0.5", "1e-3", "+24", "3.4e38"})
        EXPECT_EQ(problem({"f", kUserFloat, good}), "") << good;
    for (const char *bad : {"23,976", "1e39", "inf", "nan", "", "0.5s"})
        EXPECT_NE(problem({"f", kUserFloat, bad}), "") << bad;
    if (locale)
        std::setlocale(LC_NUMERIC, "C");

    // Tokens, case-insensitive; other %-words and lone signs stay.
    ravelcast::MetadataTokens t = ravelcast::exampleMetadataTokens();
    t.scene = "shot";
    t.frame = "12";
    EXPECT_EQ(ravelcast::expandMetadataTokens("%SCENE%_%Frame%%dot%v%x% 50% %", t),
              "shot_12.v%x% 50% %");
    EXPECT_EQ(ravelcast::expandMetadataTokens("100%%frame%", t), "100%12");
}

TEST(UserMetadataRowsTest, WrittenTypedNeverOverAnAttributeTheFileHolds)
{
    Imf::Header h(4, 4);
    h.insert("owner", Imf::StringAttribute("renderer"));
    h.insert("studioKey", Imf::StringAttribute("kept"));
    const std::vector<UserMetadataRow> rows = {
        {"take", ravelcast::kUserInteger, " 4"},
        {"fps", ravelcast::kUserFloat, "23.976"},
        {"studioKey", ravelcast::kUserText, "replaced?"},
        {"take", ravelcast::kUserText, "again"},
        {"note", ravelcast::kUserText, "%camera% %eye%"},
    };
    const std::vector<std::string> refused =
        ravelcast::applyUserMetadata(h, rows, ravelcast::exampleMetadataTokens());
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0], "Metadata row 3 (studioKey): the file already holds an attribute \"studioKey\".");
    EXPECT_EQ(refused[1], "Metadata row 4 (take): metadata row 1 already has the key \"take\".");
    EXPECT_EQ(h.typedAttribute<Imf::IntAttribute>("take").value(), 4);
    EXPECT_EQ(h.typedAttribute<Imf::FloatAttribute>("fps").value(), 23.976f);
    EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("studioKey").value(), "kept");
    EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("note").value(), "Camera L");
    EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("owner").value(), "renderer");
}

} // namespace

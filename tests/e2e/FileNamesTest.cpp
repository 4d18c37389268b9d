// File names as artists type them: letters beyond ASCII (UTF-8), and on
// Windows '\' and '/' mixed, a drive letter and names past the old length
// limit of 260. The frame lands under exactly that name, whole, and reads
// back through the standard library's own streams.

#include <filesystem>
#include <fstream>

#include <ImfInputFile.h>
#include <ImfStdIO.h>

#include "E2ESupport.h"

namespace {

using e2e::buffer;
using e2e::kEnd;
using e2e::kPlugin;

class FileNamesTest : public e2e::RenderTest {
protected:
    // A scene's text writes '\' as "\\".
    static std::string sceneText(const std::string &path)
    {
        std::string out;
        for (char c : path)
            out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return out;
    }

    // Renders one frame with the Output File set to base; the layered file
    // and the separate Depth image must then be at the names given.
    void renderTo(const std::string &base, const std::string &layered, const std::string &depth)
    {
        SCOPED_TRACE(base);
        render(e2e::sceneHeader() + kPlugin + "{ useRGBPrefix 0 }\n{ FileName \"" +
               sceneText(base) + "\" }\n" + buffer("Final Render", "") + buffer("Alpha", "") +
               buffer("Depth", "{ SaveAs 2 }") + kEnd);
        for (const std::string &name : {layered, depth}) {
            const std::filesystem::path file = std::filesystem::u8path(name);
            ASSERT_TRUE(std::filesystem::is_regular_file(file)) << name;
            // Read through the C++ library's file stream, not the module's.
            std::ifstream bytes(file, std::ios::binary);
            Imf::StdIFStream stream(bytes, name.c_str());
            Imf::InputFile in(stream);
            EXPECT_TRUE(in.isComplete()) << name;
            EXPECT_NE(in.header().channels().begin(), in.header().channels().end()) << name;
        }
    }
};

TEST_F(FileNamesTest, LettersBeyondAsciiAndThePlatformsOwnForms)
{
    // Relative to the content directory, in folders the module makes.
    renderTo("Aufnahmen für Jürgen/日本語/shot",
             out("Aufnahmen für Jürgen/日本語/shot001.exr"),
             out("Aufnahmen für Jürgen/日本語/shotDepth001.exr"));
    EXPECT_EQ(e2e::filesIn(std::filesystem::u8path(out("Aufnahmen für Jürgen"))),
              (std::vector<std::string>{testsupport::nativePath("日本語/shot001.exr"),
                                        testsupport::nativePath("日本語/shotDepth001.exr")}));

#if defined(_WIN32)
    // An absolute name with its drive letter, '\' and '/' mixed: the same
    // folders as written with '\' alone.
    std::string mixed = out("mixed") + "/à/b\\shot";
    ASSERT_EQ(mixed[1], ':') << "the test folder has a drive letter";
    renderTo(mixed, out("mixed\\à\\b\\shot001.exr"), out("mixed\\à\\b\\shotDepth001.exr"));

    // Past 260 characters, where the old calls stop.
    const std::string deep = out(std::string(120, 'd') + "\\" + std::string(120, 'e') + "\\shot");
    ASSERT_GT(deep.size(), 260u);
    renderTo(deep, deep + "001.exr", deep + "Depth001.exr");
#endif
}

} // namespace

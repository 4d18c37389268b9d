// Every input the fuzzers ever found a fault with is kept under
// tests/data/fuzz/<target>/ and replayed here through the same code the
// fuzz programs run, so the ordinary and the sanitizer builds both guard
// against its return. A replay passes when it ends: a crash, a sanitizer
// report or a broken settings round trip aborts the suite.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FuzzTargets.h"
#include "TestSupport.h"

namespace {

std::vector<std::filesystem::path> reproducers(const std::string &target)
{
    std::vector<std::filesystem::path> files;
    for (const auto &e :
         std::filesystem::directory_iterator(testsupport::dataPath("fuzz/" + target)))
        if (e.is_regular_file())
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(FuzzRegression, EveryKeptInputReplaysCleanly)
{
    for (const char *name : {"loader", "blockfile", "settings", "deflate"}) {
        const fuzz::Target target = fuzz::target(name);
        ASSERT_NE(target, nullptr) << name;
        const auto files = reproducers(name);
        EXPECT_FALSE(files.empty()) << "no kept inputs for " << name;
        for (const auto &file : files) {
            SCOPED_TRACE(file.string());
            const std::string bytes = testsupport::readFile(file.string());
            target(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
        }
    }
}

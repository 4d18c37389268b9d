// The module as the host loads it: its one export, its descriptor and the
// server table startup hands back; modules a host must refuse.

#if defined(_WIN32)
#include <windows.h>

#include "hostkit/utility/Platform.h"
#endif
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "devhost/Module.h"

namespace {

struct Expected {
    const char *className;
    const char *name;
    std::vector<std::pair<unsigned int, std::string>> tags;
};

const std::vector<std::pair<unsigned int, std::string>> kFilterTags = {
    {0x00000, "Orvo Ravelcast - OpenEXR Layered Export"},
    {0x40000, "Ravelcast - OpenEXR Layered Export"},
    {0x20000, "Orvo Ravelcast"}};
const std::vector<std::pair<unsigned int, std::string>> kMasterTags = {
    {0x00000, "Orvo OpenEXR Settings"}, {0x40000, "OpenEXR Save Settings"}, {0x20000, "Orvo Ravelcast"}};

const std::vector<Expected> kServers = {
    {"ImageFilterHandler", "Ravelcast", kFilterTags},
    {"ImageFilterInterface", "Ravelcast", kFilterTags},
    {"LayoutGeneric", "Open_Ravelcast",
     {{0x00000, "Orvo Ravelcast..."}, {0x40000, "Ravelcast..."}, {0x20000, "Orvo Ravelcast"}}},
    {"LayoutGeneric", "Open_OpenEXRSettings",
     {{0x00000, "Orvo OpenEXR Settings..."}, {0x40000, "OpenEXR Settings..."}, {0x20000, "Orvo Ravelcast"}}},
    {"ImageLoader", "LW_OpenEXR", {{0x20000, "Orvo Ravelcast"}}},
    {"ImageSaver", "OpenEXR(.exr)", {{0x20000, "Orvo Ravelcast"}}},
    {"ImageSaver", "OpenEXR_Dummy(.exr)", {{0x00000, "OpenEXR Dummy(.exr)"}, {0x20000, "Orvo Ravelcast"}}},
    {"MasterHandler", "OpenEXRSettings", kMasterTags},
    {"MasterInterface", "OpenEXRSettings", kMasterTags},
};

class ModuleLoadTest : public testsupport::HostTest {};

TEST_F(ModuleLoadTest, DescriptorAndServerTable)
{
    devhost::Module &m = load();
    const ModuleDescriptor *d = m.descriptor();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->sysSync, 0x04121994u);
    EXPECT_EQ(d->sysVersion, 3u);
    EXPECT_EQ(d->sysMachine, 0x300u);
    EXPECT_EQ(d->reserved, 0u);
    ASSERT_EQ(d->serverDefs, m.serverTable());

    const ServerRecord *table = m.serverTable();
    for (std::size_t i = 0; i < kServers.size(); ++i) {
        SCOPED_TRACE(kServers[i].name);
        ASSERT_NE(table[i].className, nullptr);
        EXPECT_STREQ(table[i].className, kServers[i].className);
        EXPECT_STREQ(table[i].name, kServers[i].name);
        EXPECT_NE(table[i].activate, nullptr);
        std::vector<std::pair<unsigned int, std::string>> tags;
        const ServerTagInfo *t = table[i].tagInfo;
        for (; t->string; ++t)
            tags.emplace_back(t->tag, t->string);
        EXPECT_EQ(t->tag, 0u);
        EXPECT_EQ(tags, kServers[i].tags);
    }
    const ServerRecord &end = table[kServers.size()];
    EXPECT_EQ(end.className, nullptr);
    EXPECT_EQ(end.name, nullptr);
    EXPECT_EQ(end.activate, nullptr);
    EXPECT_EQ(end.tagInfo, nullptr);

    // Handler and interface records share one tag table.
    EXPECT_EQ(table[0].tagInfo, table[1].tagInfo);
    EXPECT_EQ(table[7].tagInfo, table[8].tagInfo);
    EXPECT_EQ(table[4].tagInfo, table[5].tagInfo);
}

TEST_F(ModuleLoadTest, ExportsOnlyTheDescriptor)
{
#if defined(_WIN32)
    // The names in the DLL's export table, as LoadLibrary sees them.
    HMODULE dll = LoadLibraryExW(hostkit::widePath(testsupport::modulePath()).c_str(), nullptr,
                                 DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(dll, nullptr);
    const auto *base = reinterpret_cast<const unsigned char *>(dll);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> exported;
    if (entry.Size != 0) {
        const auto *table = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
        const auto *names = reinterpret_cast<const DWORD *>(base + table->AddressOfNames);
        for (DWORD i = 0; i < table->NumberOfNames; ++i)
            exported.insert(reinterpret_cast<const char *>(base + names[i]));
        EXPECT_EQ(table->NumberOfFunctions, 1u) << "nothing exported by number alone";
    }
    FreeLibrary(dll);
    EXPECT_EQ(exported, std::set<std::string>{"_mod_descrip"});
#else
    std::string out;
    ASSERT_EQ(testsupport::run("nm -D --defined-only " + testsupport::modulePath(), &out), 0) << out;
    std::set<std::string> ours;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string symbol = line.substr(line.rfind(' ') + 1);
        ours.insert(symbol);
    }
    EXPECT_EQ(ours, std::set<std::string>{"_mod_descrip"}) << out;
#endif
}

TEST_F(ModuleLoadTest, RefusesModulesWithoutAProperDescriptor)
{
    auto refused = [&](const std::string &path) {
        try {
            load(path);
        } catch (const devhost::ModuleError &e) {
            return std::string(e.what());
        }
        return std::string("loaded");
    };
    const std::string badSync = testsupport::testModulePath("bad_sync_module");
    EXPECT_EQ(refused(badSync), "\"" + badSync +
                                    "\" has a wrong synchronisation value 0x12345678 "
                                    "(expected 0x04121994)");
    const std::string none = testsupport::testModulePath("no_descriptor_module");
    EXPECT_EQ(refused(none), "\"" + none + "\" is not a plug-in module: it exports no _mod_descrip");
    EXPECT_EQ(refused("/no/such/module.so"),
              "Cannot load module \"/no/such/module.so\": the file does not exist");
    EXPECT_EQ(host().module(), nullptr);
}

TEST(DevhostProgram, ServersCommandListsTheTable)
{
    std::string out;
    ASSERT_EQ(testsupport::run(testsupport::devhostPath() + " servers", &out), 0) << out;
    std::istringstream lines(out);
    std::string line;
    std::size_t i = 0;
    while (std::getline(lines, line)) {
        ASSERT_LT(i, kServers.size()) << line;
        std::ostringstream expected;
        char head[64];
        std::snprintf(head, sizeof head, "%-22s %-22s", kServers[i].className, kServers[i].name);
        expected << head;
        const char *sep = " ";
        for (const auto &[tag, text] : kServers[i].tags) {
            char t[16];
            std::snprintf(t, sizeof t, "0x%05X", tag);
            expected << sep << t << " \"" << text << "\"";
            sep = "; ";
        }
        EXPECT_EQ(line, expected.str());
        ++i;
    }
    EXPECT_EQ(i, kServers.size());

    // --module wins over the environment; a bad module is refused by name.
    const std::string bad = testsupport::testModulePath("bad_sync_module");
    EXPECT_EQ(testsupport::run(testsupport::devhostPath() + " --module " + bad + " servers", &out), 1);
    EXPECT_NE(out.find("wrong synchronisation value"), std::string::npos) << out;
#if defined(_WIN32)
    const std::string withBadModule = "set \"RAVELCAST_MODULE=" + bad + "\" && ";
#else
    const std::string withBadModule = "RAVELCAST_MODULE=" + bad + " ";
#endif
    EXPECT_EQ(testsupport::run(withBadModule + testsupport::devhostPath() +
                                   " servers --module " + testsupport::modulePath(),
                               &out),
              0)
        << out;
    EXPECT_EQ(testsupport::run(testsupport::devhostPath() + " --help", &out), 0);
    for (const char *word : {"servers", "describe", "generic", "--module", "--mode"})
        EXPECT_NE(out.find(word), std::string::npos) << word;
    EXPECT_EQ(testsupport::run(testsupport::devhostPath() + " frobnicate", &out), 2);
}

} // namespace

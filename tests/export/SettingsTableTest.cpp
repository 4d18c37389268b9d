// The settings tables as tables: every row of every level is read, written
// and copied the way its row says, whatever setting it is.
#include <cmath>
#include <set>
#include <sstream>

#include "ExportTest.h"
#include "devhost/BlockFile.h"

namespace {

using hostkit::Stored;
using ravelcast::BufferChannel;
using ravelcast::OpenEXRBuffer;
using ravelcast::OpenEXRFilter;

// Where a row's block sits in the filter's settings.
enum class Level { Filter, Buffer, Channel };

std::string nest(Level level, const std::string &block)
{
    const std::string channel = "{ Channel { Name \"Red\" } { Settings " + block + " } }";
    switch (level) {
    case Level::Filter: return block;
    case Level::Buffer:
        return "{ Buffer { Name \"Diffuse Colour\" } { Settings { Active 1 } " + block + " } }";
    case Level::Channel:
        return "{ Buffer { Name \"Diffuse Colour\" } { Settings { Active 1 } " + channel + " } }";
    }
    return block;
}

std::string number(double v, Stored stored)
{
    std::ostringstream s;
    if (stored == Stored::FP)
        s << v;
    else
        s << static_cast<long long>(v);
    return s.str();
}

// Values a row must take over, and one it must refuse (empty: none).
struct Probe {
    std::vector<std::string> taken;
    std::string refused;
};

template <class Owner> Probe probe(const hostkit::Field<Owner> &f)
{
    switch (f.stored) {
    case Stored::Bool: return {{"0", "1"}, ""};
    case Stored::String: return {{"\"table value\"", "\"\""}, ""};
    case Stored::Other: return {};
    default: break;
    }
    const double lo = std::isfinite(f.lo) ? f.lo : -2.5;
    const double hi = std::isfinite(f.hi) ? f.hi : 2.5;
    // The largest value each storage holds: a range up to it refuses nothing.
    const double most = f.stored == Stored::I2   ? 32767.0
                        : f.stored == Stored::I4 ? 2147483647.0
                        : f.stored == Stored::U4 ? 4294967295.0
                                                 : HUGE_VAL;
    std::string refused = "nan";
    if (std::isfinite(f.hi))
        refused = f.hi < most ? number(f.hi + 1, f.stored) : "";
    return {{number(lo, f.stored), number(hi, f.stored)}, refused};
}

class SettingsTableTest : public ExportTest {
protected:
    std::string saved(OpenEXRFilter &f)
    {
        devhost::TextBlockWriter w;
        w.state()->ioMode = LWIO_ASCII;
        hostkit::SaveState s(w.state());
        // As a preset: every buffer is written, Active or not.
        EXPECT_EQ(f.saveSettings(s, true), "");
        return w.contents();
    }
    void load(OpenEXRFilter &f, const std::string &text)
    {
        devhost::TextBlockReader r(text);
        r.setPluginLevel(true);
        hostkit::LoadState s(r.state());
        EXPECT_EQ(f.loadSettings(s, true), "") << text;
    }

    template <class Owner> void checkLevel(const hostkit::FieldTable<Owner> &table, Level level)
    {
        std::set<unsigned int> ids;
        std::set<std::string> keys;
        for (const auto &row : table.rows()) {
            const std::string key = row.ident.token;
            SCOPED_TRACE(key);
            EXPECT_TRUE(ids.insert(row.ident.id).second) << "id named twice";
            EXPECT_TRUE(keys.insert(key).second) << "key named twice";
            EXPECT_NE(row.load, nullptr);
            // A row that is saved is copied too; only older forms are read alone.
            EXPECT_EQ(row.save != nullptr, row.copy != nullptr);

            const Probe p = probe(row);
            for (const std::string &value : p.taken) {
                const std::string block = "{ " + key + " " + value + " }";
                OpenEXRFilter &f = makeFilter();
                load(f, nest(level, block));
                const std::string text = saved(f);
                EXPECT_NE(text.find(block), std::string::npos) << text;
                if (!p.refused.empty()) {
                    load(f, nest(level, "{ " + key + " " + p.refused + " }"));
                    EXPECT_EQ(saved(f), text) << "took " << p.refused;
                }
                OpenEXRFilter &copy = makeFilter();
                copy.copy(f);
                EXPECT_EQ(saved(copy), text);
            }
        }
    }
};

// Every row's default is the value a fresh owner has, and reset gives it
// back after a load changed it; a row a control edits names its label and
// kind.
template <class Owner> std::string savedRows(const hostkit::FieldTable<Owner> &table, const Owner &o)
{
    devhost::TextBlockWriter w;
    w.state()->ioMode = LWIO_ASCII;
    hostkit::SaveState s(w.state());
    table.save(o, s);
    return w.contents();
}

template <class Owner>
void checkDefaults(const hostkit::FieldTable<Owner> &table, Owner &fresh, Owner &changed)
{
    const std::string defaults = savedRows(table, fresh);
    int changes = 0;
    for (const auto &row : table.rows()) {
        SCOPED_TRACE(row.ident.token);
        if (row.control) {
            EXPECT_NE(row.label, nullptr);
            EXPECT_NE(row.kind, hostkit::Control::None);
        }
        if (!row.reset || !row.save)
            continue;
        for (const std::string &value : probe(row).taken) {
            devhost::TextBlockReader r("{ " + std::string(row.ident.token) + " " + value + " }");
            r.setPluginLevel(true);
            hostkit::LoadState s(r.state());
            hostkit::ErrorText error;
            if (const unsigned int id = s.findBlock(table.idents())) {
                hostkit::FoundBlock block(s);
                EXPECT_TRUE(table.load(changed, id, s, error));
            }
            changes += savedRows(table, changed) != defaults ? 1 : 0;
            row.reset(row, changed);
            EXPECT_EQ(savedRows(table, changed), defaults) << value;
        }
    }
    // One of each row's two probes differs from its default.
    EXPECT_GE(changes, 6);
}

TEST_F(SettingsTableTest, EveryRowStartsAtItsDefaultAndResetsToIt)
{
    ravelcast::FilterSettings fresh, changed;
    EXPECT_EQ(fresh.nameFormat, 1);
    EXPECT_EQ(fresh.compression, 3);
    EXPECT_DOUBLE_EQ(fresh.dwaLevel, 45.0);
    EXPECT_TRUE(fresh.useRGBPrefix);
    checkDefaults(ravelcast::FilterSettings::fields(), fresh, changed);

    ravelcast::BufferSettings buffer, other;
    buffer.makeParameters(nullptr);
    other.makeParameters(nullptr);
    EXPECT_EQ(buffer.saveAs, ravelcast::kSaveLayer);
    EXPECT_DOUBLE_EQ(buffer.gamma->value(0.0), 1.0);
    checkDefaults(ravelcast::BufferSettings::fields(), buffer, other);
}

TEST_F(SettingsTableTest, EveryRowLoadsSavesAndCopiesAsItsRowSays)
{
    checkLevel(ravelcast::FilterSettings::fields(), Level::Filter);
    checkLevel(ravelcast::BufferSettings::fields(), Level::Buffer);
    checkLevel(BufferChannel::fields(), Level::Channel);
}

} // namespace

// Settings tables: one table per settings level names every setting once,
// with its block ident (id and storage key), how it is stored, its default,
// which values a load accepts, how it is copied and the panel control that
// edits it (id, label, kind). Defaults, load, save, copy and the panel's
// controls and values are driven from the table, so a new setting is one
// new row.
#ifndef HOSTKIT_FIELDS_H
#define HOSTKIT_FIELDS_H

#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "hostkit/BlockIO.h"
#include "hostkit/Storeable.h"

namespace hostkit {

// Closes the block it opened on every path out of a scope.
class SavedBlock {
public:
    SavedBlock(SaveState &s, const LWBlockIdent &ident, bool leaf) : s_(s)
    {
        s_.beginBlock(ident, leaf);
    }
    ~SavedBlock() { s_.endBlock(); }
    SavedBlock(const SavedBlock &) = delete;
    SavedBlock &operator=(const SavedBlock &) = delete;

private:
    SaveState &s_;
};

// Ends the block findBlock entered, on every path out of a scope.
class FoundBlock {
public:
    explicit FoundBlock(LoadState &s) : s_(s) {}
    ~FoundBlock() { s_.endBlock(); }
    FoundBlock(const FoundBlock &) = delete;
    FoundBlock &operator=(const FoundBlock &) = delete;

private:
    LoadState &s_;
};

// How a value is stored in its leaf block; Other: the row stores itself
// (nested blocks, or a conversion of its own).
enum class Stored { I2, I4, U4, FP, Bool, String, Other };

// A setting as a panel control shows it: an integer (booleans 0/1, popup
// indices), a floating value or a text.
struct PanelValue {
    int i = 0;
    double f = 0.0;
    std::string s;
};

// What a panel control's value is.
enum class PanelType { None, Integer, Float, Text };

// The kinds of panel control a setting (or a panel of its own) uses.
enum class Control {
    None,
    Boolean,  // a check box
    Choice,   // a popup list: an index
    Integer,  // a typed whole number
    Float,    // a typed number
    FloatEnv, // a typed number that may be enveloped
    Text,     // a line of text
    FileName, // a file name with its requester
    Info,     // a text shown, not edited
    Button,   // no value
    Command,  // a popup of commands
};

// A control kind as the host's XPanel names it, and its value.
struct ControlKind {
    const char *controlClass; // "iBoolean", "float-env", ...
    const char *dataType;     // the value's type in the panel's data list
    PanelType value;
};
const ControlKind &controlKind(Control kind);

template <class Owner> struct Field {
    using Save = void (*)(const Field &, const Owner &, SaveState &);
    using Load = ErrorText (*)(const Field &, Owner &, LoadState &);
    using Copy = void (*)(Owner &, const Owner &);
    using Reset = void (*)(const Field &, Owner &);
    using PanelGet = PanelValue (*)(const Owner &);
    // false: the value is refused and nothing changes.
    using PanelSet = bool (*)(const Field &, Owner &, const PanelValue &);

    LWBlockIdent ident;
    Save save = nullptr; // null: only read (an older form of a setting)
    Load load = nullptr; // null: read by the owner itself (nested blocks)
    Copy copy = nullptr;
    // Sets the row's default (null: the owner makes the value itself).
    Reset reset = nullptr;
    // false: saved with the scene, never in a preset.
    bool inPresets = true;
    Stored stored = Stored::Other;
    // A loaded number outside [lo, hi], not a number, or a value that could
    // not be read as its type is not taken over: the setting keeps what it
    // had.
    double lo = 0.0, hi = 0.0;
    // The default of a number or flag, and of a text.
    double byDefault = 0.0;
    const char *textByDefault = "";
    // The panel control that edits the setting (0: none), its label and kind.
    unsigned int control = 0;
    const char *label = nullptr;
    Control kind = Control::None;
    PanelGet panelGet = nullptr;
    PanelSet panelSet = nullptr;

    // The row with its default.
    Field defaults(double v) const
    {
        Field f = *this;
        f.byDefault = v;
        return f;
    }
    Field defaults(const char *text) const
    {
        Field f = *this;
        f.textByDefault = text;
        return f;
    }
    // The row, set to its default by a way of its own.
    Field resets(Reset r) const
    {
        Field f = *this;
        f.reset = r;
        return f;
    }
    // The row, kept with the scene only.
    Field notInPresets() const
    {
        Field f = *this;
        f.inPresets = false;
        return f;
    }
    // The row, edited on the panel by control cid, shown as label.
    Field on(unsigned int cid, const char *text, Control how) const
    {
        Field f = *this;
        f.control = cid;
        f.label = text;
        f.kind = how;
        return f;
    }
    // The same, edited in a way of its own.
    Field on(unsigned int cid, const char *text, Control how, PanelGet get, PanelSet set) const
    {
        Field f = on(cid, text, how);
        f.panelGet = get;
        f.panelSet = set;
        return f;
    }
};

namespace fields {

// Nothing when the host read no number.
std::optional<double> readNumber(LoadState &s, Stored stored);
void writeNumber(SaveState &s, Stored stored, double v);

template <class T, class Owner> struct MemberOf;
template <class T, class Owner> struct MemberOf<T Owner::*, Owner> {
    using type = T;
};

// A number (or an enumeration held as int) stored as `stored`.
template <class Owner, auto M>
Field<Owner> number(const LWBlockIdent &ident, Stored stored, double lo, double hi)
{
    using T = typename MemberOf<decltype(M), Owner>::type;
    Field<Owner> f;
    f.ident = ident;
    f.stored = stored;
    f.lo = lo;
    f.hi = hi;
    f.save = [](const Field<Owner> &f, const Owner &o, SaveState &s) {
        SavedBlock b(s, f.ident, true);
        writeNumber(s, f.stored, static_cast<double>(o.*M));
    };
    f.load = [](const Field<Owner> &f, Owner &o, LoadState &s) -> ErrorText {
        const std::optional<double> v = readNumber(s, f.stored);
        if (v && *v >= f.lo && *v <= f.hi)
            o.*M = static_cast<T>(*v);
        return {};
    };
    f.copy = [](Owner &to, const Owner &from) { to.*M = from.*M; };
    f.reset = [](const Field<Owner> &f, Owner &o) { o.*M = static_cast<T>(f.byDefault); };
    f.panelGet = [](const Owner &o) {
        PanelValue v;
        v.i = static_cast<int>(o.*M);
        v.f = static_cast<double>(o.*M);
        return v;
    };
    f.panelSet = [](const Field<Owner> &f, Owner &o, const PanelValue &v) {
        const double d = std::is_floating_point<T>::value ? v.f : v.i;
        if (!(d >= f.lo && d <= f.hi))
            return false;
        o.*M = static_cast<T>(d);
        return true;
    };
    return f;
}

template <class Owner, auto M> Field<Owner> flag(const LWBlockIdent &ident)
{
    Field<Owner> f;
    f.ident = ident;
    f.stored = Stored::Bool;
    f.save = [](const Field<Owner> &f, const Owner &o, SaveState &s) {
        s.writeBlock(f.ident, static_cast<bool>(o.*M));
    };
    f.load = [](const Field<Owner> &, Owner &o, LoadState &s) -> ErrorText {
        if (const std::optional<bool> v = s.readBool())
            o.*M = *v;
        return {};
    };
    f.copy = [](Owner &to, const Owner &from) { to.*M = from.*M; };
    f.reset = [](const Field<Owner> &f, Owner &o) { o.*M = f.byDefault != 0.0; };
    f.panelGet = [](const Owner &o) {
        PanelValue v;
        v.i = (o.*M) ? 1 : 0;
        return v;
    };
    f.panelSet = [](const Field<Owner> &, Owner &o, const PanelValue &v) {
        o.*M = v.i != 0;
        return true;
    };
    return f;
}

template <class Owner, auto M> Field<Owner> text(const LWBlockIdent &ident)
{
    Field<Owner> f;
    f.ident = ident;
    f.stored = Stored::String;
    f.save = [](const Field<Owner> &f, const Owner &o, SaveState &s) {
        s.writeBlock(f.ident, o.*M);
    };
    f.load = [](const Field<Owner> &, Owner &o, LoadState &s) -> ErrorText {
        if (std::optional<std::string> v = s.readString())
            o.*M = std::move(*v);
        return {};
    };
    f.copy = [](Owner &to, const Owner &from) { to.*M = from.*M; };
    f.reset = [](const Field<Owner> &f, Owner &o) { o.*M = f.textByDefault; };
    f.panelGet = [](const Owner &o) {
        PanelValue v;
        v.s = o.*M;
        return v;
    };
    f.panelSet = [](const Field<Owner> &, Owner &o, const PanelValue &v) {
        o.*M = v.s;
        return true;
    };
    return f;
}

// A value that stores itself (an envelope-able parameter), held through a
// pointer-like member and copied with copyFrom.
template <class Owner, auto M> Field<Owner> storeable(const LWBlockIdent &ident)
{
    Field<Owner> f;
    f.ident = ident;
    f.save = [](const Field<Owner> &f, const Owner &o, SaveState &s) {
        SavedBlock b(s, f.ident, false);
        const ErrorText e = (o.*M)->save(s);
        if (!e.empty())
            throw std::runtime_error(e);
    };
    f.load = [](const Field<Owner> &, Owner &o, LoadState &s) { return (o.*M)->load(s); };
    f.copy = [](Owner &to, const Owner &from) { (to.*M)->copyFrom(*(from.*M)); };
    // On a panel an envelope-able value shows and takes its value now.
    f.panelGet = [](const Owner &o) {
        PanelValue v;
        v.f = (o.*M)->panelValue();
        return v;
    };
    f.panelSet = [](const Field<Owner> &, Owner &o, const PanelValue &v) {
        (o.*M)->set(v.f);
        return true;
    };
    return f;
}

// A setting with its own way of being stored or taken over.
template <class Owner>
Field<Owner> custom(const LWBlockIdent &ident, typename Field<Owner>::Save save,
                    typename Field<Owner>::Load load, typename Field<Owner>::Copy copy)
{
    Field<Owner> f;
    f.ident = ident;
    f.save = save;
    f.load = load;
    f.copy = copy;
    return f;
}

} // namespace fields

template <class Owner> class FieldTable {
public:
    // others: blocks of this level that the owner reads itself.
    FieldTable(std::vector<Field<Owner>> rows, std::vector<LWBlockIdent> others = {})
        : rows_(std::move(rows))
    {
        for (const Field<Owner> &f : rows_)
            idents_.push_back(f.ident);
        idents_.insert(idents_.end(), others.begin(), others.end());
        idents_.push_back({0, nullptr});
    }

    const std::vector<Field<Owner>> &rows() const { return rows_; }
    // Every block of the level, for findBlock.
    const LWBlockIdent *idents() const { return idents_.data(); }
    const LWBlockIdent &ident(unsigned int id) const
    {
        if (const LWBlockIdent *i = findIdent(idents_.data(), id))
            return *i;
        throw std::logic_error("no block of this id in the settings table");
    }

    // Every saved row in table order; in a preset only the rows it keeps.
    void save(const Owner &o, SaveState &s, bool preset = false) const
    {
        for (const Field<Owner> &f : rows_)
            if (f.save && (f.inPresets || !preset))
                f.save(f, o, s);
    }

    // Every row's default.
    void reset(Owner &o) const
    {
        for (const Field<Owner> &f : rows_)
            if (f.reset)
                f.reset(f, o);
    }

    // Reads the row of id; false when no row reads it. The first error of
    // the level is kept in error.
    bool load(Owner &o, unsigned int id, LoadState &s, ErrorText &error) const
    {
        for (const Field<Owner> &f : rows_)
            if (f.ident.id == id && f.load) {
                ErrorText e = f.load(f, o, s);
                if (!e.empty() && error.empty())
                    error = std::move(e);
                return true;
            }
        return false;
    }

    // The row of block id; a table without it is a mistake of the code.
    const Field<Owner> &row(unsigned int id) const
    {
        for (const Field<Owner> &f : rows_)
            if (f.ident.id == id)
                return f;
        throw std::logic_error("no row of this id in the settings table");
    }

    // The row a panel control edits; null when none does.
    const Field<Owner> *byControl(unsigned int cid) const
    {
        for (const Field<Owner> &f : rows_)
            if (cid && f.control == cid)
                return &f;
        return nullptr;
    }

    void copy(Owner &to, const Owner &from) const
    {
        for (const Field<Owner> &f : rows_)
            if (f.copy)
                f.copy(to, from);
    }

private:
    std::vector<Field<Owner>> rows_;
    std::vector<LWBlockIdent> idents_;
};

} // namespace hostkit

#endif

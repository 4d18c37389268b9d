#include "hostkit/Fields.h"

namespace hostkit {

const ControlKind &controlKind(Control kind)
{
    // In the order of Control.
    static const ControlKind kinds[] = {
        {"", "", PanelType::None},
        {"iBoolean", "integer", PanelType::Integer},
        {"iPopChoice", "integer", PanelType::Integer},
        {"integer", "integer", PanelType::Integer},
        {"float", "float", PanelType::Float},
        {"float-env", "float-env", PanelType::Float},
        {"string", "string", PanelType::Text},
        {"sFileName", "string", PanelType::Text},
        {"sInfo", "string", PanelType::Text},
        {"vButton", "", PanelType::None},
        {"vPopCmd", "integer", PanelType::Integer},
    };
    static_assert(sizeof kinds / sizeof kinds[0] == static_cast<int>(Control::Command) + 1,
                  "one kind a control");
    return kinds[static_cast<int>(kind)];
}

namespace fields {

namespace {

template <class T> std::optional<double> widened(const std::optional<T> &v)
{
    if (!v)
        return std::nullopt;
    return static_cast<double>(*v);
}

} // namespace

std::optional<double> readNumber(LoadState &s, Stored stored)
{
    switch (stored) {
    case Stored::I2: return widened(s.readI2());
    case Stored::I4: return widened(s.readI4());
    case Stored::U4: return widened(s.readU4());
    case Stored::FP: return widened(s.readFP());
    case Stored::Bool: return widened(s.readBool());
    case Stored::String:
    case Stored::Other: break;
    }
    throw std::logic_error("a text setting read as a number");
}

void writeNumber(SaveState &s, Stored stored, double v)
{
    switch (stored) {
    case Stored::I2: s.writeI2(static_cast<std::int16_t>(v)); return;
    case Stored::I4: s.writeI4(static_cast<std::int32_t>(v)); return;
    case Stored::U4: s.writeU4(static_cast<std::uint32_t>(v)); return;
    case Stored::FP: s.writeFP(static_cast<float>(v)); return;
    case Stored::Bool: s.writeBool(v != 0.0); return;
    case Stored::String:
    case Stored::Other: break;
    }
    throw std::logic_error("a number setting written as text");
}

} // namespace fields

} // namespace hostkit

#include "hostkit/Fields.h"

namespace hostkit::fields {

double readNumber(LoadState &s, Stored stored)
{
    switch (stored) {
    case Stored::I2: return s.readI2();
    case Stored::I4: return s.readI4();
    case Stored::U4: return s.readU4();
    case Stored::FP: return s.readFP();
    case Stored::Bool: return s.readBool() ? 1.0 : 0.0;
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

} // namespace hostkit::fields

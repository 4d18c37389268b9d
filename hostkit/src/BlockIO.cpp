#include "hostkit/BlockIO.h"

#include <vector>

namespace hostkit {

const LWBlockIdent *findIdent(const LWBlockIdent *table, unsigned int id)
{
    for (; table && table->token; ++table)
        if (table->id == id)
            return table;
    return nullptr;
}

unsigned int LoadState::findBlock(const LWBlockIdent *table)
{
    return state_->findBlk(state_->readData, table);
}

void LoadState::endBlock() { state_->endBlk(state_->readData); }

int LoadState::read(char *v, int n) { return last_ = state_->readI1(state_->readData, v, n); }
int LoadState::read(short *v, int n) { return last_ = state_->readI2(state_->readData, v, n); }
int LoadState::read(int *v, int n) { return last_ = state_->readI4(state_->readData, v, n); }
int LoadState::read(unsigned char *v, int n) { return last_ = state_->readU1(state_->readData, v, n); }
int LoadState::read(unsigned short *v, int n) { return last_ = state_->readU2(state_->readData, v, n); }
int LoadState::read(unsigned int *v, int n) { return last_ = state_->readU4(state_->readData, v, n); }
int LoadState::read(float *v, int n) { return last_ = state_->readFP(state_->readData, v, n); }

std::int8_t LoadState::readI1() { char v = 0; read(&v, 1); return static_cast<std::int8_t>(v); }
std::int16_t LoadState::readI2() { short v = 0; read(&v, 1); return v; }
std::int32_t LoadState::readI4() { int v = 0; read(&v, 1); return v; }
std::uint8_t LoadState::readU1() { unsigned char v = 0; read(&v, 1); return v; }
std::uint16_t LoadState::readU2() { unsigned short v = 0; read(&v, 1); return v; }
std::uint32_t LoadState::readU4() { unsigned int v = 0; read(&v, 1); return v; }
float LoadState::readFP() { float v = 0.0f; read(&v, 1); return v; }

std::string LoadState::readString()
{
    // Room for the longest path a system takes (32767 characters), so a
    // stored name is never cut into another path.
    std::vector<char> buf(kMaxStoredText + 1, '\0');
    last_ = state_->readStr(state_->readData, buf.data(), static_cast<int>(buf.size()));
    buf.back() = '\0';
    return buf.data();
}

bool LoadState::readBool() { return readU1() == 1; }

void SaveState::beginBlock(const LWBlockIdent &ident, bool leaf)
{
    state_->beginBlk(state_->writeData, &ident, leaf ? 1 : 0);
}

void SaveState::endBlock() { state_->endBlk(state_->writeData); }

void SaveState::write(const char *v, int n) { state_->writeI1(state_->writeData, v, n); }
void SaveState::write(const short *v, int n) { state_->writeI2(state_->writeData, v, n); }
void SaveState::write(const int *v, int n) { state_->writeI4(state_->writeData, v, n); }
void SaveState::write(const unsigned char *v, int n) { state_->writeU1(state_->writeData, v, n); }
void SaveState::write(const unsigned short *v, int n) { state_->writeU2(state_->writeData, v, n); }
void SaveState::write(const unsigned int *v, int n) { state_->writeU4(state_->writeData, v, n); }
void SaveState::write(const float *v, int n) { state_->writeFP(state_->writeData, v, n); }

void SaveState::writeI1(std::int8_t v) { const char c = static_cast<char>(v); write(&c, 1); }
void SaveState::writeI2(std::int16_t v) { const short s = v; write(&s, 1); }
void SaveState::writeI4(std::int32_t v) { const int i = v; write(&i, 1); }
void SaveState::writeU1(std::uint8_t v) { const unsigned char c = v; write(&c, 1); }
void SaveState::writeU2(std::uint16_t v) { const unsigned short s = v; write(&s, 1); }
void SaveState::writeU4(std::uint32_t v) { const unsigned int u = v; write(&u, 1); }
void SaveState::writeFP(float v) { write(&v, 1); }
void SaveState::writeString(const std::string &s) { state_->writeStr(state_->writeData, s.c_str()); }
void SaveState::writeBool(bool v) { writeU1(v ? 1 : 0); }

} // namespace hostkit

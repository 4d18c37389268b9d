#include "hostkit/BlockIO.h"

#include <memory>

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

namespace {

// One value of type T through the host's reader for it; nothing when the
// host read none.
template <class T, class Stored> std::optional<T> readOne(LoadState &s)
{
    Stored v{};
    if (s.read(&v, 1) != 1)
        return std::nullopt;
    return static_cast<T>(v);
}

} // namespace

std::optional<std::int8_t> LoadState::readI1() { return readOne<std::int8_t, char>(*this); }
std::optional<std::int16_t> LoadState::readI2() { return readOne<std::int16_t, short>(*this); }
std::optional<std::int32_t> LoadState::readI4() { return readOne<std::int32_t, int>(*this); }
std::optional<std::uint8_t> LoadState::readU1() { return readOne<std::uint8_t, unsigned char>(*this); }
std::optional<std::uint16_t> LoadState::readU2() { return readOne<std::uint16_t, unsigned short>(*this); }
std::optional<std::uint32_t> LoadState::readU4() { return readOne<std::uint32_t, unsigned int>(*this); }
std::optional<float> LoadState::readFP() { return readOne<float, float>(*this); }

std::optional<std::string> LoadState::readString()
{
    // Room for the longest path a system takes (32767 characters), so a
    // stored name is never cut into another path. Not cleared first: the
    // host writes the text and its end, and most texts are short.
    const std::unique_ptr<char[]> buf(new char[kMaxStoredText + 1]);
    buf[0] = '\0';
    last_ = state_->readStr(state_->readData, buf.get(), static_cast<int>(kMaxStoredText + 1));
    if (last_ < 0)
        return std::nullopt;
    buf[kMaxStoredText] = '\0';
    return std::string(buf.get());
}

std::optional<bool> LoadState::readBool()
{
    const std::optional<std::uint8_t> v = readU1();
    if (!v)
        return std::nullopt;
    return *v == 1;
}

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

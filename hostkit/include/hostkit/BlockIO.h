// Typed reading and writing of the host's block files (scenes, presets).
#ifndef HOSTKIT_BLOCKIO_H
#define HOSTKIT_BLOCKIO_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <lwsdk/blockio.h>

namespace hostkit {

// Four characters packed into an id, the first in the most significant byte.
constexpr unsigned int blockId(const char (&s)[5])
{
    return (static_cast<unsigned int>(static_cast<unsigned char>(s[0])) << 24) |
           (static_cast<unsigned int>(static_cast<unsigned char>(s[1])) << 16) |
           (static_cast<unsigned int>(static_cast<unsigned char>(s[2])) << 8) |
           static_cast<unsigned int>(static_cast<unsigned char>(s[3]));
}

// The ident of id in a (0, null)-terminated table; null when absent.
const LWBlockIdent *findIdent(const LWBlockIdent *table, unsigned int id);

// Reads one level at a time: findBlock, act on the id, endBlock, repeat.
// Every read stores the host's answer as lastResult(). The typed readers
// answer nothing when the host read no value (the block is empty, holds
// text where a number belongs, or a number beyond the type): a setting
// that was not read is never taken as 0.
// The longest text a stored string is read back with.
constexpr std::size_t kMaxStoredText = 32767;

class LoadState {
public:
    explicit LoadState(const LWLoadState *state) : state_(state) {}

    const LWLoadState *state() const { return state_; }
    int lastResult() const { return last_; }
    bool binary() const { return state_->ioMode == LWIO_BINARY; }

    // Id of the next block at this level that the table names, 0 at the end.
    unsigned int findBlock(const LWBlockIdent *table);
    void endBlock();

    int read(char *vals, int n);
    int read(short *vals, int n);
    int read(int *vals, int n);
    int read(unsigned char *vals, int n);
    int read(unsigned short *vals, int n);
    int read(unsigned int *vals, int n);
    int read(float *vals, int n);

    std::optional<std::int8_t> readI1();
    std::optional<std::int16_t> readI2();
    std::optional<std::int32_t> readI4();
    std::optional<std::uint8_t> readU1();
    std::optional<std::uint16_t> readU2();
    std::optional<std::uint32_t> readU4();
    std::optional<float> readFP();
    // At most kMaxStoredText characters; longer texts are cut.
    std::optional<std::string> readString();
    // True only for a stored 1.
    std::optional<bool> readBool();

private:
    const LWLoadState *state_;
    int last_ = 0;
};

class SaveState {
public:
    explicit SaveState(const LWSaveState *state) : state_(state) {}

    const LWSaveState *state() const { return state_; }

    void beginBlock(const LWBlockIdent &ident, bool leaf);
    void endBlock();

    void write(const char *vals, int n);
    void write(const short *vals, int n);
    void write(const int *vals, int n);
    void write(const unsigned char *vals, int n);
    void write(const unsigned short *vals, int n);
    void write(const unsigned int *vals, int n);
    void write(const float *vals, int n);

    void writeI1(std::int8_t v);
    void writeI2(std::int16_t v);
    void writeI4(std::int32_t v);
    void writeU1(std::uint8_t v);
    void writeU2(std::uint16_t v);
    void writeU4(std::uint32_t v);
    void writeFP(float v);
    void writeString(const std::string &s);
    void writeBool(bool v);

    // One value in a leaf block of its own.
    template <class T> void writeBlock(const LWBlockIdent &ident, const T &value);

private:
    const LWSaveState *state_;
};

inline void writeValue(SaveState &s, std::int8_t v) { s.writeI1(v); }
inline void writeValue(SaveState &s, std::int16_t v) { s.writeI2(v); }
inline void writeValue(SaveState &s, std::int32_t v) { s.writeI4(v); }
inline void writeValue(SaveState &s, std::uint8_t v) { s.writeU1(v); }
inline void writeValue(SaveState &s, std::uint16_t v) { s.writeU2(v); }
inline void writeValue(SaveState &s, std::uint32_t v) { s.writeU4(v); }
inline void writeValue(SaveState &s, float v) { s.writeFP(v); }
inline void writeValue(SaveState &s, bool v) { s.writeBool(v); }
inline void writeValue(SaveState &s, const std::string &v) { s.writeString(v); }

template <class T>
void SaveState::writeBlock(const LWBlockIdent &ident, const T &value)
{
    beginBlock(ident, true);
    writeValue(*this, value);
    endBlock();
}

} // namespace hostkit

#endif

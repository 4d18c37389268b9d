// The host's block files in their two forms.
//
// Binary: a 4-byte magic "LWBF", then blocks of a 4-byte id, a 4-byte
// length and the content (values or nested blocks), all big-endian.
// Text: "{ Token values... }" per block, nested, with '#' comments and
// quoted strings with backslash escapes; the ident's token names the block.
// A plug-in's data in a scene starts after "Plugin <class> <n> <name>" and
// ends at a bare "EndPlugin".
#ifndef DEVHOST_BLOCKFILE_H
#define DEVHOST_BLOCKFILE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <lwsdk/blockio.h>

namespace devhost {

constexpr char kBinaryMagic[4] = {'L', 'W', 'B', 'F'};

class BlockWriter {
public:
    virtual ~BlockWriter() = default;
    LWSaveState *state() { return &state_; }
    // The bytes written so far (a whole file once every block is ended).
    virtual std::string contents() const = 0;

    virtual void beginBlock(const LWBlockIdent *ident, bool leaf) = 0;
    virtual void endBlock() = 0;
    virtual int depth() const = 0;
    virtual void bytes(const char *data, int n) = 0;
    virtual void ints(const std::int64_t *vals, int n, int width, bool isSigned) = 0;
    virtual void floats(const float *vals, int n) = 0;
    virtual void string(const char *s) = 0;

protected:
    BlockWriter();

private:
    LWSaveState state_;
};

class BlockReader {
public:
    virtual ~BlockReader() = default;
    LWLoadState *state() { return &state_; }

    virtual unsigned int findBlock(const LWBlockIdent *table) = 0;
    virtual void endBlock() = 0;
    virtual int depth() const = 0;
    virtual int bytes(char *out, int n) = 0;
    // Reads up to n integers of width bytes; answers the count read.
    virtual int ints(std::int64_t *vals, int n, int width, bool isSigned) = 0;
    virtual int floats(float *vals, int n) = 0;
    virtual int string(char *out, int max) = 0;

protected:
    BlockReader();

private:
    LWLoadState state_;
};

class BinaryBlockWriter : public BlockWriter {
public:
    // withMagic: start the output with the file magic.
    explicit BinaryBlockWriter(bool withMagic = true);
    std::string contents() const override { return out_; }
    void beginBlock(const LWBlockIdent *ident, bool leaf) override;
    void endBlock() override;
    int depth() const override { return static_cast<int>(open_.size()); }
    void bytes(const char *data, int n) override;
    void ints(const std::int64_t *vals, int n, int width, bool isSigned) override;
    void floats(const float *vals, int n) override;
    void string(const char *s) override;

private:
    std::string out_;
    std::vector<std::size_t> open_;
};

class BinaryBlockReader : public BlockReader {
public:
    // data without the magic.
    explicit BinaryBlockReader(std::string data);
    unsigned int findBlock(const LWBlockIdent *table) override;
    void endBlock() override;
    int depth() const override { return static_cast<int>(ends_.size()); }
    int bytes(char *out, int n) override;
    int ints(std::int64_t *vals, int n, int width, bool isSigned) override;
    int floats(float *vals, int n) override;
    int string(char *out, int max) override;

private:
    std::size_t limit() const { return ends_.empty() ? data_.size() : ends_.back(); }
    std::string data_;
    std::size_t pos_ = 0;
    std::vector<std::size_t> ends_;
};

class TextBlockWriter : public BlockWriter {
public:
    std::string contents() const override { return out_; }
    void beginBlock(const LWBlockIdent *ident, bool leaf) override;
    void endBlock() override;
    int depth() const override { return static_cast<int>(leaf_.size()); }
    void bytes(const char *data, int n) override;
    void ints(const std::int64_t *vals, int n, int width, bool isSigned) override;
    void floats(const float *vals, int n) override;
    void string(const char *s) override;

    // Host-only: a double in full precision.
    void number(double v);
    // Host-only: a line of its own at the current indentation.
    void line(const std::string &text);
    void comment(const std::string &text);

private:
    void newline();
    std::string out_;
    std::vector<bool> leaf_;
};

struct TextToken {
    enum Kind { Open, Close, Word, String };
    Kind kind;
    std::string text;
    int line;
    std::size_t begin; // offsets into the source text
    std::size_t end;
};

class TextBlockReader : public BlockReader {
public:
    // Throws std::runtime_error naming the line of a malformed text.
    explicit TextBlockReader(std::string text);

    unsigned int findBlock(const LWBlockIdent *table) override;
    void endBlock() override;
    int depth() const override { return static_cast<int>(open_); }
    int bytes(char *out, int n) override;
    int ints(std::int64_t *vals, int n, int width, bool isSigned) override;
    int floats(float *vals, int n) override;
    int string(char *out, int max) override;

    // Host-only access to the token stream between plug-in sections.
    const TextToken *peek() const;
    // The token n places after the next one; null past the end.
    const TextToken *peek(std::size_t n) const;
    const TextToken *take();
    // The line the text ends on.
    int lastLine() const;
    // Skips one value or a whole block.
    void skipItem();
    // Moves to the "EndPlugin" at the plug-in's top level and past it.
    void leavePlugin();
    const std::string &source() const { return text_; }
    std::size_t position() const { return pos_; }
    void setPluginLevel(bool inPlugin) { inPlugin_ = inPlugin; }

private:
    bool atValue() const;
    std::string text_;
    std::vector<TextToken> tokens_;
    std::size_t pos_ = 0;
    std::size_t open_ = 0;
    bool inPlugin_ = false;
    bool atEndPlugin_ = false;
};

// Opens a block file; null with *error set when it cannot be read.
std::unique_ptr<BlockReader> openBlockReader(const std::string &path, int ioMode,
                                             std::string *error);
std::unique_ptr<BlockWriter> makeBlockWriter(int ioMode);
// Writes a finished writer's contents; false with *error set on failure.
bool writeBlockFile(const std::string &path, const BlockWriter &writer, std::string *error);

// Locale-independent number texts.
std::string formatFloat(double v);
std::string formatFloat(float v);
bool parseDouble(const std::string &text, double *out);
bool parseInteger(const std::string &text, std::int64_t *out);
std::string quote(const std::string &s);

} // namespace devhost

#endif

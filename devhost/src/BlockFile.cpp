#include "devhost/BlockFile.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "devhost/Host.h"

namespace devhost {

// ---------------------------------------------------------------- numbers

std::string formatFloat(float v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string formatFloat(double v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool parseDouble(const std::string &text, double *out)
{
    if (text == "nan") {
        *out = std::nan("");
        return true;
    }
    if (text == "inf" || text == "-inf") {
        *out = text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    const char *b = text.data();
    const char *e = b + text.size();
    if (b != e && *b == '+')
        ++b;
    auto r = std::from_chars(b, e, *out);
    return r.ec == std::errc() && r.ptr == e && b != e;
}

bool parseInteger(const std::string &text, std::int64_t *out)
{
    const char *b = text.data();
    const char *e = b + text.size();
    if (b != e && *b == '+')
        ++b;
    auto r = std::from_chars(b, e, *out);
    if (r.ec == std::errc() && r.ptr == e && b != e)
        return true;
    // Integers stored as floats by a careless writer still read, when they
    // fit: converting a double beyond the range is undefined.
    double d = 0;
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (parseDouble(text, &d) && d >= -kLimit && d < kLimit) {
        *out = static_cast<std::int64_t>(d);
        return true;
    }
    return false;
}

std::string quote(const std::string &s)
{
    std::string q = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': q += "\\\""; break;
        case '\\': q += "\\\\"; break;
        case '\n': q += "\\n"; break;
        case '\t': q += "\\t"; break;
        case '\r': q += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                q += buf;
            } else {
                q += static_cast<char>(c);
            }
        }
    }
    return q + "\"";
}

// ---------------------------------------------------------------- C tables

namespace {

BlockWriter *W(void *d) { return static_cast<BlockWriter *>(d); }
BlockReader *R(void *d) { return static_cast<BlockReader *>(d); }

template <class T> void writeInts(void *d, const T *vals, int n, bool isSigned)
{
    if (!vals || n <= 0)
        return;
    std::vector<std::int64_t> v(vals, vals + n);
    W(d)->ints(v.data(), n, sizeof(T), isSigned);
}

template <class T> int readInts(void *d, T *vals, int n, bool isSigned)
{
    if (!vals || n <= 0)
        return 0;
    std::vector<std::int64_t> v(n);
    int got = R(d)->ints(v.data(), n, sizeof(T), isSigned);
    for (int i = 0; i < got; ++i)
        vals[i] = static_cast<T>(v[i]);
    return got;
}

} // namespace

BlockWriter::BlockWriter()
{
    state_.ioMode = LWIO_BINARY;
    state_.writeData = this;
    state_.write = guardedLambda([](void *d, const char *b, int n) { W(d)->bytes(b, n); });
    state_.writeI1 = guardedLambda([](void *d, const char *v, int n) { writeInts(d, v, n, true); });
    state_.writeI2 =
        guardedLambda([](void *d, const short *v, int n) { writeInts(d, v, n, true); });
    state_.writeI4 = guardedLambda([](void *d, const int *v, int n) { writeInts(d, v, n, true); });
    state_.writeU1 =
        guardedLambda([](void *d, const unsigned char *v, int n) { writeInts(d, v, n, false); });
    state_.writeU2 =
        guardedLambda([](void *d, const unsigned short *v, int n) { writeInts(d, v, n, false); });
    state_.writeU4 =
        guardedLambda([](void *d, const unsigned int *v, int n) { writeInts(d, v, n, false); });
    state_.writeFP = guardedLambda([](void *d, const float *v, int n) {
        if (v && n > 0)
            W(d)->floats(v, n);
    });
    state_.writeStr = guardedLambda([](void *d, const char *s) { W(d)->string(s ? s : ""); });
    state_.beginBlk = guardedLambda([](void *d, const LWBlockIdent *id, int leaf) {
        if (id)
            W(d)->beginBlock(id, leaf != 0);
    });
    state_.endBlk = guardedLambda([](void *d) { W(d)->endBlock(); });
    state_.depth = guardedLambda([](void *d) { return W(d)->depth(); });
}

BlockReader::BlockReader()
{
    state_.ioMode = LWIO_BINARY;
    state_.readData = this;
    state_.read =
        guardedLambda([](void *d, char *b, int n) { return b && n > 0 ? R(d)->bytes(b, n) : 0; });
    state_.readI1 = guardedLambda([](void *d, char *v, int n) { return readInts(d, v, n, true); });
    state_.readI2 = guardedLambda([](void *d, short *v, int n) { return readInts(d, v, n, true); });
    state_.readI4 = guardedLambda([](void *d, int *v, int n) { return readInts(d, v, n, true); });
    state_.readU1 =
        guardedLambda([](void *d, unsigned char *v, int n) { return readInts(d, v, n, false); });
    state_.readU2 =
        guardedLambda([](void *d, unsigned short *v, int n) { return readInts(d, v, n, false); });
    state_.readU4 =
        guardedLambda([](void *d, unsigned int *v, int n) { return readInts(d, v, n, false); });
    state_.readFP =
        guardedLambda([](void *d, float *v, int n) { return v && n > 0 ? R(d)->floats(v, n) : 0; });
    state_.readStr = guardedLambda(
        [](void *d, char *b, int max) { return b && max > 0 ? R(d)->string(b, max) : -1; });
    state_.findBlk =
        guardedLambda([](void *d, const LWBlockIdent *t) { return R(d)->findBlock(t); });
    state_.endBlk = guardedLambda([](void *d) { R(d)->endBlock(); });
    state_.depth = guardedLambda([](void *d) { return R(d)->depth(); });
}

namespace {
unsigned int idOfToken(const LWBlockIdent *table, const std::string &token)
{
    for (; table && table->token; ++table)
        if (token == table->token)
            return table->id;
    return 0;
}

bool tableHas(const LWBlockIdent *table, unsigned int id)
{
    for (; table && table->token; ++table)
        if (table->id == id)
            return true;
    return false;
}

void putBE(std::string &out, std::uint64_t v, int width)
{
    for (int i = width - 1; i >= 0; --i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint64_t getBE(const std::string &in, std::size_t pos, int width)
{
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | static_cast<unsigned char>(in[pos + i]);
    return v;
}
} // namespace

// ---------------------------------------------------------------- binary

BinaryBlockWriter::BinaryBlockWriter(bool withMagic)
{
    if (withMagic)
        out_.append(kBinaryMagic, sizeof kBinaryMagic);
}

void BinaryBlockWriter::beginBlock(const LWBlockIdent *ident, bool)
{
    putBE(out_, ident->id, 4);
    open_.push_back(out_.size());
    putBE(out_, 0, 4);
}

void BinaryBlockWriter::endBlock()
{
    if (open_.empty())
        return;
    const std::size_t at = open_.back();
    open_.pop_back();
    const std::uint64_t len = out_.size() - at - 4;
    for (int i = 0; i < 4; ++i)
        out_[at + i] = static_cast<char>((len >> (8 * (3 - i))) & 0xFF);
}

void BinaryBlockWriter::bytes(const char *data, int n) { out_.append(data, n); }

void BinaryBlockWriter::ints(const std::int64_t *vals, int n, int width, bool)
{
    for (int i = 0; i < n; ++i)
        putBE(out_, static_cast<std::uint64_t>(vals[i]), width);
}

void BinaryBlockWriter::floats(const float *vals, int n)
{
    for (int i = 0; i < n; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &vals[i], 4);
        putBE(out_, bits, 4);
    }
}

void BinaryBlockWriter::string(const char *s) { out_.append(s, std::strlen(s) + 1); }

BinaryBlockReader::BinaryBlockReader(std::string data) : data_(std::move(data)) {}

unsigned int BinaryBlockReader::findBlock(const LWBlockIdent *table)
{
    const std::size_t end = limit();
    while (pos_ + 8 <= end) {
        const auto id = static_cast<unsigned int>(getBE(data_, pos_, 4));
        const std::size_t len = getBE(data_, pos_ + 4, 4);
        // A length past the enclosing block means a damaged file: stop here.
        if (len > end - pos_ - 8) {
            pos_ = end;
            return 0;
        }
        if (id != 0 && tableHas(table, id)) {
            pos_ += 8;
            ends_.push_back(pos_ + len);
            return id;
        }
        pos_ += 8 + len;
    }
    return 0;
}

void BinaryBlockReader::endBlock()
{
    if (ends_.empty())
        return;
    pos_ = ends_.back();
    ends_.pop_back();
}

int BinaryBlockReader::bytes(char *out, int n)
{
    const std::size_t avail = limit() - pos_;
    const std::size_t take = std::min<std::size_t>(avail, static_cast<std::size_t>(n));
    std::memcpy(out, data_.data() + pos_, take);
    pos_ += take;
    return static_cast<int>(take);
}

int BinaryBlockReader::ints(std::int64_t *vals, int n, int width, bool isSigned)
{
    int got = 0;
    while (got < n && pos_ + width <= limit()) {
        std::uint64_t u = getBE(data_, pos_, width);
        pos_ += width;
        if (isSigned && width < 8 && (u >> (8 * width - 1)) & 1)
            u |= ~std::uint64_t(0) << (8 * width);
        vals[got++] = static_cast<std::int64_t>(u);
    }
    return got;
}

int BinaryBlockReader::floats(float *vals, int n)
{
    int got = 0;
    while (got < n && pos_ + 4 <= limit()) {
        const auto bits = static_cast<std::uint32_t>(getBE(data_, pos_, 4));
        pos_ += 4;
        std::memcpy(&vals[got++], &bits, 4);
    }
    return got;
}

int BinaryBlockReader::string(char *out, int max)
{
    const std::size_t end = limit();
    if (pos_ >= end) {
        out[0] = '\0';
        return -1;
    }
    std::size_t len = 0;
    while (pos_ + len < end && data_[pos_ + len] != '\0')
        ++len;
    const std::size_t keep = std::min<std::size_t>(len, static_cast<std::size_t>(max - 1));
    std::memcpy(out, data_.data() + pos_, keep);
    out[keep] = '\0';
    pos_ += len + (pos_ + len < end ? 1 : 0);
    return static_cast<int>(keep);
}

// ---------------------------------------------------------------- text

void TextBlockWriter::newline()
{
    if (!out_.empty() && out_.back() != '\n')
        out_ += '\n';
    out_.append(2 * leaf_.size(), ' ');
}

void TextBlockWriter::beginBlock(const LWBlockIdent *ident, bool leaf)
{
    newline();
    out_ += "{ ";
    out_ += ident->token ? ident->token : "Unnamed";
    leaf_.push_back(leaf);
}

void TextBlockWriter::endBlock()
{
    if (leaf_.empty())
        return;
    const bool leaf = leaf_.back();
    leaf_.pop_back();
    if (leaf) {
        out_ += " }";
    } else {
        newline();
        out_ += "}";
    }
    if (leaf_.empty())
        out_ += '\n';
}

void TextBlockWriter::bytes(const char *data, int n) { out_ += " " + quote(std::string(data, n)); }

void TextBlockWriter::ints(const std::int64_t *vals, int n, int, bool)
{
    for (int i = 0; i < n; ++i)
        out_ += " " + std::to_string(vals[i]);
}

void TextBlockWriter::floats(const float *vals, int n)
{
    for (int i = 0; i < n; ++i)
        out_ += " " + formatFloat(vals[i]);
}

void TextBlockWriter::string(const char *s) { out_ += " " + quote(s); }

void TextBlockWriter::number(double v) { out_ += " " + formatFloat(v); }

void TextBlockWriter::line(const std::string &text)
{
    newline();
    out_ += text + "\n";
}

void TextBlockWriter::comment(const std::string &text) { line("# " + text); }

namespace {
// Every ASCII whitespace character separates values; the locale's idea of
// a blank must not matter, so the set is spelled out.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<TextToken> tokenize(const std::string &s)
{
    std::vector<TextToken> tokens;
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (isBlank(c)) {
            ++i;
        } else if (c == '#') {
            while (i < n && s[i] != '\n')
                ++i;
        } else if (c == '{' || c == '}') {
            tokens.push_back({c == '{' ? TextToken::Open : TextToken::Close, std::string(1, c),
                              line, i, i + 1});
            ++i;
        } else if (c == '"') {
            const std::size_t begin = i++;
            const int startLine = line;
            std::string text;
            bool closed = false;
            while (i < n) {
                char d = s[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\n')
                    ++line;
                if (d == '\\' && i < n) {
                    char e = s[i++];
                    switch (e) {
                    case 'n': text += '\n'; break;
                    case 't': text += '\t'; break;
                    case 'r': text += '\r'; break;
                    case 'x': {
                        int v = 0, k = 0;
                        while (k < 2 && i < n && std::isxdigit(static_cast<unsigned char>(s[i]))) {
                            v = v * 16 + (std::isdigit(static_cast<unsigned char>(s[i]))
                                              ? s[i] - '0'
                                              : (std::tolower(static_cast<unsigned char>(s[i])) - 'a' + 10));
                            ++i;
                            ++k;
                        }
                        text += static_cast<char>(v);
                        break;
                    }
                    default: text += e; // \" \\ and any other escaped character
                    }
                } else {
                    text += d;
                }
            }
            if (!closed)
                throw std::runtime_error("line " + std::to_string(startLine) +
                                         ": unterminated quoted string");
            tokens.push_back({TextToken::String, text, startLine, begin, i});
        } else {
            const std::size_t begin = i;
            while (i < n && !isBlank(s[i]) && s[i] != '{' &&
                   s[i] != '}' && s[i] != '"' && s[i] != '#')
                ++i;
            tokens.push_back({TextToken::Word, s.substr(begin, i - begin), line, begin, i});
        }
    }
    return tokens;
}
} // namespace

TextBlockReader::TextBlockReader(std::string text) : text_(std::move(text))
{
    tokens_ = tokenize(text_);
    state()->ioMode = LWIO_ASCII;
}

const TextToken *TextBlockReader::peek() const
{
    return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr;
}

const TextToken *TextBlockReader::peek(std::size_t n) const
{
    return pos_ + n < tokens_.size() ? &tokens_[pos_ + n] : nullptr;
}

int TextBlockReader::lastLine() const
{
    return 1 + static_cast<int>(std::count(text_.begin(), text_.end(), '\n'));
}

const TextToken *TextBlockReader::take()
{
    return pos_ < tokens_.size() ? &tokens_[pos_++] : nullptr;
}

void TextBlockReader::skipItem()
{
    const TextToken *t = take();
    if (!t || t->kind != TextToken::Open)
        return;
    int nest = 1;
    while (nest > 0 && (t = take())) {
        if (t->kind == TextToken::Open)
            ++nest;
        else if (t->kind == TextToken::Close)
            --nest;
    }
}

unsigned int TextBlockReader::findBlock(const LWBlockIdent *table)
{
    atEndPlugin_ = false;
    while (const TextToken *t = peek()) {
        if (t->kind == TextToken::Close)
            return 0;
        if (t->kind == TextToken::Word && inPlugin_ && open_ == 0 && t->text == "EndPlugin") {
            if (!tableHas(table, LWID_ENDPLUGIN))
                return 0;
            atEndPlugin_ = true;
            return LWID_ENDPLUGIN;
        }
        if (t->kind == TextToken::Open) {
            const TextToken *key = pos_ + 1 < tokens_.size() ? &tokens_[pos_ + 1] : nullptr;
            const unsigned int id =
                key && key->kind == TextToken::Word ? idOfToken(table, key->text) : 0;
            if (id) {
                pos_ += 2;
                ++open_;
                return id;
            }
        }
        if (open_ == 0 && t->kind == TextToken::Word && t->text == "Plugin")
            return 0; // the next plug-in's section: this one ends without a marker
        skipItem();
    }
    return 0;
}

void TextBlockReader::endBlock()
{
    if (atEndPlugin_) {
        atEndPlugin_ = false;
        return;
    }
    if (open_ == 0)
        return;
    while (const TextToken *t = peek()) {
        if (t->kind == TextToken::Close) {
            ++pos_;
            break;
        }
        skipItem();
    }
    --open_;
}

void TextBlockReader::leavePlugin()
{
    atEndPlugin_ = false;
    while (open_ > 0)
        endBlock();
    while (const TextToken *t = peek()) {
        if (t->kind == TextToken::Word && t->text == "EndPlugin") {
            ++pos_;
            return;
        }
        if (t->kind == TextToken::Word && t->text == "Plugin")
            return;
        if (t->kind == TextToken::Close) {
            ++pos_; // a stray closing brace inside a damaged section
            continue;
        }
        skipItem();
    }
}

bool TextBlockReader::atValue() const
{
    const TextToken *t = peek();
    return t && open_ > 0 && (t->kind == TextToken::Word || t->kind == TextToken::String);
}

int TextBlockReader::bytes(char *out, int n)
{
    if (!atValue())
        return 0;
    const std::string &s = take()->text;
    const int keep = static_cast<int>(std::min<std::size_t>(s.size(), static_cast<std::size_t>(n)));
    std::memcpy(out, s.data(), keep);
    return keep;
}

int TextBlockReader::ints(std::int64_t *vals, int n, int width, bool isSigned)
{
    // What fits the reader's integer type; a value beyond it is not read.
    const int bits = std::clamp(width, 1, 8) * 8;
    const std::int64_t lowest = isSigned ? (bits == 64 ? INT64_MIN : -(std::int64_t(1) << (bits - 1))) : 0;
    const std::int64_t highest = bits == 64 ? INT64_MAX
                                 : isSigned ? (std::int64_t(1) << (bits - 1)) - 1
                                            : (std::int64_t(1) << bits) - 1;
    int got = 0;
    while (got < n && atValue() && peek()->kind == TextToken::Word) {
        std::int64_t v = 0;
        if (!parseInteger(peek()->text, &v) || v < lowest || v > highest)
            break;
        ++pos_;
        vals[got++] = v;
    }
    return got;
}

int TextBlockReader::floats(float *vals, int n)
{
    int got = 0;
    while (got < n && atValue() && peek()->kind == TextToken::Word) {
        double v = 0;
        if (!parseDouble(peek()->text, &v))
            break;
        ++pos_;
        // Beyond float's range a conversion is undefined: such values are
        // infinite as floats.
        constexpr double kMax = std::numeric_limits<float>::max();
        vals[got++] = v > kMax ? std::numeric_limits<float>::infinity()
                      : v < -kMax ? -std::numeric_limits<float>::infinity()
                                  : static_cast<float>(v);
    }
    return got;
}

int TextBlockReader::string(char *out, int max)
{
    if (!atValue()) {
        out[0] = '\0';
        return -1;
    }
    const std::string &s = take()->text;
    const std::size_t keep = std::min<std::size_t>(s.size(), static_cast<std::size_t>(max - 1));
    std::memcpy(out, s.data(), keep);
    out[keep] = '\0';
    return static_cast<int>(keep);
}

// ---------------------------------------------------------------- files

std::unique_ptr<BlockReader> openBlockReader(const std::string &path, int ioMode,
                                             std::string *error)
{
    try {
        checkInputFile(path, "block file");
    } catch (const InputError &e) {
        if (error)
            *error = e.what();
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "Cannot open \"" + path + "\": " + std::strerror(errno);
        return nullptr;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    std::string data = buf.str();
    if (ioMode == LWIO_BINARY) {
        if (data.size() < sizeof kBinaryMagic ||
            std::memcmp(data.data(), kBinaryMagic, sizeof kBinaryMagic) != 0) {
            if (error)
                *error = "\"" + path + "\" is not a binary block file";
            return nullptr;
        }
        return std::make_unique<BinaryBlockReader>(data.substr(sizeof kBinaryMagic));
    }
    try {
        return std::make_unique<TextBlockReader>(std::move(data));
    } catch (const std::exception &e) {
        if (error)
            *error = "\"" + path + "\", " + e.what();
        return nullptr;
    }
}

std::unique_ptr<BlockWriter> makeBlockWriter(int ioMode)
{
    if (ioMode == LWIO_BINARY)
        return std::make_unique<BinaryBlockWriter>();
    auto w = std::make_unique<TextBlockWriter>();
    w->state()->ioMode = LWIO_ASCII;
    return w;
}

bool writeBlockFile(const std::string &path, const BlockWriter &writer, std::string *error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string data = writer.contents();
    if (out)
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (out)
        out.close();
    if (!out) {
        if (error)
            *error = "Cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace devhost

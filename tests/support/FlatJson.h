// A reader of the one JSON shape Cryptomatte manifests have: an object of
// strings. Strict: anything else, or text after the object, is no object.
// Written for the tests, apart from the module's writer.
#ifndef RAVELCAST_TESTS_SUPPORT_FLATJSON_H
#define RAVELCAST_TESTS_SUPPORT_FLATJSON_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using JsonPairs = std::vector<std::pair<std::string, std::string>>;

inline std::optional<JsonPairs> parseFlatJson(const std::string &text)
{
    std::size_t i = 0;
    const auto space = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            ++i;
    };
    const auto utf8 = [](std::uint32_t cp, std::string &out) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xc0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xe0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        }
    };
    const auto hex4 = [&](std::uint32_t &v) {
        if (i + 4 > text.size())
            return false;
        v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<std::uint32_t>(c - 'A' + 10);
            else return false;
        }
        return true;
    };
    const auto string = [&](std::string &out) {
        if (i >= text.size() || text[i] != '"')
            return false;
        ++i;
        while (i < text.size()) {
            const unsigned char c = static_cast<unsigned char>(text[i++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false; // control characters must be escaped
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (i >= text.size())
                return false;
            const char e = text[i++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t cp = 0;
                if (!hex4(cp))
                    return false;
                if (cp >= 0xd800 && cp < 0xdc00) {
                    std::uint32_t low = 0;
                    if (i + 2 > text.size() || text[i] != '\\' || text[i + 1] != 'u')
                        return false;
                    i += 2;
                    if (!hex4(low) || low < 0xdc00 || low > 0xdfff)
                        return false;
                    cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
                }
                utf8(cp, out);
                break;
            }
            default: return false;
            }
        }
        return false;
    };
    JsonPairs pairs;
    space();
    if (i >= text.size() || text[i++] != '{')
        return std::nullopt;
    space();
    if (i < text.size() && text[i] == '}') {
        ++i;
    } else {
        for (;;) {
            std::string key, value;
            space();
            if (!string(key))
                return std::nullopt;
            space();
            if (i >= text.size() || text[i++] != ':')
                return std::nullopt;
            space();
            if (!string(value))
                return std::nullopt;
            pairs.emplace_back(std::move(key), std::move(value));
            space();
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            if (i < text.size() && text[i] == '}') {
                ++i;
                break;
            }
            return std::nullopt;
        }
    }
    space();
    if (i != text.size())
        return std::nullopt;
    return pairs;
}

} // namespace testsupport

#endif

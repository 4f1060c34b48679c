#include "records/json.h"

#include <cstdint>
#include <cstdio>

#include "system/saved_text.h"

namespace pelorin {

namespace {

std::string Quoted(std::string_view text, bool forScript) {
    std::string quoted = "\"";
    for (char character : text) {
        auto code = static_cast<unsigned char>(character);
        if (character == '"' || character == '\\') {
            quoted += '\\';
            quoted += character;
        } else if (code < 0x20 || (forScript && (character == '<' || character == '>' || character == '&'))) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
            quoted += escaped;
        } else {
            quoted += character;
        }
    }
    return quoted + "\"";
}

// The value of four hex digits at text[at], or nullopt.
std::optional<uint32_t> Hex4(std::string_view text, size_t at) {
    if (at + 4 > text.size()) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

}  // namespace

std::optional<std::string> ReadJsonString(std::string_view text, size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string value;
    for (++at; at < text.size();) {
        char c = text[at++];
        if (c == '"') return value;
        if (c != '\\') {
            value += c;
            continue;
        }
        if (at >= text.size()) break;
        char escaped = text[at++];
        switch (escaped) {
        case 'b': value += '\b'; break;
        case 'f': value += '\f'; break;
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case 'u': {
            std::optional<uint32_t> code = Hex4(text, at);
            if (!code) {
                // No four digits: kept as written, as the lab can read it.
                value += "\\u";
                break;
            }
            at += 4;
            if (*code >= 0xD800 && *code < 0xDC00) {
                // A high surrogate is a character beyond the first plane only with its low one after it.
                std::optional<uint32_t> low = text.substr(at).starts_with("\\u") ? Hex4(text, at + 2) : std::nullopt;
                if (low && *low >= 0xDC00 && *low < 0xE000) {
                    at += 6;
                    *code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                } else {
                    *code = REPLACEMENT_CHARACTER;
                }
            } else if (*code >= 0xDC00 && *code < 0xE000) {
                *code = REPLACEMENT_CHARACTER;
            }
            AppendUtf8(value, *code);
            break;
        }
        default:
            // \" \\ \/ stand for themselves; so does any other character a hand escaped.
            value += escaped;
        }
    }
    return std::nullopt;
}

std::string JsonString(std::string_view text) { return Quoted(text, false); }

std::string ScriptJsonString(std::string_view text) { return Quoted(text, true); }

}  // namespace pelorin

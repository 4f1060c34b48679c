#include "records/json.h"

#include <cstdio>

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

}  // namespace

std::string JsonString(std::string_view text) { return Quoted(text, false); }

std::string ScriptJsonString(std::string_view text) { return Quoted(text, true); }

}  // namespace pelorin

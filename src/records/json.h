#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters escaped.
std::string JsonString(std::string_view text);
// The same literal, safe also inside an HTML script element: '<', '>' and '&' are escaped too, so no
// text of the lab's can close the element or start an entity.
std::string ScriptJsonString(std::string_view text);

// The text of the JSON string literal whose opening quote stands at text[at], in UTF-8, every escape
// read as JSON defines it: \u00e9 (as Python's json.dump writes a non-ASCII character) is é, a
// surrogate pair one character beyond the first plane, a lone surrogate U+FFFD. at moves past the
// closing quote. nullopt, with at where it stopped, when there is no literal there or it does not end.
std::optional<std::string> ReadJsonString(std::string_view text, size_t& at);

}  // namespace pelorin

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelorin {

// Reads the UTF-8 sequence at `at` into codePoint and returns its length, or 0 if no valid sequence
// starts there (stray, overlong, surrogate or cut-off bytes).
size_t Utf8Next(std::string_view text, size_t at, char32_t& codePoint);

// Text as it can be drawn: valid UTF-8 with "\n" line ends. CR LF and lone CR end lines, tabs become
// blanks, other control bytes become U+FFFD, and bytes that are not UTF-8 are read as Windows-1252,
// the encoding older Windows editors save a lab's text files in. The instruction text the subject saw
// is this, drawn and recorded alike.
std::string DisplayText(std::string_view raw);

}  // namespace pelorin

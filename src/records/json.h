#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters escaped.
std::string JsonString(std::string_view text);
// The same literal, safe also inside an HTML script element: '<', '>' and '&' are escaped too, so no
// text of the lab's can close the element or start an entity.
std::string ScriptJsonString(std::string_view text);

}  // namespace pelorin

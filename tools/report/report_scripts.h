#pragma once

#include <string_view>

namespace pelorin {

// The minified browser builds of the plotting scripts, built into the program so that a page carries
// them inline and fetches nothing.
std::string_view VegaScript();
std::string_view VegaLiteScript();
std::string_view VegaEmbedScript();

}  // namespace pelorin

#include "system/warning.h"

#include <iostream>

namespace pelorin {

void Warn(const std::string& message) { std::cerr << "pelorin: " << message << '\n'; }

void ReportFailure(const std::string& message) { Warn(message); }

}  // namespace pelorin

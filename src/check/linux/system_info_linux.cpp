#include "check/system_info.h"

#include <sys/utsname.h>

namespace pelorin::check {

PowerFigures ReadPower() { return {}; }

std::string SystemName() {
    utsname name{};
    std::string kernel = uname(&name) == 0 ? std::string(name.sysname) + " " + name.release : "Linux";
    return kernel + " (X11)";
}

const char* InjectorName() { return "XTest"; }

}  // namespace pelorin::check

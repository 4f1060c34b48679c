#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>

#include "system/system_facts.h"

namespace pelorin {

namespace {

// The distribution's own name for itself (PRETTY_NAME of os-release), where it has the file.
std::string Distribution() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path);
        std::string line;
        while (std::getline(file, line)) {
            if (!line.starts_with("PRETTY_NAME=")) continue;
            std::string value = line.substr(12);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
    }
    return "";
}

}  // namespace

std::string OperatingSystemDescription() {
    utsname name{};
    std::string kernel = uname(&name) == 0
                             ? std::string(name.sysname) + " " + name.release + " " + name.machine
                             : std::string("unknown system");
    std::string distribution = Distribution();
    return distribution.empty() ? kernel : distribution + ", " + kernel;
}

std::string MachineName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

}  // namespace pelorin

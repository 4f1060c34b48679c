#include <sys/utsname.h>
#include <unistd.h>

#include <optional>

#include "system/files.h"
#include "system/system_facts.h"

namespace pelorin {

namespace {

// The distribution's own name for itself (PRETTY_NAME of os-release), where it has the file.
std::string Distribution() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::string name = OsReleaseValue(ReadWholeFile(path).value_or(""), "PRETTY_NAME");
        if (!name.empty()) return name;
    }
    return "";
}

}  // namespace

std::string OsReleaseValue(std::string_view osRelease, std::string_view name) {
    for (const std::string& line : SplitLines(osRelease)) {
        if (!line.starts_with(name) || line.size() <= name.size() || line[name.size()] != '=') continue;
        std::string_view value = Trim(std::string_view(line).substr(name.size() + 1));
        if (value.empty() || (value.front() != '"' && value.front() != '\'')) return std::string(value);
        char quote = value.front();
        std::string unquoted;
        for (size_t at = 1; at < value.size() && value[at] != quote; ++at) {
            if (quote == '"' && value[at] == '\\' && at + 1 < value.size()) ++at;
            unquoted += value[at];
        }
        return unquoted;
    }
    return "";
}

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

#include "demo/demo_folder.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <system_error>

#include "demo/demo_waves.h"
#include "system/files.h"

namespace pelorin {

namespace {

namespace fs = std::filesystem;

// Writes a file through one beside it renamed into place, so that no half-written file is left
// under the name the program reads.
template <typename Write>
bool PlaceWhole(const fs::path& path, Write write) {
    fs::path partial = path;
    partial += ".partial";
    bool placed = write(partial);
    std::error_code error;
    if (placed) {
        fs::rename(partial, path, error);
        placed = !error;
    }
    if (!placed) fs::remove(partial, error);
    return placed;
}

}  // namespace

bool WriteDemoFolder(const std::string& folder, std::ostream& out, std::ostream& err) {
    const std::string waves = JoinPath(folder, "wave");
    std::error_code error;
    fs::create_directories(PathFromUtf8(waves), error);
    if (error) {
        err << "pelorin: cannot make " << waves << ": " << error.message() << "\n";
        return false;
    }
    bool ok = true;
    // Each file the lab may have replaced is left alone: the demo fills in only what is missing.
    auto place = [&](const std::string& name, auto write) {
        std::error_code unknown;
        if (fs::exists(PathFromUtf8(name), unknown)) {
            out << "kept    " << name << "\n";
        } else if (write(PathFromUtf8(name))) {
            out << "written " << name << "\n";
        } else {
            err << "pelorin: cannot write " << name << "\n";
            ok = false;
        }
    };
    place(JoinPath(folder, "instruction.txt"), [](const fs::path& path) {
        return PlaceWhole(path, [](const fs::path& partial) {
            std::ofstream file(partial, std::ios::binary | std::ios::trunc);
            file << DEMO_INSTRUCTION;
            file.close();
            return !file.fail();
        });
    });
    for (const std::string& name : DemoWaveNames()) {
        place(JoinPath(waves, name), [&name](const fs::path& path) {
            return PlaceWhole(path, [&name](const fs::path& partial) { return WriteDemoWave(name, partial); });
        });
    }
    return ok;
}

}  // namespace pelorin

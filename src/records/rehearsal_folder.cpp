#include "records/rehearsal_folder.h"

#include <algorithm>
#include <filesystem>

#include "records/dataset.h"
#include "records/subject_list.h"
#include "system/files.h"

namespace pelorin {

namespace {

namespace fs = std::filesystem;

// Whether inner is outer or lies inside it; both resolved.
bool Within(const fs::path& inner, const fs::path& outer) {
    auto [stop, ignored] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return stop == outer.end();
}

}  // namespace

std::string ReachesLabRecords(const std::string& rehearsal, const std::string& runFolder) {
    std::error_code error;
    auto resolve = [&](const fs::path& path) {
        fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
        // A link to what is not there yet resolves to where a write through it would go: a rehearsal's
        // list linked to the lab's list before the lab registers anyone would make the lab's list.
        std::error_code noLink;
        for (int hops = 0; !error && hops < 40 && fs::is_symlink(fs::symlink_status(resolved, noLink)); ++hops) {
            fs::path target = fs::read_symlink(resolved, error);
            resolved = fs::weakly_canonical(target.is_absolute() ? target : resolved.parent_path() / target, error);
        }
        return error ? fs::path() : resolved;
    };
    fs::path run = resolve(PathFromUtf8(runFolder));
    fs::path folder = resolve(PathFromUtf8(rehearsal));
    if (error) return "cannot be resolved (" + error.message() + ")";
    fs::path labData = resolve(run / DatasetSettings().folder);
    fs::path labList = resolve(run / SUBJECT_LIST_FILE);
    fs::path data = resolve(folder / DatasetSettings().folder);
    fs::path list = resolve(folder / SUBJECT_LIST_FILE);
    if (error) return "cannot be resolved (" + error.message() + ")";
    std::error_code ignored;
    if (folder == run || fs::equivalent(folder, run, ignored)) return "is the current folder";
    if (Within(folder, labData)) return "is or lies inside the current folder's Res_Data";
    if (Within(data, labData)) return "holds a Res_Data that is or lies inside the current folder's";
    if (list == labList || fs::equivalent(list, labList, ignored)) return "holds the current folder's subject list";
    return {};
}

}  // namespace pelorin

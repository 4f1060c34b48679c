#include "records/rehearsal_folder.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "records/dataset.h"
#include "records/subject_list.h"
#include "system/files.h"

namespace pelorin {

namespace {

namespace fs = std::filesystem;

// The most links followed on the way to one path, as the systems' own limits (40 on Linux).
constexpr int MAX_LINKS = 40;
// The most entries of a Res_Data looked at: far beyond a lab's, a bound on a folder gone wrong.
constexpr size_t MAX_ENTRIES = 200000;

std::string Utf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// A path as a write through it would reach it: the deepest part of it that exists, as the system
// resolves it (links, junctions, "..", letter case, 8.3 names) and by its identity, and the names beneath
// it that are not there yet.
struct Located {
    std::string base;
    std::optional<FileIdentity> identity;
    std::vector<std::string> rest;
};

// Locates a path, following links the way the system would, those that lead nowhere yet included (a
// write through one goes where it points). Empty, with the reason, where the way cannot be followed.
std::optional<Located> Locate(const std::string& path, std::string& problem) {
    std::error_code error;
    fs::path absolute = fs::absolute(PathFromUtf8(path), error);
    if (error) {
        problem = error.message();
        return std::nullopt;
    }
    Located located;
    auto startAt = [&](const fs::path& root) {
        std::string text = Utf8(root);
        located = {ResolvedPath(text).value_or(text), IdentityOf(text), {}};
    };
    startAt(absolute.root_path());
    std::deque<std::string> names;
    for (const fs::path& name : absolute.relative_path()) names.push_back(Utf8(name));
    for (int links = 0; !names.empty();) {
        std::string name = std::move(names.front());
        names.pop_front();
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!located.rest.empty()) {
                located.rest.pop_back();
            } else {
                // The base is resolved: its parent is the folder a ".." reaches.
                located.base = Utf8(PathFromUtf8(located.base).parent_path());
                located.identity = IdentityOf(located.base);
            }
            continue;
        }
        // Beneath a name that is not there, nothing is.
        if (!located.rest.empty()) {
            located.rest.push_back(name);
            continue;
        }
        std::string next = JoinPath(located.base, name);
        if (std::optional<std::string> resolved = ResolvedPath(next)) {
            located.base = *resolved;
            located.identity = IdentityOf(*resolved);
            continue;
        }
        if (IsLink(next)) {
            std::optional<std::string> target = LinkTarget(next);
            if (!target || ++links > MAX_LINKS) {
                problem = "the link " + next + " leads nowhere Pelorin can follow";
                return std::nullopt;
            }
            fs::path to = PathFromUtf8(*target);
            std::deque<std::string> ahead;
            for (const fs::path& part : to.relative_path()) ahead.push_back(Utf8(part));
            names.insert(names.begin(), ahead.begin(), ahead.end());
            if (to.has_root_path()) startAt(to.root_path());
            continue;
        }
        located.rest.push_back(name);
    }
    return located;
}

// Whether two located paths reach the same file or folder, there already or not yet.
bool Same(const Located& a, const Located& b) {
    if (!a.identity || !b.identity || !(*a.identity == *b.identity) || a.rest.size() != b.rest.size()) return false;
    for (size_t i = 0; i < a.rest.size(); ++i) {
        if (!SameName(a.rest[i], b.rest[i])) return false;
    }
    return true;
}

// Whether inner is outer or lies inside it.
bool Within(Located inner, const Located& outer) {
    for (;;) {
        if (Same(inner, outer)) return true;
        if (!inner.rest.empty()) {
            inner.rest.pop_back();
            continue;
        }
        std::string parent = Utf8(PathFromUtf8(inner.base).parent_path());
        if (parent == inner.base || parent.empty()) return false;
        inner.base = parent;
        inner.identity = IdentityOf(parent);
    }
}

// Every file and folder a folder holds, links followed (each folder once), with its path: what a write
// into the folder could reach.
void Walk(const std::string& folder, const std::string& shown, std::set<std::pair<uint64_t, uint64_t>>& seen,
          const std::function<bool(const std::string& shown, const FileIdentity& identity)>& visit) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(folder), error)) {
        if (seen.size() >= MAX_ENTRIES) return;
        std::string name = Utf8(entry.path().filename());
        std::string path = JoinPath(folder, name);
        std::optional<FileIdentity> identity = IdentityOf(path);
        if (!identity) continue;
        std::string shownPath = JoinPath(shown, name);
        if (!visit(shownPath, *identity)) return;
        if (identity->folder && seen.insert({identity->volume, identity->index}).second) {
            Walk(path, shownPath, seen, visit);
        }
    }
}

// An entry of the rehearsal's Res_Data that is one of the lab's records: a link, junction or hard link
// into the lab's Res_Data or to its subject list, which the rehearsal would write through. Empty when
// there is none.
std::string SharedEntry(const std::string& rehearsalData, const std::string& labData, const std::string& labList) {
    std::optional<FileIdentity> data = IdentityOf(rehearsalData);
    if (!data || !data->folder) return {};
    std::set<std::pair<uint64_t, uint64_t>> lab;
    if (std::optional<FileIdentity> list = IdentityOf(labList)) lab.insert({list->volume, list->index});
    if (std::optional<FileIdentity> labFolder = IdentityOf(labData); labFolder && labFolder->folder) {
        lab.insert({labFolder->volume, labFolder->index});
        std::set<std::pair<uint64_t, uint64_t>> seen{{labFolder->volume, labFolder->index}};
        Walk(labData, {}, seen, [&](const std::string&, const FileIdentity& identity) {
            lab.insert({identity.volume, identity.index});
            return true;
        });
    }
    std::string shared;
    std::set<std::pair<uint64_t, uint64_t>> seen{{data->volume, data->index}};
    Walk(rehearsalData, DatasetSettings().folder, seen, [&](const std::string& shown, const FileIdentity& identity) {
        if (lab.contains({identity.volume, identity.index})) shared = shown;
        return shared.empty();
    });
    return shared;
}

}  // namespace

std::string ReachesLabRecords(const std::string& rehearsal, const std::string& runFolder) {
    std::string problem;
    auto locate = [&](const std::string& path) { return Locate(path, problem); };
    std::optional<Located> run = locate(runFolder);
    std::optional<Located> folder = locate(rehearsal);
    if (!run || !folder) return "cannot be resolved (" + problem + ")";
    const std::string dataName = DatasetSettings().folder;
    std::optional<Located> labData = locate(JoinPath(runFolder, dataName));
    std::optional<Located> labList = locate(JoinPath(runFolder, SUBJECT_LIST_FILE));
    std::optional<Located> data = locate(JoinPath(rehearsal, dataName));
    std::optional<Located> list = locate(JoinPath(rehearsal, SUBJECT_LIST_FILE));
    if (!labData || !labList || !data || !list) return "cannot be resolved (" + problem + ")";
    if (Same(*folder, *run)) return "is the current folder";
    if (Within(*folder, *labData)) return "is or lies inside the current folder's Res_Data";
    if (Within(*data, *labData)) return "holds a Res_Data that is or lies inside the current folder's";
    if (Same(*list, *labList)) return "holds the current folder's subject list";
    std::string shared = SharedEntry(JoinPath(rehearsal, dataName), JoinPath(runFolder, dataName),
                                     JoinPath(runFolder, SUBJECT_LIST_FILE));
    if (!shared.empty()) {
        return "holds " + shared + ", which is also in the current folder's Res_Data (a link or a hard link to it)";
    }
    return {};
}

}  // namespace pelorin

#include "ui/translations.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

#include "system/files.h"
#include "system/saved_text.h"

namespace pelorin {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The parts of a text between any of the separators, empty ones included.
std::vector<std::string_view> SplitOn(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find_first_of(separators, at);
        if (end == std::string_view::npos) end = text.size();
        parts.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

// A quoted .po string's contents with its C escapes undone, or nullopt with the reason.
std::optional<std::string> Unquote(std::string_view quoted, std::string& reason) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
        reason = "a string must stand in double quotes";
        return std::nullopt;
    }
    std::string text;
    for (size_t at = 1; at + 1 < quoted.size(); ++at) {
        char c = quoted[at];
        if (c == '"') {
            reason = "a double quote inside a string must be written \\\"";
            return std::nullopt;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (at + 2 >= quoted.size()) {
            reason = "a backslash ends the string";
            return std::nullopt;
        }
        char e = quoted[++at];
        switch (e) {
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        case 'r': text += '\r'; break;
        case 'a': text += '\a'; break;
        case 'b': text += '\b'; break;
        case 'f': text += '\f'; break;
        case 'v': text += '\v'; break;
        case '"': case '\\': case '\'': case '?': text += e; break;
        case 'x': {
            int value = 0;
            size_t digits = 0;
            while (at + 2 < quoted.size() && std::isxdigit(static_cast<unsigned char>(quoted[at + 1])) && digits < 2) {
                value = value * 16 + std::stoi(std::string(1, quoted[++at]), nullptr, 16);
                ++digits;
            }
            if (digits == 0) {
                reason = "\\x without hexadecimal digits";
                return std::nullopt;
            }
            text += static_cast<char>(value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                for (int digits = 1; digits < 3 && at + 2 < quoted.size() && quoted[at + 1] >= '0' && quoted[at + 1] <= '7';
                     ++digits) {
                    value = value * 8 + (quoted[++at] - '0');
                }
                text += static_cast<char>(value);
                break;
            }
            reason = std::string("unknown escape \\") + e;
            return std::nullopt;
        }
    }
    return text;
}

// The keys whose English reads as this msgid: a line break is one in either form.
std::vector<std::string> KeysOfEnglish(const std::string& msgid) {
    auto plain = [](std::string_view text) {
        std::string same(text);
        std::replace(same.begin(), same.end(), '\r', '\n');
        return same;
    };
    std::string wanted = plain(msgid);
    std::vector<std::string> keys;
    for (const TextEntry& entry : TEXT_TABLE) {
        if (plain(entry.english) == wanted) keys.emplace_back(entry.key);
    }
    return keys;
}

struct Entry {
    // What a plural form says goes here: it is not the program's.
    std::string context, id, str, discarded;
    bool hasContext = false, hasId = false, hasStr = false;
    bool fuzzy = false, plural = false, obsolete = false;
    int line = 0;
};

}  // namespace

PoFile ReadPo(std::string_view saved, std::string& error) {
    PoFile file;
    error.clear();
    if (saved.starts_with("\xEF\xBB\xBF")) saved.remove_prefix(3);
    // Lines as any editor ends them: LF, CR LF or CR alone.
    std::string lines;
    for (size_t i = 0; i < saved.size(); ++i) {
        if (saved[i] != '\r') {
            lines += saved[i];
        } else if (i + 1 == saved.size() || saved[i + 1] != '\n') {
            lines += '\n';
        }
    }
    std::string_view text = lines;
    Entry entry;
    std::string* field = nullptr;
    auto finish = [&] {
        Entry done = std::exchange(entry, Entry{});
        field = nullptr;
        if (!done.hasId || done.obsolete) return;
        if (done.id.empty() && !done.hasContext) {
            // The header entry: "Language: de\n" among its lines.
            size_t at = done.str.find("Language:");
            if (at != std::string::npos) {
                size_t end = done.str.find('\n', at);
                file.language = std::string(Trim(std::string_view(done.str).substr(at + 9, end - at - 9)));
            }
            return;
        }
        // A fuzzy entry is a guess the translator has not confirmed; plural forms are not the program's.
        if (done.fuzzy || done.plural || done.str.empty()) return;
        if (done.hasContext) {
            file.translations[done.context] = done.str;
            return;
        }
        std::vector<std::string> keys = KeysOfEnglish(done.id);
        if (keys.empty()) file.unmatched.push_back(done.id.substr(0, done.id.find_first_of("\r\n")));
        for (const std::string& key : keys) file.translations[key] = done.str;
    };
    int number = 0;
    for (std::string_view whole : SplitOn(text, "\n")) {
        std::string_view line = Trim(whole);
        ++number;
        auto malformed = [&](const std::string& reason) {
            error = "line " + std::to_string(number) + ": " + reason;
            return PoFile{};
        };
        if (line.empty()) {
            if (entry.hasStr) finish();
            continue;
        }
        if (line.starts_with("#~")) {
            // An obsolete entry, kept by the tools for reference.
            if (entry.hasStr) finish();
            entry.obsolete = true;
            continue;
        }
        if (line[0] == '#') {
            if (entry.hasStr) finish();
            if (line.starts_with("#,") && line.find("fuzzy") != std::string_view::npos) entry.fuzzy = true;
            continue;
        }
        if (line[0] == '"') {
            if (field == nullptr) return malformed("a string that continues nothing");
            std::string reason;
            std::optional<std::string> part = Unquote(line, reason);
            if (!part) return malformed(reason);
            *field += *part;
            continue;
        }
        size_t space = line.find_first_of(" \t");
        std::string_view word = line.substr(0, space);
        std::string_view rest = space == std::string_view::npos ? std::string_view() : Trim(line.substr(space));
        if (word == "msgctxt") {
            if (entry.hasStr || entry.hasId) finish();
            entry.hasContext = true;
            field = &entry.context;
        } else if (word == "msgid") {
            if (entry.hasStr) finish();
            if (entry.hasId) return malformed("a second msgid before its msgstr");
            entry.hasId = true;
            field = &entry.id;
        } else if (word == "msgid_plural") {
            if (!entry.hasId) return malformed("msgid_plural without its msgid");
            entry.plural = true;
            field = &entry.discarded;
        } else if (word == "msgstr" || word.starts_with("msgstr[")) {
            if (!entry.hasId) return malformed("msgstr without its msgid");
            entry.hasStr = true;
            field = word == "msgstr" ? &entry.str : &entry.discarded;
        } else {
            return malformed("\"" + std::string(line.substr(0, 40)) + "\" is no .po line");
        }
        if (entry.line == 0) entry.line = number;
        std::string reason;
        std::optional<std::string> part = Unquote(rest, reason);
        if (!part) return malformed(reason);
        *field += *part;
    }
    if (entry.hasId && !entry.hasStr) {
        error = "line " + std::to_string(number) + ": the file ends before the msgstr of the entry at line " +
                std::to_string(entry.line);
        return PoFile{};
    }
    finish();
    return file;
}

std::string LanguageTag(std::string_view given) {
    std::string tag;
    size_t index = 0;
    for (std::string_view givenPart : SplitOn(given, "-_")) {
        std::string part = Lower(givenPart);
        bool letters = !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
        bool alnum = !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
        if (index == 0) {
            if (!letters || part.size() < 2 || part.size() > 3) return {};
        } else if (letters && part.size() == 2) {
            for (char& c : part) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (letters && part.size() == 4) {
            part[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(part[0])));
        } else if (!alnum || part.size() < 3 || part.size() > 8) {
            return {};
        }
        tag += (index == 0 ? "" : "-") + part;
        ++index;
    }
    return tag;
}

std::string LabTranslationName(std::string_view language) { return "pelorin-" + std::string(language) + ".po"; }

namespace {

// The lab's files in the folder, pelorin-<tag>.po in any letter case, by their languages' tags.
std::map<std::string, std::string> LabFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(PathFromUtf8(folder), error)) {
        std::u8string name8 = item.path().filename().u8string();
        std::string name(name8.begin(), name8.end());
        std::string lower = Lower(name);
        if (!lower.starts_with("pelorin-") || !lower.ends_with(".po")) continue;
        if (std::string tag = LanguageTag(name.substr(8, name.size() - 11)); !tag.empty()) {
            files.emplace(tag, JoinPath(folder, name));
        }
    }
    return files;
}

}  // namespace

std::vector<std::string> LanguagesAtHand(const std::string& folder) {
    std::set<std::string> languages{"en"};
    for (const ShippedTranslation& shipped : SHIPPED_TRANSLATIONS) languages.emplace(shipped.language);
    for (const auto& [tag, path] : LabFiles(folder)) languages.insert(tag);
    return {languages.begin(), languages.end()};
}

std::string LanguageList(const std::vector<std::string>& languages) {
    std::string list;
    for (const std::string& language : languages) list += (list.empty() ? "" : ", ") + language;
    return list;
}

LanguageTexts LoadLanguage(const std::string& language, const std::string& folder) {
    LanguageTexts loaded;
    loaded.texts.language = language;
    auto take = [&](const std::string& name, std::string_view text) {
        std::string error;
        PoFile file = ReadPo(text, error);
        if (!error.empty()) {
            loaded.notes.push_back(name + ": " + error + "; its texts are not used");
            return;
        }
        for (const std::string& key : loaded.texts.Take(file.translations)) {
            loaded.notes.push_back(name + ": msgctxt \"" + key + "\" names no text of Pelorin; skipped");
        }
        for (const std::string& english : file.unmatched) {
            loaded.notes.push_back(name + ": msgid \"" + english + "\" is no English text of Pelorin; skipped");
        }
    };
    for (const ShippedTranslation& shipped : SHIPPED_TRANSLATIONS) {
        if (shipped.language == language) take(LabTranslationName(language) + " (built in)", shipped.po);
    }
    std::map<std::string, std::string> labFiles = LabFiles(folder);
    if (auto found = labFiles.find(language); found != labFiles.end()) {
        const std::string& path = found->second;
        std::string reason;
        std::optional<std::string> bytes = ReadWholeFile(path, &reason);
        // As editors save it: UTF-8 with or without a byte order mark, or UTF-16.
        std::optional<std::string> text = bytes ? SavedTextAsUtf8(*bytes) : std::nullopt;
        if (!bytes) {
            loaded.notes.push_back(path + ": cannot read it (" + reason + "); its texts are not used");
        } else if (!text) {
            loaded.notes.push_back(path + ": not text Pelorin can read; save it as UTF-8; its texts are not used");
        } else {
            take(path, *text);
        }
    }
    return loaded;
}

}  // namespace pelorin

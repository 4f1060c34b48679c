#include "ui/texts.h"

#include <stdexcept>

namespace pelorin {

std::string_view EnglishText(std::string_view key) {
    for (const TextEntry& entry : TEXT_TABLE) {
        if (entry.key == key) return entry.english;
    }
    throw std::logic_error("no text " + std::string(key) + " in the table of texts");
}

std::string Texts::Get(std::string_view key, std::initializer_list<TextValue> values) const {
    return Fill(key, values.begin(), values.size());
}

std::string Texts::Get(std::string_view key, const std::vector<TextValue>& values) const {
    return Fill(key, values.data(), values.size());
}

std::string Texts::Fill(std::string_view key, const TextValue* values, size_t count) const {
    std::string_view english = EnglishText(key);
    auto found = translated.find(key);
    std::string_view text = found != translated.end() ? std::string_view(found->second) : english;
    if (count == 0) return std::string(text);
    // One pass, so a value that holds braces (a path, a reason) is never read as a name.
    std::string shown;
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find('{', at);
        size_t close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) break;
        shown.append(text, at, open - at);
        std::string_view name = text.substr(open + 1, close - open - 1);
        const TextValue* value = nullptr;
        for (size_t i = 0; i < count; ++i) {
            if (values[i].name == name) value = &values[i];
        }
        if (value != nullptr) {
            shown += value->value;
        } else {
            shown.append(text, open, close - open + 1);
        }
        at = close + 1;
    }
    shown.append(text.substr(std::min(at, text.size())));
    return shown;
}

std::vector<std::string> Texts::Take(const std::map<std::string, std::string>& translations) {
    std::vector<std::string> unknown;
    for (const auto& [key, text] : translations) {
        bool known = false;
        for (const TextEntry& entry : TEXT_TABLE) known = known || entry.key == key;
        if (!known) {
            unknown.push_back(key);
        } else if (!text.empty()) {
            translated[key] = text;
        }
    }
    return unknown;
}

std::vector<std::string> Texts::Missing() const {
    std::vector<std::string> missing;
    for (const TextEntry& entry : TEXT_TABLE) {
        if (!translated.contains(entry.key)) missing.emplace_back(entry.key);
    }
    return missing;
}

}  // namespace pelorin

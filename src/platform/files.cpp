#include "platform/files.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pelorin {

std::string PrintNumber(long value) {
    std::string digits = std::to_string(value);
    return (value < 0 ? "" : " ") + digits + " ";
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) {
        if (error) *error = std::strerror(errno);
        return std::nullopt;
    }
    return contents.str();
}

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void FieldReader::SkipBlanks() {
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
}

std::optional<long> FieldReader::ReadNumber() {
    SkipBlanks();
    size_t end = line.find_first_of(" \t,", position);
    if (end == std::string_view::npos) end = line.size();
    std::string_view field = line.substr(position, end - position);
    position = end < line.size() && line[end] == ',' ? end + 1 : end;
    long value = 0;
    auto [rest, status] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || status != std::errc() || rest != field.data() + field.size()) return std::nullopt;
    return value;
}

std::string FieldReader::ReadText() {
    SkipBlanks();
    size_t end = line.find(',', position);
    if (end == std::string_view::npos) end = line.size();
    std::string_view field = line.substr(position, end - position);
    position = end < line.size() ? end + 1 : end;
    return std::string(Trim(field));
}

}  // namespace pelorin

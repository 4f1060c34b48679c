#include "system/files.h"

#include <algorithm>
#include <charconv>

#include "system/files_internal.h"

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

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> cells;
    for (size_t start = 0;;) {
        size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return cells;
        start = tab + 1;
    }
}

std::filesystem::path PathFromUtf8(std::string_view path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string JoinPath(std::string_view folder, std::string_view relativeName) {
    std::string path(folder);
    if (!path.empty() && path.back() != '/' && path.back() != PATH_SEPARATOR) path += PATH_SEPARATOR;
    for (char c : relativeName) path += c == '/' ? PATH_SEPARATOR : c;
    return path;
}

AppendResult AppendIfAccepted(const std::string& path, const std::function<bool(const std::string& contents)>& accept,
                              const std::string& record) {
    return AppendComposed(path, [&](const std::string& contents) -> std::optional<std::string> {
        if (!accept(contents)) return std::nullopt;
        return detail::EndsWithLineEnd(contents) ? record : CRLF + record;
    });
}

namespace detail {

std::string TooLarge() { return "larger than " + std::to_string(MAX_READ_BYTES >> 20) + " MB"; }

bool EndsWithLineEnd(const std::string& contents) {
    return contents.empty() || contents.back() == '\n' || contents.back() == '\r';
}

std::optional<std::string> ReadBounded(uint64_t expectedSize, const ReadAt& readAt, std::string& contents) {
    if (expectedSize > MAX_READ_BYTES) return TooLarge();
    contents.resize(static_cast<size_t>(expectedSize));
    size_t done = 0;
    for (;;) {
        // One byte past the expected size shows a file that grew meanwhile.
        if (done == contents.size()) {
            if (contents.size() >= MAX_READ_BYTES + 1) return TooLarge();
            contents.resize(std::min<size_t>(std::max<size_t>(2 * contents.size(), 4096), MAX_READ_BYTES + 1));
        }
        std::string reason;
        std::optional<size_t> got = readAt(contents.data() + done, contents.size() - done, done, reason);
        if (!got) return reason;
        if (*got == 0) break;
        done += *got;
    }
    contents.resize(done);
    return std::nullopt;
}

}  // namespace detail

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

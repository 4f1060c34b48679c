#include "records/subject_list.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "system/files.h"

namespace pelorin {

std::optional<std::vector<std::string>> OpenForInput(const std::string& path) {
    auto contents = ReadWholeFile(path);
    if (!contents) return std::nullopt;
    return SplitLines(*contents);
}

std::vector<std::string> ReadFields(std::string_view line, int16_t& count) {
    std::vector<std::string> fields{""};
    count = 0;
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') return fields;
    size_t position = 0;
    while (position < trimmed.size()) {
        size_t end = trimmed.find_first_of(" \t", position);
        if (end == std::string_view::npos) end = trimmed.size();
        fields.emplace_back(trimmed.substr(position, end - position));
        position = trimmed.find_first_not_of(" \t", end);
        if (position == std::string_view::npos) break;
    }
    count = static_cast<int16_t>(std::min<size_t>(fields.size() - 1, std::numeric_limits<int16_t>::max()));
    return fields;
}

std::optional<long> RecordId(std::string_view line) {
    int16_t count = 0;
    std::vector<std::string> fields = ReadFields(line, count);
    if (count == 0) return std::nullopt;
    return FieldReader(fields[1]).ReadNumber();
}

bool ListHoldsId(std::string_view contents, long id) {
    for (const std::string& line : SplitLines(contents)) {
        if (RecordId(line) == id) return true;
    }
    return false;
}

std::optional<long> LastRecordId(const std::vector<std::string>& lines) {
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (auto id = RecordId(*line)) return id;
    }
    return std::nullopt;
}

int16_t FloorMod(int16_t a, int16_t b) {
    return static_cast<int16_t>(a - static_cast<int>(std::floor(static_cast<double>(a) / b)) * b);
}

int16_t NumericValue(std::string_view text) {
    text = Trim(text);
    long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return static_cast<int16_t>(std::clamp<long>(value, std::numeric_limits<int16_t>::min(),
                                                 std::numeric_limits<int16_t>::max()));
}

}  // namespace pelorin

#include "system/saved_text.h"

namespace pelorin {

std::string_view WithoutByteOrderMark(std::string_view text) {
    if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
    return text;
}

void AppendUtf8(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | (codePoint >> 12));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (codePoint >> 18));
        text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

namespace {

std::string Utf8FromUtf16(std::string_view bytes, bool bigEndian) {
    std::string text;
    auto unit = [&](size_t at) -> uint32_t {
        auto first = static_cast<unsigned char>(bytes[at]);
        auto second = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        uint32_t code = unit(at);
        if (code >= 0xD800 && code < 0xDC00 && at + 3 < bytes.size() && unit(at + 2) >= 0xDC00 && unit(at + 2) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
            at += 2;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = REPLACEMENT_CHARACTER;
        }
        AppendUtf8(text, code);
    }
    return text;
}

}  // namespace

std::optional<std::string> SavedTextAsUtf8(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE")) return Utf8FromUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF")) return Utf8FromUtf16(bytes.substr(2), true);
    bytes = WithoutByteOrderMark(bytes);
    if (bytes.find('\0') == std::string_view::npos) return std::string(bytes);
    // No byte order mark: ASCII text in UTF-16 has a NUL byte beside every character, after it in
    // little endian and before it in big endian.
    size_t evenNuls = 0, oddNuls = 0;
    for (size_t at = 0; at < bytes.size(); ++at) (at % 2 == 0 ? evenNuls : oddNuls) += bytes[at] == '\0';
    size_t units = bytes.size() / 2;
    if (bytes.size() % 2 == 0 && oddNuls * 2 > units && evenNuls == 0) return Utf8FromUtf16(bytes, false);
    if (bytes.size() % 2 == 0 && evenNuls * 2 > units && oddNuls == 0) return Utf8FromUtf16(bytes, true);
    return std::nullopt;
}

std::optional<LineEnd> FindLineEnd(std::string_view text, size_t from) {
    size_t at = text.find_first_of("\r\n", from);
    if (at == std::string_view::npos) return std::nullopt;
    bool crLf = text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n';
    return LineEnd{at, at + (crLf ? 2 : 1)};
}

std::string_view FirstLineEnd(std::string_view text) {
    std::optional<LineEnd> end = FindLineEnd(text, 0);
    if (!end) return "\n";
    return text.substr(end->at, end->next - end->at);
}

bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

std::vector<std::string> SplitCells(std::string_view line) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        std::string_view plain = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
        if (plain.starts_with('"')) {
            // The quoted cell's own text, up to the quote that closes it before a tab or the line's end.
            std::string quoted;
            size_t at = start + 1;
            bool closed = false;
            while (at < line.size()) {
                if (line[at] != '"') {
                    quoted += line[at++];
                } else if (at + 1 < line.size() && line[at + 1] == '"') {
                    quoted += '"';
                    at += 2;
                } else {
                    closed = at + 1 == line.size() || line[at + 1] == '\t';
                    break;
                }
            }
            if (closed) {
                cells.push_back(std::move(quoted));
                if (at + 1 == line.size()) return cells;
                start = at + 2;
                continue;
            }
        }
        cells.emplace_back(plain);
        if (tab == std::string_view::npos) return cells;
        start = tab + 1;
    }
}

std::optional<size_t> TableText::Column(std::string_view name) const {
    for (size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name) return i;
    }
    return std::nullopt;
}

TableText ReadTableText(std::string_view text) {
    TableText table;
    text = WithoutByteOrderMark(text);
    bool headerRead = false;
    size_t position = 0;
    for (size_t number = 1; position < text.size(); ++number) {
        std::optional<LineEnd> end = FindLineEnd(text, position);
        std::string_view line = text.substr(position, end ? end->at - position : std::string_view::npos);
        std::string_view lineEnd = end ? text.substr(end->at, end->next - end->at) : std::string_view("\n");
        position = end ? end->next : text.size();
        if (IsBlankLine(line)) continue;
        if (!headerRead) {
            table.header = SplitCells(line);
            table.lineEnd = lineEnd;
            headerRead = true;
            continue;
        }
        table.rows.push_back({number, SplitCells(line)});
    }
    return table;
}

std::string RowToAppend(std::string_view text, std::string_view row) {
    const std::string headerEnd = ReadTableText(text).lineEnd;
    std::string lineEnd = headerEnd == "\r" ? "\r\n" : headerEnd;
    std::string appended;
    if (text.ends_with('\r') && headerEnd == "\r\n") {
        // A CR LF file cut between its CR and its LF: the line's end is made whole.
        appended = "\n";
    } else if (!text.empty() && !text.ends_with('\n') && !text.ends_with('\r')) {
        appended = lineEnd;
    }
    return appended + std::string(row) + lineEnd;
}

}  // namespace pelorin

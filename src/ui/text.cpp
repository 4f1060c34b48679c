#include "ui/text.h"

#include "system/saved_text.h"

namespace pelorin {

size_t Utf8Next(std::string_view text, size_t at, char32_t& codePoint) {
    auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    static constexpr char32_t LEAD_BITS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static constexpr char32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t value = lead & LEAD_BITS[length];
    for (size_t i = 1; i < length; ++i) {
        auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < SMALLEST[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

namespace {

// Windows-1252 for the bytes 0x80 to 0x9F; its five unassigned bytes show as U+FFFD.
constexpr char32_t WINDOWS_1252[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

constexpr int TAB_BLANKS = 4;

}  // namespace

std::string DisplayText(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() + raw.size() / 8);
    size_t at = 0;
    if (raw.starts_with("\xEF\xBB\xBF")) at = 3;
    while (at < raw.size()) {
        char32_t codePoint = 0;
        size_t length = Utf8Next(raw, at, codePoint);
        if (length == 0) {
            auto byte = static_cast<unsigned char>(raw[at]);
            codePoint = byte < 0xA0 ? WINDOWS_1252[byte - 0x80] : byte;
            length = 1;
        }
        at += length;
        if (codePoint == '\r') {
            if (at < raw.size() && raw[at] == '\n') ++at;
            out += '\n';
        } else if (codePoint == '\n') {
            out += '\n';
        } else if (codePoint == '\t') {
            out.append(TAB_BLANKS, ' ');
        } else if (codePoint < 32 || codePoint == 127) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, codePoint);
        }
    }
    return out;
}

}  // namespace pelorin

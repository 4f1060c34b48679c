#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text files as the tools a lab edits them with save them: Excel, LibreOffice, Notepad and the editors
// of every system. Of tab-separated tables, what both BIDS validators take, these take too.
namespace pelorin {

// The UTF-8 byte order mark Excel's "CSV UTF-8", Notepad and other editors put before a text.
inline constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

// The text without its leading byte order mark, if it has one.
std::string_view WithoutByteOrderMark(std::string_view text);

// What stands for a character that cannot be read.
inline constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// A code point appended in UTF-8.
void AppendUtf8(std::string& text, char32_t codePoint);

// A saved text in UTF-8, without a byte order mark: the bytes as they are when saved in UTF-8 (with a
// byte order mark or without), or decoded from UTF-16, little or big endian (Notepad's "Unicode" and
// "Unicode big endian"), told by its byte order mark, or by the NUL byte beside every ASCII character
// where it has none. A character UTF-16 cannot hold (a lone surrogate) becomes U+FFFD. nullopt for a
// text with NUL bytes that is no UTF-16 either: no text at all.
std::optional<std::string> SavedTextAsUtf8(std::string_view bytes);

// Where the line that starts at `from` ends, and where the next one starts: a line ends at CR LF, at LF,
// or at a CR alone (Excel for Mac saves CR alone). nullopt for a last line without an end.
struct LineEnd {
    size_t at = 0;    // the first character of the line end
    size_t next = 0;  // the first character of the next line
};
std::optional<LineEnd> FindLineEnd(std::string_view text, size_t from);

// The line end a text's first line ends with: "\r\n", "\n" or "\r"; "\n" for a text of one line without
// an end, which is how Pelorin writes its own tables.
std::string_view FirstLineEnd(std::string_view text);

// A line of blanks and tabs only, or none at all: no row (an editor's trailing empty line).
bool IsBlankLine(std::string_view line);

// The cells of a tab-separated line as spreadsheets quote them: a cell that begins with a double quote
// runs to the quote before the next tab or the line's end, two quotes inside it stand for one, and a tab
// inside it is the cell's own (LibreOffice quotes every text cell so, Excel the cells that need it). A
// cell whose quotes do not close so is taken as it stands, as SplitTabs would give it.
std::vector<std::string> SplitCells(std::string_view line);

// A table read by its header: the first line that is not blank holds the column names, every later line
// that is not blank is a row. Lines end as FindLineEnd says; a byte order mark before the header is
// no part of its first name; cells are unquoted as SplitCells unquotes them.
struct TableText {
    struct Row {
        size_t line = 0;  // counted from 1, as an editor counts them
        std::vector<std::string> cells;
    };
    std::vector<std::string> header;
    std::vector<Row> rows;
    // The header's line end, which a row added to the table takes too.
    std::string lineEnd = "\n";

    // Where a column of this name stands in the header, if it is there (its first place).
    std::optional<size_t> Column(std::string_view name) const;
};
TableText ReadTableText(std::string_view text);

// What to append to a table's text so that the row (its cells joined by tabs, without a line end)
// becomes its last line, ended as the table's header is: LF in an LF file, CR LF in a CR LF file. A
// file whose lines end in CR alone gets a row ended by CR LF: every reader takes its CR as a line's end
// all the same, and the legacy BIDS validator refuses a table without a single LF. A last line without
// its end gets one first.
std::string RowToAppend(std::string_view text, std::string_view row);

}  // namespace pelorin

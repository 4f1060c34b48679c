#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// The subject list, in the folder the program runs in.
inline constexpr const char* SUBJECT_LIST_FILE = "CurrentSubjects.txt";

// The lines of a text file, or nullopt when it cannot be read (a missing file among others).
std::optional<std::vector<std::string>> OpenForInput(const std::string& path);

// The blank- or tab-separated fields of one line, from index 1 (index 0 stays empty); count receives
// how many there are. A blank line and a comment line (first non-blank character "#") have none.
std::vector<std::string> ReadFields(std::string_view line, int16_t& count);

// The subject ID a line of the subject list records, or nullopt for a line that records none: blank,
// comment, or a first field that is not a whole number.
std::optional<long> RecordId(std::string_view line);

// Whether any record of the subject list's contents has this ID.
bool ListHoldsId(std::string_view contents, long id);

// The ID of the list's last record, or nullopt when it has none.
std::optional<long> LastRecordId(const std::vector<std::string>& lines);

// a - floor(a / b) * b.
int16_t FloorMod(int16_t a, int16_t b);

// The whole number a box's text holds, as the 16-bit value the screens keep; 0 when there is none.
int16_t NumericValue(std::string_view text);

}  // namespace pelorin

#include "registration_harness.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <vector>

#include "hosts/headless/headless_host.h"
#include "screens/experiment.h"
#include "screens/greet.h"
#include "screens/template_variables.h"
#include "system/files.h"

namespace pelorin::fuzz {

namespace {

// Actions from 0x80 up; bytes below are key presses of that character code.
enum Action : uint8_t {
    TAB = 0x80,
    SHIFT_TAB,
    CTRL_TAB,
    ENTER,
    BACKSPACE,
    ESC_NO,
    ESC_YES,
    CLICK_TEXT1,
    CLICK_TEXT2,
    CLICK_TEXT3,
    CLICK_START,
    OTHER_KEY_DOWN,   // two more bytes: key code, shift state
    OTHER_PROGRAM,    // one more byte: the ID another program registers meanwhile
    FIRST_TYPED_KEY,  // from here on: digits and letters, the keys a registration mostly takes
};
constexpr std::string_view TYPED_KEYS = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// A fresh folder for one case, on a memory file system where there is one: a registration flushes to
// the disk, which would otherwise set the pace.
class CaseFolder {
public:
    CaseFolder() {
        std::error_code error;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::random_device entropy;
        for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
            std::filesystem::path folder = base / ("pelorin-fuzz-" + std::to_string(entropy()));
            if (std::filesystem::create_directory(folder, error)) path = folder.string();
        }
    }
    ~CaseFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    CaseFolder(const CaseFolder&) = delete;
    CaseFolder& operator=(const CaseFolder&) = delete;

    std::string path;
};

std::optional<std::string> Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The IDs a list records, read independently of the program's own reader: lines end at CR, LF or
// CR LF; a line's first field, after blanks and tabs, ends at a blank, tab or comma; it is an ID when
// it is a whole number (an optional minus, then digits); lines starting with "#" are comments.
std::set<long> RecordedIds(std::string_view list) {
    std::set<long> ids;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view line = list.substr(start, end - start);
        start = end + (list.substr(end, 2) == "\r\n" ? 2 : 1);

        size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        size_t stop = line.find_first_of(" \t,", first);
        std::string_view field = line.substr(first, stop == std::string_view::npos ? line.npos : stop - first);
        bool negative = !field.empty() && field.front() == '-';
        std::string_view digits = field.substr(negative ? 1 : 0);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) continue;
        digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
        // Beyond 18 digits no ID a person can type is meant.
        if (digits.size() > 18) continue;
        long value = 0;
        for (char digit : digits) value = value * 10 + (digit - '0');
        ids.insert(negative ? -value : value);
    }
    return ids;
}

bool EndsWithLineEnd(std::string_view text) { return text.empty() || text.back() == '\n' || text.back() == '\r'; }

// The one record a registration adds: " N xx C " CR LF with N a whole number written without leading
// zeros, 2 or 3 letters, C an order condition. Returns the ID, or nullopt when the text is not one.
std::optional<long> ParseRecord(std::string_view record, const std::string& initials, int16_t orderCondition) {
    if (!record.ends_with(" \r\n") || !record.starts_with(" ")) return std::nullopt;
    std::string_view body = record.substr(1, record.size() - 4);
    size_t blank = body.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    std::string_view number = body.substr(0, blank);
    std::string_view rest = body.substr(blank + 1);
    if (number.empty() || number.size() > 3 || number.find_first_not_of("0123456789") != std::string_view::npos ||
        (number.size() > 1 && number.front() == '0')) {
        return std::nullopt;
    }
    std::string expectedRest = initials + " " + std::to_string(orderCondition);
    if (rest != expectedRest || initials.size() < 2 || initials.size() > 3) return std::nullopt;
    for (char letter : initials) {
        if (!((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z'))) return std::nullopt;
    }
    if (orderCondition < 1 || orderCondition > TemplateVariables::TOTAL_ORDER_CONDITIONS) return std::nullopt;
    return std::stol(std::string(number));
}

}  // namespace

std::string RunRegistrationCase(const uint8_t* data, size_t size) {
    CaseFolder folder;
    if (folder.path.empty()) return "cannot make a folder for the case";
    const std::string listPath = folder.path + "/CurrentSubjects.txt";
    const std::string resData = folder.path + "/Res_Data";

    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    uint8_t setup = next();
    bool listExists = (setup & 1) == 0;
    bool resDataIsFile = (setup & 2) != 0;
    size_t listLength = next();
    listLength |= static_cast<size_t>(next()) << 8;
    listLength = std::min(listLength, size - std::min(at, size));
    std::string before(reinterpret_cast<const char*>(data) + std::min(at, size), listLength);
    at += listLength;
    if (listExists) std::ofstream(listPath, std::ios::binary) << before;
    if (resDataIsFile) std::ofstream(resData, std::ios::binary) << "not a folder";

    // What the list holds before the program's own write: its first contents, and what the other
    // program appended since.
    std::string expected = listExists ? before : "";
    bool ended = false;
    {
        HeadlessHost host(1024, 768, folder.path);
        Experiment experiment(host);
        Greet& greet = experiment.Greet();
        auto movedOn = [&] { return experiment.runtime.ActiveScreen() != &greet; };
        try {
            while (at < size && !movedOn()) {
                int64_t when = host.NowMillis() + 1;
                uint8_t action = next();
                switch (action) {
                case TAB: host.Schedule(when, InputEvent::KeyDown(KEY_TAB)); break;
                case SHIFT_TAB: host.Schedule(when, InputEvent::KeyDown(KEY_TAB, SHIFT_MASK)); break;
                case CTRL_TAB: host.Schedule(when, InputEvent::KeyDown(KEY_TAB, CTRL_MASK)); break;
                case ENTER: host.Schedule(when, InputEvent::KeyPress(KEY_RETURN)); break;
                case BACKSPACE: host.Schedule(when, InputEvent::KeyPress(KEY_BACK)); break;
                case ESC_NO:
                case ESC_YES:
                    host.AnswerMessageBox(action == ESC_YES ? ID_YES : ID_NO);
                    host.Schedule(when, InputEvent::KeyPress(KEY_ESCAPE));
                    break;
                case CLICK_TEXT1: host.Schedule(when, InputEvent::Click(greet.Text1)); break;
                case CLICK_TEXT2: host.Schedule(when, InputEvent::Click(greet.Text2)); break;
                case CLICK_TEXT3: host.Schedule(when, InputEvent::Click(greet.Text3)); break;
                case CLICK_START: host.Schedule(when, InputEvent::Click(greet.Command1)); break;
                case OTHER_KEY_DOWN: {
                    int keyCode = next();
                    host.Schedule(when, InputEvent::KeyDown(keyCode, next() & (SHIFT_MASK | CTRL_MASK | ALT_MASK)));
                    break;
                }
                case OTHER_PROGRAM: {
                    std::string record = PrintNumber(next()) + "op" + PrintNumber(1) + CRLF;
                    auto result = AppendIfAccepted(listPath, [](const std::string&) { return true; }, record);
                    if (result.status != AppendResult::Status::Written) return "the other program's append failed";
                    expected += (EndsWithLineEnd(expected) ? "" : CRLF) + record;
                    continue;
                }
                case KEY_ESCAPE:
                    // Esc as a plain key: the quit question it brings is answered No.
                    host.AnswerMessageBox(ID_NO);
                    host.Schedule(when, InputEvent::KeyPress(KEY_ESCAPE));
                    break;
                default:
                    host.Schedule(when, InputEvent::KeyPress(static_cast<int16_t>(
                                                    action >= FIRST_TYPED_KEY
                                                        ? TYPED_KEYS[(action - FIRST_TYPED_KEY) % TYPED_KEYS.size()]
                                                        : action)));
                    break;
                }
                try {
                    for (;;) experiment.runtime.WaitPass();
                } catch (const HeadlessIdle&) {
                }
            }
        } catch (const ProgramEnded&) {
            ended = true;
        } catch (const HeadlessError& error) {
            return std::string("the run stalled: ") + error.what();
        }

        std::string after = Contents(listPath).value_or("");
        if (!after.starts_with(expected)) return "bytes that were in the list changed or went";
        std::string added = after.substr(expected.size());
        bool registered = !ended && movedOn();
        if (added.empty()) {
            if (registered) return "the run moved on without a record";
        } else {
            if (!registered) return "a record was written but the run stayed";
            if (!EndsWithLineEnd(expected)) {
                if (!added.starts_with(CRLF)) return "the record was joined to the last line";
                added.erase(0, 2);
            }
            const TemplateVariables& variables = experiment.templateVariables;
            auto id = ParseRecord(added, greet.Text2.Text(), variables.orderCondition);
            if (!id) return "what was added is not one whole record: " + added;
            if (*id != variables.subjectId) return "the record's ID is not the subject's";
            if (RecordedIds(expected).contains(*id)) return "an ID already in the list was recorded again";
        }
    }
    if (resDataIsFile && Contents(resData) != "not a folder") return "the file Res_Data was touched";
    return "";
}

}  // namespace pelorin::fuzz

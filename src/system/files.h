#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

inline constexpr const char* CRLF = "\r\n";

// A number as print-to-file writes it: the sign position (a blank when not negative), the digits, one
// blank. 12 gives " 12 ".
std::string PrintNumber(long value);

// The lines of a text, with CR LF, LF and lone CR line ends all accepted. A last line without an end
// still counts; the empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
// The cells of a tab-separated line, empty ones included; views into line.
std::vector<std::string_view> SplitTabs(std::string_view line);

// The most any data file is read into memory: far beyond a real subject list or instruction text.
inline constexpr size_t MAX_READ_BYTES = size_t{32} << 20;

// The operating system's own separator between a folder and a name in it: '/' or '\'.
extern const char PATH_SEPARATOR;

// A name inside a folder as the operating system writes it: "wave/200.wav" in "C:\Lab" becomes
// "C:\Lab\wave\200.wav" on Windows. Names are given with '/'.
std::string JoinPath(std::string_view folder, std::string_view relativeName);

// A UTF-8 path as a filesystem path, whatever the system's narrow code page is.
std::filesystem::path PathFromUtf8(std::string_view path);

// The program's current folder, in UTF-8 and the operating system's own spelling.
std::string CurrentFolder();

// Makes a folder. An existing file or folder of that name is not a failure; any other failure returns
// its reason.
std::optional<std::string> MakeFolder(const std::string& path);

// Reads a whole regular file of at most MAX_READ_BYTES. On failure (a missing file, a folder, a device
// or FIFO, a larger file) returns nullopt and puts the reason into *error when given.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error = nullptr);

// What became of an append.
struct AppendResult {
    enum class Status { Written, Refused, Failed };
    Status status = Status::Failed;
    // The reason, for Failed.
    std::string error;
    // What stood in the way, for Failed, where the system says: another program holds the file open and
    // lets no one else write it (a spreadsheet does), or the file may not be written (read-only, no
    // permission). Other covers the rest (a full disk, a folder in its place).
    enum class Cause { Other, InUse, ReadOnly };
    Cause cause = Cause::Other;
};

// Appends a record to a text file as one step under an advisory lock, so that two programs appending
// to the same file never interleave and never both pass the check: the file's whole contents are read
// under the lock and handed to accept, and only if it agrees is the record written, in one write,
// after a CR LF if the last line has no line end. The file, and its folder when the record is its first
// (where the system can flush a folder), are flushed to the disk before this returns. A failed write or
// flush leaves the file as it was. A regular file larger than MAX_READ_BYTES is not written to.
AppendResult AppendIfAccepted(const std::string& path, const std::function<bool(const std::string& contents)>& accept,
                              const std::string& record);

// The same one locked, whole, flushed append, of what compose makes of the file's contents read under the
// lock: nullopt leaves the file as it is (Refused). What the results dataset's shared tables are
// appended with, a header before their first row.
AppendResult AppendComposed(const std::string& path,
                            const std::function<std::optional<std::string>(const std::string& contents)>& compose);

// Reads a file under the lock AppendComposed takes and hands its contents to settle; when settle returns
// true the file is removed while the lock is held, so that an append that waited for it makes the file
// anew instead of writing into the removed one. A file that is not there is no failure: settle is not
// called. The reason on failure.
std::optional<std::string> SettleFile(const std::string& path,
                                      const std::function<bool(const std::string& contents)>& settle);

// What the system knows a file or folder by, whatever name reaches it: a link, a junction, another
// letter case, an 8.3 name or a hard link. The device and inode, or the volume's serial number and the
// file's index.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool folder = false;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};

// The identity of what a path names, links followed; nullopt where nothing can be opened there.
std::optional<FileIdentity> IdentityOf(const std::string& path);
// The path of what a path names as the system resolves it: absolute, every link and junction followed,
// in the spelling the system keeps; nullopt where nothing is there.
std::optional<std::string> ResolvedPath(const std::string& path);
// Whether a path names a link itself (a symbolic link, a junction), whether or not it leads anywhere.
bool IsLink(const std::string& path);
// Where a link leads, as it is written in the link; nullopt for anything else, or a link the system
// cannot read.
std::optional<std::string> LinkTarget(const std::string& path);
// Whether two names of entries in one folder name the same entry: letter case ignored where the system
// ignores it.
bool SameName(std::string_view a, std::string_view b);

// Delimited-field reading of one line: leading blanks are skipped; a number ends at the first blank,
// comma or line end; a text ends at a comma or the line end.
class FieldReader {
public:
    explicit FieldReader(std::string_view line) : line(line) {}

    // The next field as a whole number, or nullopt when it is not one (it is consumed either way).
    std::optional<long> ReadNumber();
    // The next field as text, blanks at both ends trimmed.
    std::string ReadText();
    bool AtEnd() const { return position >= line.size(); }

private:
    void SkipBlanks();

    std::string_view line;
    size_t position = 0;
};

// Blanks and tabs trimmed from both ends.
std::string_view Trim(std::string_view text);

}  // namespace pelorin

#pragma once

// What the operating-system halves of the file helpers share.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace pelorin::detail {

// Reads from a file's start to its end with readAt(buffer, count, offset), which returns the bytes
// read (0 at the end) or nullopt with the reason in its last argument. A file that is, or grows
// while read, past MAX_READ_BYTES is refused. Returns the reason on failure.
using ReadAt = std::function<std::optional<size_t>(char* buffer, size_t count, uint64_t offset, std::string& reason)>;
std::optional<std::string> ReadBounded(uint64_t expectedSize, const ReadAt& readAt, std::string& contents);

std::string TooLarge();

bool EndsWithLineEnd(const std::string& contents);

}  // namespace pelorin::detail

#pragma once

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "events_summary.h"
#include "system/files.h"

namespace pelorin::test {

// The rows of an events file as the summary reads them; a file missing or refused fails the test.
inline std::vector<EventRow> ReadRows(const std::string& path) {
    auto text = ReadWholeFile(path);
    if (!text) {
        ADD_FAILURE() << "no events file " << path;
        return {};
    }
    auto rows = ReadEvents(*text);
    if (auto* error = std::get_if<std::string>(&rows)) {
        ADD_FAILURE() << *error;
        return {};
    }
    return std::get<std::vector<EventRow>>(rows);
}

}  // namespace pelorin::test

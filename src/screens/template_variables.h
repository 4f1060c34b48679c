#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pelorin {

// The experiment's shared variables; they live as long as the run and are never saved.
struct TemplateVariables {
    static constexpr int16_t TOTAL_ORDER_CONDITIONS = 2;

    int16_t blockNumber = 0;
    int16_t orderCondition = 0;
    int16_t subjectId = 0;
    // Index 0 stays empty; the letter screens show the entry a draw from 1 to 3 names.
    std::array<std::string, 4> letters;
};

}  // namespace pelorin

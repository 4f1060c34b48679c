#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "registration_harness.h"

namespace pelorin::test {
namespace {

// Every case the fuzzer's corpus keeps, crashes it found included, holds the registration invariants.
TEST(FuzzCorpusTest, EveryKeptCaseHoldsTheInvariants) {
    size_t cases = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PELORIN_FUZZ_CORPUS)) {
        // The readers' corpora are in folders of their own.
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(fuzz::RunRegistrationCase(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "")
            << entry.path().filename();
        ++cases;
    }
    EXPECT_GT(cases, 0u);
}

}  // namespace
}  // namespace pelorin::test

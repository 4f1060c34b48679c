#include <gtest/gtest.h>

#include "system/system_facts.h"

namespace pelorin::test {
namespace {

// The system's name in every sidecar and check report comes from os-release as distributions write it:
// quoted or not, with escapes inside double quotes, CR LF where a hand saved it; no quote is kept.
TEST(SystemFactsTest, TheDistributionsNameIsReadWithoutItsQuotes) {
    const std::string debian = "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n";
    EXPECT_EQ(OsReleaseValue(debian, "PRETTY_NAME"), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(OsReleaseValue(debian, "ID"), "debian");
    EXPECT_EQ(OsReleaseValue("PRETTY_NAME='Arch Linux'\r\n", "PRETTY_NAME"), "Arch Linux");
    EXPECT_EQ(OsReleaseValue("PRETTY_NAME=\"Lab \\\"A\\\" build\"  \n", "PRETTY_NAME"), "Lab \"A\" build");
    EXPECT_EQ(OsReleaseValue("PRETTY_NAMES=x\nVERSION=12\n", "PRETTY_NAME"), "");
    EXPECT_EQ(OperatingSystemDescription().find('"'), std::string::npos) << OperatingSystemDescription();
}

}  // namespace
}  // namespace pelorin::test

#include <gtest/gtest.h>

#include "records/json.h"

namespace pelorin::test {
namespace {

// The dataset's files and the report's page write the lab's own text (names, instructions, column
// descriptions) as JSON strings: each must come back as the same text, and the page's must not end
// the script element that holds them.
TEST(JsonTest, LabTextIsQuotedSoThatItReadsBackAsWritten) {
    // Quotes and backslashes are escaped with a backslash, control characters as \u escapes.
    EXPECT_EQ(JsonString("say \"A\" \\ b"), R"("say \"A\" \\ b")");
    EXPECT_EQ(JsonString("line\nnext\ttab\x01\x1f"), R"("line\u000anext\u0009tab\u0001\u001f")");
    // UTF-8 and DEL pass through untouched.
    EXPECT_EQ(JsonString("\xE2\x80\x93 caf\xC3\xA9\x7f"), "\"\xE2\x80\x93 caf\xC3\xA9\x7f\"");
    EXPECT_EQ(JsonString(""), "\"\"");
    // A dataset file is no HTML: angle brackets and ampersands stay as the lab typed them.
    EXPECT_EQ(JsonString("<b> & </script>"), "\"<b> & </script>\"");
    // In the page, no text can close the script element or start an entity; the rest is escaped alike.
    EXPECT_EQ(ScriptJsonString("</script><b>&amp;"), R"("\u003c/script\u003e\u003cb\u003e\u0026amp;")");
    EXPECT_EQ(ScriptJsonString("say \"A\"\n\\"), R"("say \"A\"\u000a\\")");
}

}  // namespace
}  // namespace pelorin::test

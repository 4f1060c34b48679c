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

    // A lab's JSON may come from any program: Python's json.dump writes every character beyond ASCII as
    // a \u escape (a surrogate pair beyond the first plane), and what Pelorin writes reads back as written.
    auto read = [](std::string_view literal) {
        size_t at = 0;
        std::optional<std::string> text = ReadJsonString(literal, at);
        EXPECT_TRUE(!text || at == literal.size()) << literal;
        return text.value_or("(none)");
    };
    EXPECT_EQ(read(R"("Etude d\u00e9j\u00E0 vue")"), "Etude d\xC3\xA9j\xC3\xA0 vue");
    EXPECT_EQ(read(R"("\ud83d\ude00 \u20ac")"), "\xF0\x9F\x98\x80 \xE2\x82\xAC");
    // A surrogate without its partner is no character: the replacement character stands for it.
    EXPECT_EQ(read(R"("\ud83d x \ude00")"), "\xEF\xBF\xBD x \xEF\xBF\xBD");
    EXPECT_EQ(read(R"("\"A\" \/ \\ \b\f\n\r\t")"), "\"A\" / \\ \b\f\n\r\t");
    for (std::string text : {"say \"A\" \\ b", "line\nnext\ttab\x01\x1f", "caf\xC3\xA9 </script>&", ""}) {
        EXPECT_EQ(read(JsonString(text)), text);
        EXPECT_EQ(read(ScriptJsonString(text)), text);
    }
    // No literal, or one without its end.
    size_t at = 0;
    EXPECT_FALSE(ReadJsonString("abc", at));
    at = 0;
    EXPECT_FALSE(ReadJsonString("\"abc\\\"", at));
}

}  // namespace
}  // namespace pelorin::test

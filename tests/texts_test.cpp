// The table of texts: English as built in, values put in, translations taken over it.
#include <gtest/gtest.h>

#include <set>

#include "ui/texts.h"

namespace pelorin {
namespace {

TEST(TextsTest, EnglishAsBuiltInWithItsValues) {
    Texts texts;
    // The experiment's own words, spellings included.
    EXPECT_EQ(texts.Get("sequencer.continue"), "Conutinue?");
    EXPECT_EQ(texts.Get("greet.duplicate", {{"id", "12"}, {"path", "/lab/CurrentSubjects.txt"}}),
              "Sorry subject 12 allready exsists.\rLook in /lab/CurrentSubjects.txt to see current subjects.");
    // A value holding braces, or a name of its own, is put in as it stands and never read again.
    EXPECT_EQ(texts.Get("greet.cannot-write", {{"path", "C:\\{reason}\\x"}, {"reason", "Access is denied."}}),
              "Could not write C:\\{reason}\\x:\rAccess is denied.");
    // A name the caller gives no value for stays as written.
    EXPECT_EQ(texts.Get("greet.cannot-write", {{"path", "p"}}), "Could not write p:\r{reason}");
    // A key the table lacks is the program's fault, never an empty screen.
    EXPECT_THROW((void)texts.Get("greet.no-such-text"), std::logic_error);
}

TEST(TextsTest, KeysAreUniqueAndEveryTextIsTranslatable) {
    std::set<std::string_view> keys;
    for (const TextEntry& entry : TEXT_TABLE) {
        EXPECT_TRUE(keys.insert(entry.key).second) << entry.key;
        EXPECT_FALSE(entry.english.empty()) << entry.key;
    }
    Texts texts;
    EXPECT_EQ(texts.Missing().size(), std::size(TEXT_TABLE));
}

TEST(TextsTest, TranslationsOverEnglishAndOverEachOther) {
    Texts texts;
    std::vector<std::string> unknown =
        texts.Take({{"quit.question", "Wirklich beenden?"}, {"greet.order-only", "Nur Zahlen 1 bis {total}!"},
                    {"quit.questoin", "typo"}, {"box.yes", ""}});
    // A key the table does not know is named, and taken nowhere.
    EXPECT_EQ(unknown, std::vector<std::string>{"quit.questoin"});
    EXPECT_EQ(texts.Get("quit.question"), "Wirklich beenden?");
    EXPECT_EQ(texts.Get("greet.order-only", {{"total", "3"}}), "Nur Zahlen 1 bis 3!");
    // An empty translation is no translation: English stands, and the key is missing.
    EXPECT_EQ(texts.Get("box.yes"), "Yes");
    std::vector<std::string> missing = texts.Missing();
    EXPECT_EQ(missing.size(), std::size(TEXT_TABLE) - 2);
    EXPECT_NE(std::find(missing.begin(), missing.end(), "box.yes"), missing.end());
    // A later file (a lab's) overrides one text and keeps the others.
    texts.Take({{"quit.question", "Aufhören?"}});
    EXPECT_EQ(texts.Get("quit.question"), "Aufhören?");
    EXPECT_EQ(texts.Get("greet.order-only", {{"total", "3"}}), "Nur Zahlen 1 bis 3!");
}

}  // namespace
}  // namespace pelorin

// The table of texts: English as built in, values put in, translations taken over it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "system/files.h"
#include "ui/texts.h"
#include "ui/translations.h"

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

// As Poedit saves a file: a header entry with its fields, references and flags, a fuzzy guess, long
// texts wrapped into several strings, escapes, an obsolete entry at the end; CR LF and a byte order mark.
constexpr const char* POEDIT_FILE =
    "\xEF\xBB\xBF# German translation of Pelorin.\r\n"
    "# Copyright (C) 2026 A Lab\r\n"
    "#\r\n"
    "msgid \"\"\r\n"
    "msgstr \"\"\r\n"
    "\"Project-Id-Version: Pelorin\\n\"\r\n"
    "\"PO-Revision-Date: 2026-12-01 10:00+0100\\n\"\r\n"
    "\"Last-Translator: A Translator <a@lab.example>\\n\"\r\n"
    "\"Language-Team: \\n\"\r\n"
    "\"Language: de_AT\\n\"\r\n"
    "\"MIME-Version: 1.0\\n\"\r\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\r\n"
    "\"Plural-Forms: nplurals=2; plural=(n != 1);\\n\"\r\n"
    "\"X-Generator: Poedit 3.4\\n\"\r\n"
    "\r\n"
    "#. The quit question\r\n"
    "#: src/screens/blanke.cpp:28\r\n"
    "msgctxt \"quit.question\"\r\n"
    "msgid \"Do you really want to quit?\"\r\n"
    "msgstr \"Wirklich \\\"beenden\\\"?\"\r\n"
    "\r\n"
    "#, fuzzy\r\n"
    "#| msgid \"Quit\"\r\n"
    "msgctxt \"sequencer.quit\"\r\n"
    "msgid \"Quit\"\r\n"
    "msgstr \"Raus\"\r\n"
    "\r\n"
    "#, c-format\r\n"
    "msgctxt \"greet.duplicate\"\r\n"
    "msgid \"\"\r\n"
    "\"Sorry subject {id} allready exsists.\\n\"\r\n"
    "\"Look in {path} to see current subjects.\"\r\n"
    "msgstr \"\"\r\n"
    "\"VP {id} gibt es schon.\\n\"\r\n"
    "\"Siehe {path}\\t(Liste)\\101\\x42\"\r\n"
    "\r\n"
    "msgctxt \"box.yes\"\r\n"
    "msgid \"Yes\"\r\n"
    "msgstr \"\"\r\n"
    "\r\n"
    "msgid \"one file\"\r\n"
    "msgid_plural \"%d files\"\r\n"
    "msgstr[0] \"eine Datei\"\r\n"
    "msgstr[1] \"%d Dateien\"\r\n"
    "\r\n"
    "#~ msgctxt \"box.no\"\r\n"
    "#~ msgid \"No\"\r\n"
    "#~ msgstr \"Nee\"\r\n";

TEST(PoFileTest, ReadsWhatTranslatorsToolsSave) {
    std::string error;
    PoFile file = ReadPo(POEDIT_FILE, error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(file.language, "de_AT");
    // The header, the fuzzy guess, the untranslated entry, the plural and the obsolete entry are no texts.
    EXPECT_EQ(file.translations, (std::map<std::string, std::string>{
                                     {"quit.question", "Wirklich \"beenden\"?"},
                                     {"greet.duplicate", "VP {id} gibt es schon.\nSiehe {path}\t(Liste)AB"}}));
    EXPECT_TRUE(file.unmatched.empty());

    // Made by hand: no header, no msgctxt (found by its English, a line break in either form), CR alone.
    PoFile hand = ReadPo("# ours\rmsgid \"Conutinue?\"\rmsgstr \"Weiter?\"\r\rmsgid \"Sorry subject {id} allready "
                         "exsists.\\nLook in {path} to see current subjects.\"\rmsgstr \"Schon da: {id}\"\r\r"
                         "msgid \"Contiune\"\rmsgstr \"Weiter\"",
                         error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(hand.translations, (std::map<std::string, std::string>{{"sequencer.continue", "Weiter?"},
                                                                     {"greet.duplicate", "Schon da: {id}"}}));
    // An English text the program does not have is said, not guessed at.
    EXPECT_EQ(hand.unmatched, std::vector<std::string>{"Contiune"});
}

TEST(PoFileTest, MalformedFilesAreRefusedWithTheirLine) {
    // Each: a file, and the start of what is said of it.
    std::vector<std::pair<std::string, std::string>> cases = {
        {"msgid \"a\"\nmsgstr \"b", "line 2: a string must stand in double quotes"},
        {"msgctxt \"quit.question\"\nmsgstr \"x\"\n", "line 2: msgstr without its msgid"},
        {"msgid \"a\"\nmsgid \"b\"\n", "line 2: a second msgid before its msgstr"},
        {"\"stray\"\n", "line 1: a string that continues nothing"},
        {"msgid \"a\"\nmsgstr \"b\\q\"\n", "line 2: unknown escape \\q"},
        {"msgid \"a\"\nmsgstr \"say \"hi\"\"\n", "line 2: a double quote inside a string"},
        {"msgid \"a\"\nmsgstr \"b\"\nmsgtxt \"c\"\n", "line 3: \"msgtxt \"c\"\" is no .po line"},
        {"msgid \"a\"\n", "line 2: the file ends before the msgstr of the entry at line 1"},
    };
    for (const auto& [text, said] : cases) {
        std::string error;
        PoFile file = ReadPo(text, error);
        EXPECT_TRUE(error.starts_with(said)) << text << " said: " << error;
        EXPECT_TRUE(file.translations.empty()) << text;
    }
}

TEST(LanguageTest, ShippedTranslationsAreWholeAndKeepEveryValue) {
    std::set<std::string> shipped;
    for (const ShippedTranslation& translation : SHIPPED_TRANSLATIONS) {
        shipped.emplace(translation.language);
        LanguageTexts loaded = LoadLanguage(std::string(translation.language), "");
        EXPECT_TRUE(loaded.notes.empty()) << translation.language << ": " << loaded.notes.front();
        EXPECT_TRUE(loaded.texts.Missing().empty()) << translation.language << " lacks " << loaded.texts.Missing().front();
        // A translation that drops or misspells a {name} would show a subject ID or a path nowhere.
        std::regex name("\\{[a-z]+\\}");
        for (const TextEntry& entry : TEXT_TABLE) {
            std::string english(entry.english), text = loaded.texts.Get(entry.key);
            std::multiset<std::string> wanted, given;
            for (std::sregex_iterator at(english.begin(), english.end(), name), end; at != end; ++at) wanted.insert(at->str());
            for (std::sregex_iterator at(text.begin(), text.end(), name), end; at != end; ++at) given.insert(at->str());
            EXPECT_EQ(given, wanted) << translation.language << " " << entry.key;
        }
    }
    EXPECT_EQ(shipped, (std::set<std::string>{"de", "el", "es", "fr", "nl"}));
}

TEST(LanguageTest, ALabsFilesAddAndOverrideAndABrokenOneFallsBack) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "pelorin-language-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    auto save = [&](const std::string& name, const std::string& text) { std::ofstream(folder / name, std::ios::binary) << text; };
    // One text of a shipped language changed, under another letter case; a language added, as a Windows
    // editor's UTF-16 would not be, in UTF-8 with a byte order mark; and a broken French file.
    save("Pelorin-DE.po", "msgctxt \"quit.question\"\nmsgid \"\"\nmsgstr \"Aufhören?\"\n\nmsgctxt \"no.such\"\nmsgid \"\"\nmsgstr \"x\"\n");
    save("pelorin-pt_BR.po", "\xEF\xBB\xBFmsgid \"Do you really want to quit?\"\nmsgstr \"Quer mesmo sair?\"\n");
    save("pelorin-fr.po", "msgstr \"Quitter ?\"\n");
    std::string where = folder.string();

    EXPECT_EQ(LanguagesAtHand(where), (std::vector<std::string>{"de", "el", "en", "es", "fr", "nl", "pt-BR"}));
    LanguageTexts german = LoadLanguage("de", where);
    EXPECT_EQ(german.texts.Get("quit.question"), "Aufhören?");
    EXPECT_EQ(german.texts.Get("sequencer.quit"), "Beenden");
    ASSERT_EQ(german.notes.size(), 1u);
    EXPECT_NE(german.notes[0].find("msgctxt \"no.such\" names no text of Pelorin"), std::string::npos) << german.notes[0];

    LanguageTexts brazilian = LoadLanguage("pt-BR", where);
    EXPECT_EQ(brazilian.texts.Get("quit.question"), "Quer mesmo sair?");
    EXPECT_EQ(brazilian.texts.Get("sequencer.continue"), "Conutinue?");
    EXPECT_EQ(brazilian.texts.Missing().size(), std::size(TEXT_TABLE) - 1);

    // The broken file is named with its line; the shipped French stands.
    LanguageTexts french = LoadLanguage("fr", where);
    ASSERT_EQ(french.notes.size(), 1u);
    EXPECT_NE(french.notes[0].find("pelorin-fr.po: line 1: msgstr without its msgid; its texts are not used"),
              std::string::npos) << french.notes[0];
    EXPECT_EQ(french.texts.Get("sequencer.quit"), "Quitter");
    std::filesystem::remove_all(folder);

    // Tags as BCP 47 writes them; what is none is refused.
    EXPECT_EQ(LanguageTag("PT_br"), "pt-BR");
    EXPECT_EQ(LanguageTag("sr-latn-rs"), "sr-Latn-RS");
    EXPECT_EQ(LanguageTag("de"), "de");
    EXPECT_EQ(LanguageTag("d"), "");
    EXPECT_EQ(LanguageTag("de-"), "");
    EXPECT_EQ(LanguageTag("../x"), "");
}

}  // namespace
}  // namespace pelorin

#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/texts.h"

namespace pelorin {

// A translation as a gettext .po file holds it, the way Poedit, Weblate and a text editor save one:
// each entry's msgctxt is the key of its text (an entry without one is found by its English msgid),
// its msgstr the translation. Comments, the header entry, fuzzy and obsolete entries are not texts.
struct PoFile {
    // By key: what the file translates, empty translations left out.
    std::map<std::string, std::string> translations;
    // The header's Language, as the file says it (may be empty).
    std::string language;
    // Entries whose English names no text of the table, by their first line.
    std::vector<std::string> unmatched;
};

// Reads a .po file's text (UTF-8). Empty error: read; otherwise what is wrong, with the line.
PoFile ReadPo(std::string_view text, std::string& error);

// The translations built into the program: a language's BCP 47 tag and its .po file.
struct ShippedTranslation {
    std::string_view language;
    std::string_view po;
};
extern const std::vector<ShippedTranslation> SHIPPED_TRANSLATIONS;

// The name of a lab's own translation of a language, beside instruction.txt: pelorin-<tag>.po.
std::string LabTranslationName(std::string_view language);

// The languages a run in the folder can be given: English, the shipped ones and those of the lab's
// files, each once, as BCP 47 tags (de, pt-BR).
std::vector<std::string> LanguagesAtHand(const std::string& folder);
// "de, el, en, ..." for a refusal and the help.
std::string LanguageList(const std::vector<std::string>& languages);
// The tag as BCP 47 writes it (pt_br -> pt-BR), or empty when it is none.
std::string LanguageTag(std::string_view given);

// The texts of a language: English under the shipped translation under the lab's file. notes says
// what a run should be told: a file it could not read (named; its texts are not used), keys a file
// names that the table lacks.
struct LanguageTexts {
    Texts texts;
    std::vector<std::string> notes;
};
LanguageTexts LoadLanguage(const std::string& language, const std::string& folder);

}  // namespace pelorin

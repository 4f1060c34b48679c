#pragma once

#include <cstdint>
#include <string_view>

namespace pelorin {

class HeadlessHost;

// How a simulated person hears, sees and answers on the test host: read from the trace entries a person
// would notice, answered with the task screens' keys. The program's simulated subjects and the tests'
// subject share it, so both read a tone or a letter the same way.

// The number 0 to 2 of the tone an entry starts to play (200, 500, 800 Hz), or -1 for any other entry.
int ToneStarted(std::string_view what);
// The letter A to C that an entry shows on a control or changes it to (`change X.Label1 "B"`), or 0
// for any other text.
char LetterShown(std::string_view what);
// A key pressed and released at the time: an answer is TONE_KEYS[tone] or LETTER_KEYS[letter - 'A'].
void PressKey(HeadlessHost& host, int64_t atMillis, char key);

}  // namespace pelorin

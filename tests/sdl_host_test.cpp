#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "hosts/headless/headless_host.h"
#include "hosts/sdl/geometry.h"
#include "hosts/sdl/key_arrival.h"
#include "hosts/sdl/key_translator.h"
#include "hosts/sdl/message_box.h"
#include "hosts/sdl/system_display.h"
#include "hosts/sdl/text.h"
#include "hosts/sdl/text_layout.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin::sdl {
namespace {

// Events as "down CODE SHIFT" / "press CODE", with " repeat" when marked so.
std::vector<std::string> Describe(const std::vector<InputEvent>& events) {
    std::vector<std::string> described;
    for (const InputEvent& event : events) {
        std::string text = event.kind == InputEvent::Kind::KeyDown
                               ? "down " + std::to_string(event.keyCode) + " " + std::to_string(event.shift)
                               : "press " + std::to_string(event.keyAscii);
        described.push_back(event.repeat ? text + " repeat" : text);
    }
    return described;
}

using Lines = std::vector<std::string>;

SDL_KeyboardEvent Key(SDL_Keycode key, Uint16 mod = KMOD_NONE, bool repeat = false) {
    SDL_KeyboardEvent event{};
    event.type = SDL_KEYDOWN;
    event.keysym.sym = key;
    event.keysym.mod = mod;
    event.repeat = repeat ? 1 : 0;
    return event;
}

SDL_KeyboardEvent Held(SDL_Keycode key) { return Key(key, KMOD_NONE, true); }

TEST(KeyTranslatorTest, KeysThatTypeNoTextBringTheirCharacterCode) {
    KeyTranslator keys;
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_RETURN))), Lines({"down 13 0", "press 13"}));
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_KP_ENTER))), Lines({"down 13 0", "press 13"}));
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_ESCAPE))), Lines({"down 27 0", "press 27"}));
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_BACKSPACE))), Lines({"down 8 0", "press 8"}));
    // Tab moves the focus and types nothing; with Ctrl it is the registration's quick fill.
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_TAB))), Lines({"down 9 0"}));
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_TAB, KMOD_LCTRL))), Lines({"down 9 2"}));
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_TAB, KMOD_RSHIFT | KMOD_LALT))), Lines({"down 9 5"}));
    // A letter's key-down has the capital's code; its character comes with the text typed for it.
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_x))), Lines({"down 88 0"}));
    EXPECT_EQ(Describe(keys.Text("x")), Lines({"press 120"}));
    EXPECT_EQ(Describe(keys.Text("`")), Lines({"press 96"}));
    // Keys whose codes differ from their characters: the back quote, the arrows.
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_BACKQUOTE))), Lines({"down 192 0"}));
    EXPECT_EQ(Describe(keys.KeyDown(Key(SDLK_DOWN))), Lines({"down 40 0"}));
    // Characters beyond one byte have no code; Latin-1 ones keep theirs.
    EXPECT_EQ(Describe(keys.Text("\xC3\xA9\xE2\x82\xAC")), Lines({"press 233"}));
    // A key the screens have no code for still types its text.
    EXPECT_TRUE(keys.KeyDown(Key(SDLK_F13)).empty());
    EXPECT_EQ(Describe(keys.Text("a")), Lines({"press 97"}));
}

TEST(KeyTranslatorTest, TypedTextIsRepeatedWhenItsKeyDownWas) {
    KeyTranslator keys;
    keys.KeyDown(Key(SDLK_x));
    EXPECT_EQ(Describe(keys.Text("x")), Lines({"press 120"}));
    EXPECT_EQ(Describe(keys.KeyDown(Held(SDLK_x))), Lines({"down 88 0 repeat"}));
    EXPECT_EQ(Describe(keys.Text("x")), Lines({"press 120 repeat"}));
    EXPECT_EQ(Describe(keys.KeyDown(Held(SDLK_BACKSPACE))), Lines({"down 8 0 repeat", "press 8 repeat"}));
    // A fresh press ends the repeat.
    keys.KeyDown(Key(SDLK_s));
    EXPECT_EQ(Describe(keys.Text("s")), Lines({"press 115"}));
}

TEST(KeyTranslatorTest, KeysTakenByAMessageBoxReachNoScreen) {
    KeyTranslator keys;
    // "y" answered the box: the text typed by that key-down is not for the screen beneath.
    keys.TakenByMessageBox(Key(SDLK_y));
    EXPECT_TRUE(keys.Text("y").empty());
    // Enter answered it and is still held: its repeats neither press nor type.
    keys.TakenByMessageBox(Key(SDLK_RETURN));
    EXPECT_TRUE(keys.KeyDown(Held(SDLK_RETURN)).empty());
    EXPECT_TRUE(keys.KeyDown(Held(SDLK_RETURN)).empty());
    // Another key held meanwhile repeats as usual, and so does Enter once pressed afresh.
    EXPECT_EQ(Describe(keys.KeyDown(Held(SDLK_x))), Lines({"down 88 0 repeat"}));
    EXPECT_EQ(Describe(keys.Text("x")), Lines({"press 120 repeat"}));
    keys.KeyDown(Key(SDLK_RETURN));
    EXPECT_EQ(Describe(keys.KeyDown(Held(SDLK_RETURN))), Lines({"down 13 0 repeat", "press 13 repeat"}));
}

// Every character one pixel wide.
int OnePixel(char32_t) { return 1; }

// A key read late takes the end of the span the X server's stamp of its press allows: never after its
// read, never before it can have reached the server, and only where the stamp is of this machine's clock.
TEST(KeyArrivalTest, AKeyReadLateTakesTheEndOfTheServersStamp) {
    constexpr int64_t MS = 1'000'000;
    const int64_t read = 5'000'000 * MS + 700'000;  // 5000 s and 0.7 ms on the monotonic clock
    const auto millis = [](int64_t nanos) { return static_cast<uint32_t>(nanos / 1'000'000); };
    // Read within its stamp's span: the read stands; 0.7 ms past it: the span's end.
    EXPECT_EQ(KeyArrivalNanos(read, millis(read), MS), read);
    EXPECT_EQ(KeyArrivalNanos(read, millis(read) - 1, 2 * MS), read);
    EXPECT_EQ(KeyArrivalNanos(read, millis(read) - 1, MS), 5'000'000 * MS);
    // Read 6 ms after the server had it, by a server whose clock ticks a millisecond behind.
    EXPECT_EQ(KeyArrivalNanos(read, millis(read) - 6, 2 * MS), (5'000'000 - 4) * MS);
    // The server's milliseconds wrap at 2^32 (after 49.7 days) while the clock runs on.
    const int64_t late = (int64_t{1} << 32) * MS + 3 * MS + 100;
    EXPECT_EQ(KeyArrivalNanos(late, static_cast<uint32_t>(-2), MS), late - 5 * MS - 100 + MS);
    // A stamp after the read, or seconds before it, is another machine's clock: the read stands.
    EXPECT_EQ(KeyArrivalNanos(read, millis(read) + 3, MS), read);
    EXPECT_EQ(KeyArrivalNanos(read, millis(read) - 86'400'000, MS), read);
}

Lines Wrapped(const std::string& text, int width) {
    WrappedText wrapped(text, width, OnePixel);
    wrapped.EnsureLines(1000);
    Lines lines;
    for (size_t i = 0; i < wrapped.LineCount(); ++i) lines.emplace_back(wrapped.Line(i));
    return lines;
}

TEST(WrappedTextTest, BreaksAtBlanksOrInsideWordsTooWide) {
    EXPECT_EQ(Wrapped("aaa bbb ccc", 7), Lines({"aaa bbb", "ccc"}));
    EXPECT_EQ(Wrapped("aaa bbb ccc", 100), Lines({"aaa bbb ccc"}));
    EXPECT_EQ(Wrapped("abcdefghij", 4), Lines({"abcd", "efgh", "ij"}));
    EXPECT_EQ(Wrapped("ab abcdefgh", 4), Lines({"ab", "abcd", "efgh"}));
    // Blanks at a break hang past the edge and start no line.
    EXPECT_EQ(Wrapped("aaa     bbb", 3), Lines({"aaa", "bbb"}));
    // Line ends and empty lines stay.
    EXPECT_EQ(Wrapped("a\n\nb\n", 10), Lines({"a", "", "b"}));
    // Indentation at a line's start is kept.
    EXPECT_EQ(Wrapped("  ab", 10), Lines({"  ab"}));
    // Multi-byte characters are never cut.
    EXPECT_EQ(Wrapped("\xC3\xA9\xC3\xA9\xC3\xA9", 2), Lines({"\xC3\xA9\xC3\xA9", "\xC3\xA9"}));
    // A box narrower than one character still shows one character a line.
    EXPECT_EQ(Wrapped("abc", 0), Lines({"a", "b", "c"}));
}

TEST(WrappedTextTest, WrapsOnlyTheLinesAskedFor) {
    std::string huge(10'000'000, 'x');
    int measured = 0;
    WrappedText wrapped(huge, 100, [&measured](char32_t) {
        ++measured;
        return 1;
    });
    wrapped.EnsureLines(20);
    EXPECT_EQ(wrapped.LineCount(), 20u);
    EXPECT_FALSE(wrapped.Complete());
    EXPECT_LT(measured, 3000);
    EXPECT_NEAR(wrapped.Position(10), 1000.0 / 10'000'000, 1e-12);

    WrappedText small("one two", 3, OnePixel);
    small.EnsureLines(100);
    EXPECT_TRUE(small.Complete());
    EXPECT_EQ(small.LineCount(), 2u);
}

TEST(ModalMessageBoxTest, QuitQuestionAnswers) {
    auto Ask = [] { return ModalMessageBox("Do you really want to quit?", MB_QUESTION_YES_NO, "Pelorin"); };
    ModalMessageBox box = Ask();
    EXPECT_EQ(box.GetIcon(), ModalMessageBox::Icon::Question);
    ASSERT_EQ(box.Choices().size(), 2u);
    EXPECT_EQ(box.KeyDown(KEY_RETURN, 0, false), ID_YES);
    EXPECT_EQ(Ask().KeyDown(KEY_SPACE, 0, false), ID_YES);
    EXPECT_EQ(Ask().KeyDown(KEY_ESCAPE, 0, false), ID_NO);
    EXPECT_EQ(Ask().KeyDown('Y', 0, false), ID_YES);
    EXPECT_EQ(Ask().KeyDown('N', 0, false), ID_NO);
    EXPECT_EQ(Ask().Click(1), ID_NO);
    // Tab moves to No, Shift+Tab back to Yes; arrows move too.
    box = Ask();
    EXPECT_EQ(box.KeyDown(KEY_TAB, 0, false), 0);
    EXPECT_EQ(box.KeyDown(KEY_RETURN, 0, false), ID_NO);
    box = Ask();
    box.KeyDown(KEY_TAB, 0, false);
    box.KeyDown(KEY_TAB, SHIFT_MASK, false);
    EXPECT_EQ(box.KeyDown(KEY_RETURN, 0, false), ID_YES);
    box = Ask();
    box.KeyDown(VK_RIGHT, 0, false);
    EXPECT_EQ(box.KeyDown(KEY_RETURN, 0, false), ID_NO);
    // A held key never answers: not the Esc that brought the question, nor any other.
    box = Ask();
    for (int key : {int{KEY_ESCAPE}, int{KEY_RETURN}, int{'Y'}, int{'N'}, int{KEY_SPACE}}) EXPECT_EQ(box.KeyDown(key, 0, true), 0);
    // Keys of no meaning leave it up.
    EXPECT_EQ(box.KeyDown('X', 0, false), 0);
}

TEST(ModalMessageBoxTest, OkBoxesAndTheirLines) {
    ModalMessageBox refusal("Please enter numbers only!", MB_EXCLAMATION, "ERROR");
    EXPECT_EQ(refusal.GetIcon(), ModalMessageBox::Icon::Exclamation);
    ASSERT_EQ(refusal.Choices().size(), 1u);
    EXPECT_EQ(refusal.Choices()[0].caption, "OK");
    EXPECT_EQ(refusal.KeyDown('N', 0, false), 0);
    EXPECT_EQ(refusal.KeyDown('Y', 0, false), 0);
    EXPECT_EQ(refusal.KeyDown(KEY_ESCAPE, 0, false), ID_OK);

    // The duplicate message breaks its line with a lone CR.
    ModalMessageBox duplicate("Sorry subject 12 allready exsists.\rLook in /exp/CurrentSubjects to see current subjects.",
                              MB_EXCLAMATION, "ERROR");
    EXPECT_EQ(duplicate.Lines(), Lines({"Sorry subject 12 allready exsists.",
                                        "Look in /exp/CurrentSubjects to see current subjects."}));
    ModalMessageBox plain("one\r\ntwo\nthree", MB_OK_ONLY, "ERROR");
    EXPECT_EQ(plain.GetIcon(), ModalMessageBox::Icon::None);
    EXPECT_EQ(plain.Lines(), Lines({"one", "two", "three"}));
    EXPECT_EQ(plain.KeyDown(KEY_RETURN, 0, false), ID_OK);
}

TEST(GeometryTest, ABarOfAnyHeightStandsOnTheBottomRow) {
    for (float screenHeight : {11520.0f, 16200.0f, 11523.0f}) {
        int bottom = ToPixels(screenHeight, TWIPS_PER_PIXEL);
        for (float height = 0; height < 2 * screenHeight; height += 30) {
            PixelRect bar = ToPixels(100, screenHeight - height, 1215, height, TWIPS_PER_PIXEL);
            EXPECT_EQ(bar.y + bar.h, bottom) << screenHeight << " " << height;
        }
    }
    // A third of a 768-pixel display; taller than the display, it starts above the top.
    PixelRect third = ToPixels(0, 11520 - 3840, 1215, 3840, TWIPS_PER_PIXEL);
    EXPECT_EQ(third.y, 512);
    EXPECT_EQ(third.h, 256);
    EXPECT_EQ(ToPixels(0, -3000, 1215, 14520, TWIPS_PER_PIXEL).y, -200);
    // A runaway height stays a number.
    EXPECT_LT(ToPixels(0, -1e30f, 10, 1e30f, TWIPS_PER_PIXEL).y, 0);
}

// Screens keep their physical size on a scaled display: twips to a pixel follow the display's DPI (15
// at 96, 10 at 144 as Windows' 150 % asks), for the display the system lists and the fonts the host
// draws with alike, so a bar is 1.5 times the pixels at 144 dpi.
TEST(GeometryTest, TwipsPerPixelFollowTheDisplaysDpi) {
    for (auto [dpi, twips, border] : {std::tuple{96.0f, 15.0f, 4}, {120.0f, 12.0f, 5}, {144.0f, 10.0f, 6}}) {
        DisplayInfo display;
        display.dpi = dpi;
        EXPECT_FLOAT_EQ(display.TwipsPerPixel(), twips) << dpi;
        EXPECT_EQ(display.ScalingPercent(), static_cast<int>(dpi * 100 / 96)) << dpi;
        Fonts fonts(dpi);
        EXPECT_FLOAT_EQ(fonts.TwipsPerPixel(), twips) << dpi;
        EXPECT_EQ(fonts.Scaled(4), border) << dpi;
    }
    Fonts at96(96), at144(144);
    EXPECT_EQ(ToPixels(0, 0, 1215, 3840, at144.TwipsPerPixel()).w, 122);
    EXPECT_EQ(ToPixels(0, 0, 1215, 3840, at96.TwipsPerPixel()).w, 81);
}

// A monitor's EDID gives the sidecar's ScreenSize: the detailed timing's millimetres, else the basic
// block's centimetres; a projector's zeros and bytes that are no EDID give none.
TEST(GeometryTest, TheMonitorsSizeIsReadFromItsEdid) {
    std::string edid(128, '\0');
    edid.replace(0, 8, std::string("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8));
    edid[21] = 60;
    edid[22] = 34;
    auto size = [](const std::string& bytes) {
        std::optional<PictureSize> read = EdidPictureSize(bytes);
        return read ? std::to_string(int(read->widthMm)) + "x" + std::to_string(int(read->heightMm)) : "none";
    };
    EXPECT_EQ(size(edid), "600x340");
    // 597 x 336 mm: the low eight bits of each, then their high four bits in one byte.
    edid[54] = 0x56;
    edid[55] = 0x5e;
    edid[66] = 0x55;
    edid[67] = 0x50;
    edid[68] = 0x21;
    EXPECT_EQ(size(edid), "597x336");
    edid[66] = edid[67] = edid[68] = edid[21] = edid[22] = 0;
    EXPECT_EQ(size(edid), "none");
    EXPECT_EQ(size(edid.substr(0, 127)), "none");
    EXPECT_EQ(size(std::string(128, '\xFF')), "none");
}

class Layered : public Screen {
public:
    explicit Layered(Runtime& runtime) : Screen(runtime, "Layered", 15360, 11520) {}
    Button Command1{*this, "Command1", -1, "Go", 1500, 1500, 1500, 600, Font{}, nullptr};
    // A label drawn over the button is under it for clicks, as for drawing.
    Label Label1{*this, "Label1", "over", 1500, 1500, 3000, 600};
    Button Command2{*this, "Command2", -1, "Under", 6300, 3300, 1500, 600, Font{}, nullptr};
    Frame Frame1{*this, "Frame1", 6000, 3000, 3000, 3000};
    Label Label2{*this, "Label2", "in", 300, 1500, 1500, 600, Font{}, Alignment::Left, &Frame1};
    TextBox Text1{*this, "Text1", 1500, 6000, 1500, 600, Font{}, 3};
    // Later windowed controls lie over earlier ones.
    TextView RichTextBox1{*this, "RichTextBox1", 1500, 6000, 750, 600, Font{}, BUTTON_FACE};
    Pane OLE1{*this, "OLE1", 12000, 0, 3000, 3000};
    Shape Shape1{*this, "Shape1", Color{255, 0, 0}, 12000, 6000, 1200, 3000};
};

TEST(GeometryTest, ClicksHitTheTopmostShownBoxOrButton) {
    HeadlessHost host(1024, 768, "/tmp");
    Runtime runtime(host);
    Layered screen(runtime);
    auto hit = [&screen](int x, int y, float twipsPerPixel = TWIPS_PER_PIXEL) {
        Control* control = HitTest(screen, x, y, twipsPerPixel);
        return control != nullptr ? control->Name() : std::string("-");
    };
    EXPECT_EQ(hit(150, 120), "Command1");
    EXPECT_EQ(hit(99, 100), "-");
    // At 144 dpi (10 twips a pixel) the button covers one and a half times the pixels.
    EXPECT_EQ(hit(250, 180), "-");
    EXPECT_EQ(hit(250, 180, 10.0f), "Command1");
    EXPECT_EQ(hit(149, 150, 10.0f), "-");
    EXPECT_EQ(hit(250, 120), "-");
    // A frame takes the clicks on it for nothing: on its labels, and on a button it covers.
    EXPECT_EQ(hit(450, 230), "-");
    EXPECT_EQ(hit(420, 310), "-");
    EXPECT_EQ(hit(120, 420), "RichTextBox1");
    EXPECT_EQ(hit(180, 420), "Text1");
    // Panes and shapes take no clicks; hidden controls, and children of hidden frames, none at all.
    EXPECT_EQ(hit(850, 50), "-");
    EXPECT_EQ(hit(850, 450), "-");
    screen.RichTextBox1.SetVisible(false);
    EXPECT_EQ(hit(120, 420), "Text1");
    screen.Frame1.SetVisible(false);
    EXPECT_EQ(hit(450, 230), "Command2");
}

}  // namespace
}  // namespace pelorin::sdl

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hosts/headless/headless_host.h"
#include "hosts/sdl/canvas.h"
#include "hosts/sdl/message_box.h"
#include "hosts/sdl/painter.h"
#include "hosts/sdl/text_layout.h"
#include "screens/experiment.h"
#include "screens/my_debug.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin::sdl {
namespace {

// A screen with every kind of control the screens use, placed so that they overlap here and there.
class Board : public Screen {
public:
    explicit Board(Runtime& runtime) : Screen(runtime, "Board", 15360, 11520) {}
    Shape Shape1{*this, "Shape1", Color{255, 0, 0}, 5000, 7680, 1215, 3840};
    Shape Shape2{*this, "Shape2", Color{0, 0, 192}, 9000, 7680, 1215, 3840};
    Label Label1{*this, "Label1", "A", 6700, 5000, 1215, 1455, Font{48}, Alignment::Center};
    Label Label2{*this, "Label2", "Congralulation", 5000, 2000, 4215, 495, Font{18}, Alignment::Center};
    TextBox Text1{*this, "Text1", 1500, 1500, 1500, 450, Font{12}, 20};
    Button Command1{*this, "Command1", -1, "Start", 1500, 2400, 1200, 375, Font{}, nullptr};
    Frame Frame1{*this, "Frame1", 11000, 1000, 3000, 3000};
    Label Label3{*this, "Label3", "in a frame", 300, 300, 2400, 600, Font{12}, Alignment::Left, &Frame1};
    TextView RichTextBox1{*this, "RichTextBox1", 1000, 6000, 3500, 3000, Font{10}, Color{255, 255, 255}};
};

// One window's pixels, drawn by the host's painter on SDL's software renderer.
struct Window {
    Window(Fonts& fonts, TextViewLayouts& layouts, int width, int height)
        : surface(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_XRGB8888)),
          renderer(SDL_CreateSoftwareRenderer(surface.get())),
          canvas(*renderer, fonts),
          painter(canvas, layouts) {}

    bool SamePixels(const Window& other) const {
        SDL_RenderFlush(renderer.get());
        SDL_RenderFlush(other.renderer.get());
        for (int y = 0; y < surface->h; ++y) {
            const auto* row = static_cast<const char*>(surface->pixels) + y * surface->pitch;
            const auto* otherRow = static_cast<const char*>(other.surface->pixels) + y * other.surface->pitch;
            if (std::memcmp(row, otherRow, static_cast<size_t>(surface->w) * 4) != 0) {
                ADD_FAILURE() << "first difference on row " << y;
                return false;
            }
        }
        return true;
    }

    SurfacePtr surface;
    RendererPtr renderer;
    Canvas canvas;
    Painter painter;
};

class PartialDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(partial.canvas.CanPresentParts());
        Draw();
    }

    // Draws the next frame both ways, the full-screen board with the message box over it if one is
    // up, and the debug window in a window of its own; returns the share of the board redrawn.
    double Draw() {
        auto board = [this](Window& window) {
            return [this, &window] {
                window.painter.DrawScreen(screen, true);
                if (box) {
                    window.canvas.BeginItem(&*box);
                    box->Draw(window.canvas);
                }
            };
        };
        std::vector<SDL_Rect> rects = drawing.Draw(partial.canvas, false, board(partial));
        board(full)();
        auto debug = [this](Window& window) { return [this, &window] { window.painter.DrawScreen(debugWindow, false); }; };
        debugDrawing.Draw(partialDebug.canvas, false, debug(partialDebug));
        debug(fullDebug)();
        double area = 0;
        for (const SDL_Rect& rect : rects) area += double(rect.w) * rect.h;
        return area / (1024.0 * 768.0);
    }

    // Draws the next frame and checks that both ways drew the same pixels.
    void DrawnAlike(const std::string& change) {
        Draw();
        ExpectSame(change);
    }

    void ExpectSame(const std::string& change) {
        SCOPED_TRACE(change);
        EXPECT_TRUE(partial.SamePixels(full));
        EXPECT_TRUE(partialDebug.SamePixels(fullDebug));
    }

    TtfLibrary ttf;
    Fonts fonts;
    TextViewLayouts layouts{fonts};
    HeadlessHost host{1024, 768, "/tmp"};
    Experiment experiment{host};
    Board screen{experiment.runtime};
    MyDebug& debugWindow = experiment.myDebug();
    std::optional<ModalMessageBox> box;
    Window partial{fonts, layouts, 1024, 768};
    Window full{fonts, layouts, 1024, 768};
    Window partialDebug{fonts, layouts, 561, 106};
    Window fullDebug{fonts, layouts, 561, 106};
    PartialDrawing drawing;
    PartialDrawing debugDrawing;
};

TEST_F(PartialDrawingTest, EveryChangeRedrawnInPartEqualsAFullRedraw) {
    ExpectSame("first frame");
    // Bars: one grows by a growth tick's two pixels, the other falls by an answer.
    screen.Shape1.Move(5000, 7650, 1215, 3870);
    EXPECT_LT(Draw(), 0.01) << "a growth tick redraws only the rows the bar gained";
    ExpectSame("bar grown");
    screen.Shape2.Move(9000, 8160, 1215, 3360);
    DrawnAlike("bar fallen");
    // Labels: a wider letter, a narrower one, a back colour, a label hidden and shown again.
    screen.Label1.SetCaption("W");
    DrawnAlike("letter W");
    screen.Label1.SetCaption("i");
    DrawnAlike("letter i");
    screen.Label2.SetBackColor(Color{255, 255, 0});
    DrawnAlike("back colour");
    screen.Label2.SetVisible(false);
    DrawnAlike("label hidden");
    screen.Label3.SetCaption("a longer caption that runs on");
    DrawnAlike("label in a frame");
    // Text boxes: typing, then the focus moving on to the button and back.
    screen.Text1.SetText("12345");
    DrawnAlike("typed");
    screen.Text1.SetText(std::string(40, 'W'));
    DrawnAlike("typed past the box's end");
    experiment.runtime.SetFocus(screen.Command1);
    DrawnAlike("focus on the button");
    experiment.runtime.SetFocus(screen.Text1);
    DrawnAlike("focus back");
    // A text view filled and scrolled; a frame moved over the bars.
    std::string text;
    for (int line = 0; line < 60; ++line) text += "line " + std::to_string(line) + " of the instructions\n";
    screen.RichTextBox1.SetText(text);
    DrawnAlike("text view filled");
    layouts.Scroll(screen.RichTextBox1, 7);
    DrawnAlike("text view scrolled");
    screen.Frame1.Move(8000, 6500, 3000, 3000);
    DrawnAlike("frame moved");
    // The message box: shown, its focus moved, gone again.
    box.emplace("Do you really want to quit?", MB_QUESTION_YES_NO, "Pelorin");
    box->LayOut(partial.canvas, 1024, 768);
    DrawnAlike("box shown");
    box->KeyDown(KEY_TAB, 0, false);
    DrawnAlike("box focus moved");
    box.reset();
    DrawnAlike("box gone");
    // The debug window's pane hidden and shown.
    debugWindow.OLE1.SetVisible(false);
    DrawnAlike("debug pane hidden");
    debugWindow.OLE1.SetVisible(true);
    DrawnAlike("debug pane shown");
    // Nothing changed: nothing to draw.
    EXPECT_EQ(Draw(), 0);
}

}  // namespace
}  // namespace pelorin::sdl

// Test driver of the real host: a screen with every kind of control, for looking at what the host
// draws and for the real-window test of keys and message boxes. It prints every input event the host
// delivers.
//
//   host_driver [TEXT_FILE]
//
// Keys: Esc asks to quit, ` toggles a bordered window, g starts the bars growing and a 3-second timer
// that prints "time up", letters in the box bring a refusal message box.
#include <cstdio>
#include <iostream>

#include "hosts/sdl/sdl_host.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"
#include "ui/timer.h"

namespace {

using namespace pelorin;

class LoggingHost : public sdl::SdlHost {
public:
    std::optional<InputEvent> PollInput() override {
        auto event = SdlHost::PollInput();
        if (event) Log(*event);
        return event;
    }

    int ShowMessageBox(const std::string& prompt, int style, const std::string& title) override {
        int answer = SdlHost::ShowMessageBox(prompt, style, title);
        std::printf("answer %d\n", answer);
        std::fflush(stdout);
        return answer;
    }

private:
    static void Log(const InputEvent& event) {
        const char* target = event.target != nullptr ? event.target->Name().c_str() : "-";
        switch (event.kind) {
        case InputEvent::Kind::KeyPress:
            std::printf("press %d%s %s\n", event.keyAscii, event.repeat ? " repeat" : "", target);
            break;
        case InputEvent::Kind::KeyDown:
            std::printf("down %d %d%s %s\n", event.keyCode, event.shift, event.repeat ? " repeat" : "", target);
            break;
        case InputEvent::Kind::Click:
            std::printf("click %s\n", event.control->Name().c_str());
            break;
        case InputEvent::Kind::Close:
            std::printf("close %s\n", target);
            break;
        case InputEvent::Kind::Resize:
            std::printf("resize %s %g %g\n", target, static_cast<double>(event.width), static_cast<double>(event.height));
            break;
        }
        std::fflush(stdout);
    }
};

class DebugWindow : public Screen {
public:
    explicit DebugWindow(Runtime& runtime) : Screen(runtime, "myDebug", 8445, 1590, true) {
        SetCaption("My Debug Window");
    }
    void Form_Load() override { runtime.host.SetTopMost(*this); }
    void Form_Resize() override {
        OLE1.Move(0, 0, Width(), Height());
        Move(0, 0, runtime.DisplayWidth(), Height());
    }
    void Form_KeyPress(int16_t& KeyAscii) override {
        if (KeyAscii == KEY_GRAVE) SetVisible(!Visible());
    }

    Pane OLE1{*this, "OLE1", 0, 0, 8415, 1575};
};

class DriverScreen : public Screen {
public:
    DriverScreen(Runtime& runtime, DebugWindow& debug, std::string textFile)
        : Screen(runtime, "Driver", 12300, 8835), debug(debug), textFile(std::move(textFile)) {}

    void Form_Load() override {
        SetKeyPreview(true);
        Welcome.SetBackColor(MENU_COLOR);
        Text1.SetTabIndex(1);
        Command1.SetTabIndex(2);
        Text1.onKeyPress = [this](int16_t& KeyAscii) {
            if (KeyAscii == KEY_BACK || (KeyAscii >= '0' && KeyAscii <= '9')) return;
            KeyAscii = 0;
            runtime.MsgBox("Please enter numbers only!", MB_EXCLAMATION, "ERROR");
        };
        Text1.onValidate = [this](bool& Cancel) {
            if (Text1.Text().empty()) {
                runtime.MsgBox("Please insert subject id!", MB_OK_ONLY, "ERROR");
                Cancel = true;
            }
        };
        if (!textFile.empty()) RichTextBox1.LoadFile(textFile);
    }

    void Form_Resize() override {
        float height = Height();
        Shape1.Move(Width() / 2 - 2430, height - Shape1.Height());
        Shape2.Move(Width() / 2 + 1215, height - Shape2.Height());
    }

    void Form_KeyPress(int16_t& KeyAscii) override {
        if (KeyAscii == KEY_ESCAPE) {
            KeyAscii = 0;
            if (runtime.MsgBox("Do you really want to quit?", MB_QUESTION_YES_NO) == ID_YES) runtime.End();
        } else if (KeyAscii == KEY_GRAVE) {
            KeyAscii = 0;
            debug.SetVisible(!debug.Visible());
        } else if (KeyAscii == 'g' && Text1.Text().empty()) {
            KeyAscii = 0;
            Timer1.SetInterval(35);
            Timer1.SetEnabled(true);
            Timer2.SetInterval(3000);
            Timer2.SetEnabled(true);
        }
    }

    Label Welcome{*this, "Welcome", "Welcome  please enter subject information:", 1200, 480, 10215, 735, Font{24, false},
                  Alignment::Center};
    Label Label3{*this, "Label3", "Subject ID", 480, 1440, 2055, 495, Font{18, true}, Alignment::Right};
    TextBox Text1{*this, "Text1", 2760, 1320, 1215, 615, Font{18, true}, 3};
    Button Command1{*this, "Command1", -1, "Start", 4440, 1380, 1215, 495, Font{8.25f, false},
                    [this] { runtime.MsgBox("Do you really want to quit?", MB_QUESTION_YES_NO); }};
    TextView RichTextBox1{*this, "RichTextBox1", 480, 2400, 6000, 3600, Font{13.5f, false}, BUTTON_FACE};
    Frame Frame1{*this, "Frame1", 6960, 2400, 3375, 2415};
    Label Label4{*this, "Label4", "Created by", 120, 240, 1935, 375, Font{13.5f, false}, Alignment::Left, &Frame1};
    Label Label5{*this, "Label5", "A clipped institution name that runs on", 120, 1800, 4655, 375, Font{}, Alignment::Left,
                 &Frame1};
    Shape Shape1{*this, "Shape1", Color{255, 0, 0}, 0, 0, 1215, 3840};
    Shape Shape2{*this, "Shape2", Color{0, 0, 192}, 0, 0, 1215, 3840};
    Pane Pane1{*this, "Pane1", 10800, 2400, 1200, 1200};
    Timer Timer1{*this, [this] {
        Shape1.SetHeight(Shape1.Height() + 30);
        Form_Resize();
    }};
    Timer Timer2{*this, [this] {
        Timer2.SetEnabled(false);
        std::printf("time up\n");
        std::fflush(stdout);
    }};

private:
    DebugWindow& debug;
    std::string textFile;
};

}  // namespace

int main(int argc, char** argv) {
    try {
        LoggingHost host;
        Runtime runtime(host);
        DebugWindow debug(runtime);
        DriverScreen screen(runtime, debug, argc > 1 ? argv[1] : "");
        screen.Shape1.SetHeight(runtime.DisplayHeight() / 3);
        screen.Shape2.SetHeight(runtime.DisplayHeight() / 3);
        runtime.SetCloseHandler([&runtime] {
            if (runtime.MsgBox("Do you really want to quit?", MB_QUESTION_YES_NO) == ID_YES) runtime.End();
        });
        screen.Show();
        for (;;) runtime.WaitPass();
    } catch (const ProgramEnded&) {
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "host_driver: " << error.what() << '\n';
        return 1;
    }
}

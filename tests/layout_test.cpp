#include <gtest/gtest.h>

#include "hosts/headless/headless_host.h"
#include "ui/control.h"
#include "ui/layout.h"
#include "ui/runtime.h"
#include "ui/screen.h"

namespace pelorin {
namespace {

class Counting : public Screen {
public:
    Counting(Runtime& runtime, std::string name, bool bordered = false)
        : Screen(runtime, std::move(name), 8445, 1590, bordered) {}
    void Form_Load() override { ++loads; }
    int loads = 0;
};

class LayoutTest : public ::testing::Test {
protected:
    // 800 x 600 pixels: a 12000 x 9000 twip screen.
    HeadlessHost host{800, 600, "/nonexistent"};
    Runtime runtime{host};
    Counting s{runtime, "S"};
};

TEST_F(LayoutTest, CenterControlAndCenterControlGroup) {
    s.Load();
    Label label{s, "Label1", "", 0, 0, 1215, 495};
    CenterControl(label, s);
    EXPECT_FLOAT_EQ(label.Left(), 5392.5f);
    EXPECT_FLOAT_EQ(label.Top(), 4252.5f);

    // The visible controls span 360..9135 by 3120..5175; the hidden one moves with them.
    label.SetVisible(false);
    Label heading{s, "Heading", "", 2400, 3120, 4815, 495};
    Shape left{s, "Left", Color{}, 360, 4680, 1935, 495};
    Shape right{s, "Right", Color{}, 7200, 4680, 1935, 495};
    CenterControlGroup(s);
    EXPECT_FLOAT_EQ(left.Left(), 360 + 1252.5f);
    EXPECT_FLOAT_EQ(right.Top(), 4680 + 352.5f);
    EXPECT_FLOAT_EQ(heading.Left(), 2400 + 1252.5f);
    EXPECT_FLOAT_EQ(label.Left(), 5392.5f + 1252.5f);
    // A second call moves nothing.
    CenterControlGroup(s);
    EXPECT_FLOAT_EQ(left.Left(), 360 + 1252.5f);
    EXPECT_FLOAT_EQ(left.Top(), 4680 + 352.5f);

    // With every control hidden, nothing moves.
    for (Control* c : s.Controls()) c->SetVisible(false);
    CenterControlGroup(s);
    EXPECT_FLOAT_EQ(left.Left(), 360 + 1252.5f);
    EXPECT_FLOAT_EQ(heading.Top(), 3120 + 352.5f);
}

TEST_F(LayoutTest, ShowFormsAndLoadFormsLoadOnceAndOrderTheScreens) {
    Counting t{runtime, "T"};
    LoadForms({&s, &t});
    EXPECT_EQ(runtime.ActiveScreen(), &t);
    EXPECT_EQ(s.loads, 1);
    // Showing a visible screen brings it to the front without loading it again.
    ShowForms({&s});
    EXPECT_EQ(runtime.ActiveScreen(), &s);
    EXPECT_EQ(s.loads, 1);
    EXPECT_FLOAT_EQ(s.Width(), 12000);
    EXPECT_FLOAT_EQ(s.Height(), 9000);
}

}  // namespace
}  // namespace pelorin

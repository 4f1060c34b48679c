#include "ui/layout.h"

#include "ui/control.h"
#include "ui/screen.h"

namespace pelorin {

void CenterControl(Control& c, Screen& s) {
    float left = (s.Width() - c.Width()) / 2;
    float top = (s.Height() - c.Height()) / 2;
    c.Move(left, top);
}

void CenterControlGroup(Screen& s) {
    // The box starts inverted, so with nothing visible dx and dy come out 0.
    float minLeft = s.Width();
    float maxRight = 0;
    float minTop = s.Height();
    float maxBottom = 0;
    for (Control* c : s.Controls()) {
        // Controls inside a frame move with their frame.
        if (c->Parent() != nullptr || !c->Visible()) continue;
        if (c->Left() < minLeft) minLeft = c->Left();
        if (c->Left() + c->Width() > maxRight) maxRight = c->Left() + c->Width();
        if (c->Top() < minTop) minTop = c->Top();
        if (c->Top() + c->Height() > maxBottom) maxBottom = c->Top() + c->Height();
    }
    float dx = s.Width() / 2 - ((maxRight - minLeft) / 2 + minLeft);
    float dy = s.Height() / 2 - ((maxBottom - minTop) / 2 + minTop);
    for (Control* c : s.Controls()) {
        if (c->Parent() == nullptr) c->Move(c->Left() + dx, c->Top() + dy);
    }
}

void ScaleControls(Procedures1& procedures1, Screen& s, Control& m) {
    if (procedures1.prevWidth == 0) {
        procedures1.prevWidth = s.Width();
        procedures1.prevHeight = s.Height();
    }
    float xScale = s.Width() / procedures1.prevWidth;
    float yScale = s.Height() / procedures1.prevHeight;
    m.Move(m.Left(), m.Top(), m.Width() * xScale, m.Height() * yScale);
    for (Control* c : s.Controls()) {
        if (c->Name() != m.Name()) c->Move(c->Left() * xScale, c->Top() * yScale);
    }
    procedures1.prevWidth = s.Width();
    procedures1.prevHeight = s.Height();
}

void ShowForms(std::initializer_list<Screen*> forms) {
    for (Screen* form : forms) form->Show();
}

void LoadForms(std::initializer_list<Screen*> forms) {
    for (Screen* form : forms) {
        form->Load();
        form->SetVisible(true);
    }
}

}  // namespace pelorin

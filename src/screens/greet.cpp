#include "screens/greet.h"

#include "records/event_columns.h"
#include "records/subject_list.h"
#include "screens/blanke.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "screens/instruction.h"
#include "system/files.h"
#include "ui/layout.h"
#include "ui/runtime.h"

namespace pelorin {

namespace {

// The ID box holds three digits.
constexpr long LARGEST_ID = 999;

static_assert(std::size(ORDER_CONDITIONS) == TemplateVariables::TOTAL_ORDER_CONDITIONS,
              "participants.tsv describes every order condition the registration offers");

bool IsDigit(int16_t key) { return key >= '0' && key <= '9'; }
bool IsLetter(int16_t key) { return (key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z'); }

}  // namespace

Greet::Greet(Experiment& experiment)
    : Screen(experiment.runtime, "Greet", 12300, 8835), experiment(experiment) {
    Label2.SetBackColor(MENU_COLOR);
    Text1.onKeyPress = [this](int16_t& KeyAscii) { Text1_KeyPress(KeyAscii); };
    Text2.onKeyPress = [this](int16_t& KeyAscii) { Text2_KeyPress(KeyAscii); };
    Text3.onKeyPress = [this](int16_t& KeyAscii) { Text3_KeyPress(KeyAscii); };
    Text1.onValidate = [this](bool& Cancel) { Text1_Validate(Cancel); };
    Text2.onValidate = [this](bool& Cancel) { Text2_Validate(Cancel); };
    Text3.onValidate = [this](bool& Cancel) { Text3_Validate(Cancel); };
}

void Greet::Form_Load() {
    Text1.SetTabIndex(1);
    Text2.SetTabIndex(2);
    Text3.SetTabIndex(3);
    Command1.SetTabIndex(4);
    Label5.SetCaption(Text("greet.order-condition", {{"total", std::to_string(TemplateVariables::TOTAL_ORDER_CONDITIONS)}}));
    SetKeyPreview(true);
    experiment.Blanke();
    ShowForms({this});
}

void Greet::Form_Activate() { runtime.SetFocus(Text1); }

void Greet::Form_Resize() { CenterControlGroup(*this); }

void Greet::Form_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == KEY_ESCAPE) {
        // Consumed, or the ID box's filter would refuse it after a No.
        KeyAscii = 0;
        experiment.Blanke().Unload();
    }
}

void Greet::Form_KeyDown(int keyCode, int shift) {
    if (keyCode != KEY_TAB || (shift & CTRL_MASK) == 0) return;
    SuggestSubjectId();
    Text2.SetText("kvt");
    int16_t order = FloorMod(experiment.templateVariables.subjectId, TemplateVariables::TOTAL_ORDER_CONDITIONS);
    Text3.SetText(std::to_string(order + 1));
    // Leaving the ID box this way validates it, as a Tab does.
    runtime.SetFocus(Text3);
}

void Greet::SuggestSubjectId() {
    auto lines = OpenForInput(experiment.RecordsPath(SUBJECT_LIST_FILE));
    std::optional<long> last = lines ? LastRecordId(*lines) : std::nullopt;
    // Only an ID the box could have been typed with: a malformed last record ("-9", "999" or beyond
    // the 16-bit range) would otherwise be proposed and written as it is.
    bool typable = last && *last >= -1 && *last < LARGEST_ID;
    Text1.SetText(typable ? std::to_string(*last + 1) : "1");
    experiment.templateVariables.subjectId = NumericValue(Text1.Text());
}

void Greet::Refuse(int16_t& KeyAscii, const std::string& message) {
    KeyAscii = 0;
    runtime.MsgBox(message, MB_EXCLAMATION, Text("box.error"));
}

void Greet::Text1_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == KEY_BACK || IsDigit(KeyAscii)) return;
    Refuse(KeyAscii, Text("greet.numbers-only"));
}

void Greet::Text2_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == KEY_BACK || IsLetter(KeyAscii)) return;
    Refuse(KeyAscii, Text("greet.letters-only"));
}

void Greet::Text3_KeyPress(int16_t& KeyAscii) {
    constexpr int16_t total = TemplateVariables::TOTAL_ORDER_CONDITIONS;
    if (KeyAscii == KEY_BACK || (KeyAscii >= '1' && KeyAscii < '1' + total)) return;
    if (KeyAscii == KEY_RETURN) {
        KeyAscii = 0;
        RegisterSubject();
        return;
    }
    Refuse(KeyAscii, Text("greet.order-only", {{"total", std::to_string(total)}}));
}

bool Greet::CheckSubjectId() {
    experiment.templateVariables.subjectId = NumericValue(Text1.Text());
    if (Text1.Text().empty()) {
        runtime.MsgBox(Text("greet.insert-id"), MB_OK_ONLY, Text("box.error"));
        return false;
    }
    if (!SubjectIsNew()) {
        ShowDuplicate();
        return false;
    }
    return true;
}

bool Greet::CheckInitials() {
    if (Text2.Text().size() >= 2) return true;
    runtime.MsgBox(Text("greet.insert-initials"), MB_OK_ONLY, Text("box.error"));
    return false;
}

bool Greet::CheckOrderCondition() {
    if (!Text3.Text().empty()) return true;
    runtime.MsgBox(Text("greet.insert-order"), MB_OK_ONLY, Text("box.error"));
    return false;
}

void Greet::ShowDuplicate() {
    runtime.MsgBox(Text("greet.duplicate", {{"id", std::to_string(experiment.templateVariables.subjectId)},
                                           {"path", experiment.RecordsPath(SUBJECT_LIST_FILE)}}),
                   MB_EXCLAMATION, Text("box.error"));
}

void Greet::Text1_Validate(bool& Cancel) { Cancel = !CheckSubjectId(); }
void Greet::Text2_Validate(bool& Cancel) { Cancel = !CheckInitials(); }
void Greet::Text3_Validate(bool& Cancel) { Cancel = !CheckOrderCondition(); }

bool Greet::SubjectIsNew() {
    // A list that cannot be read holds nobody yet; writing to it reports what is wrong.
    auto contents = ReadWholeFile(experiment.RecordsPath(SUBJECT_LIST_FILE));
    return !contents || !ListHoldsId(*contents, experiment.templateVariables.subjectId);
}

void Greet::RegisterSubject() {
    // Enter in the last box registers without the focus leaving any box: every entry is checked here.
    if (!CheckSubjectId()) {
        runtime.PutFocus(Text1);
        return;
    }
    if (!CheckInitials()) {
        runtime.PutFocus(Text2);
        return;
    }
    if (!CheckOrderCondition()) {
        runtime.PutFocus(Text3);
        return;
    }
    TemplateVariables& variables = experiment.templateVariables;
    variables.orderCondition = NumericValue(Text3.Text());

    std::string path = experiment.RecordsPath(SUBJECT_LIST_FILE);
    std::string record = PrintNumber(variables.subjectId) + Text2.Text() + PrintNumber(variables.orderCondition) + CRLF;
    // The duplicate check runs again on what the file holds under the lock: another program registering
    // into the same folder cannot take the same ID in between.
    // Locked, written and flushed aside: keys typed meanwhile keep the times they were typed at. The
    // screen moves on only once the record is on the disk.
    AppendResult result;
    int16_t id = variables.subjectId;
    runtime.RunAside([&] {
        result = AppendIfAccepted(path, [id](const std::string& contents) { return !ListHoldsId(contents, id); }, record);
    });
    if (result.status == AppendResult::Status::Refused) {
        ShowDuplicate();
        runtime.PutFocus(Text1);
        return;
    }
    if (result.status == AppendResult::Status::Failed) {
        runtime.MsgBox(Text("greet.cannot-write", {{"path", path}, {"reason", result.error}}), MB_EXCLAMATION,
                       Text("box.error"));
        return;
    }

    int64_t recorded = runtime.host.NowMicros();

    std::string folder = experiment.RecordsPath(experiment.dataset.folder);
    // The record is written: a folder that cannot be made is reported and the run goes on, without
    // its results.
    if (auto error = MakeFolder(folder)) {
        runtime.MsgBox(Text("greet.cannot-make-folder", {{"folder", folder}, {"reason", *error}}), MB_EXCLAMATION,
                       Text("box.error"));
    } else {
        experiment.results.Open(folder, experiment.dataset, {variables.subjectId, variables.orderCondition}, recorded);
    }
    LoadForms({&experiment.Display(), &experiment.Blanke()});
    experiment.Blanke().ShowBlanke(100, experiment.Instruction());
}

}  // namespace pelorin

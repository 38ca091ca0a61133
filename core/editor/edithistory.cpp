#include "edithistory.h"

namespace pixbar {

EditStep BeginStep(const MessageContainer& editor) {
    EditStep step;
    step.before = editor.record();
    step.cursorBefore = editor.cursorCell();
    return step;
}

bool FinishStep(const MessageContainer& editor, EditStep& step) {
    step.after = editor.record();
    step.cursorAfter = editor.cursorCell();
    return step.after != step.before;
}

std::optional<EditStep> RecordEdit(MessageContainer& editor, const std::function<void()>& edit) {
    EditStep step = BeginStep(editor);
    edit();
    if (!FinishStep(editor, step)) return std::nullopt;
    return step;
}

void UndoStep(MessageContainer& editor, const EditStep& step) {
    editor.restore(step.before, step.cursorBefore);
}

void RedoStep(MessageContainer& editor, const EditStep& step) {
    editor.restore(step.after, step.cursorAfter);
}

} // namespace pixbar

#pragma once

#include "ledmessagecon.h"

#include <functional>
#include <optional>

namespace pixbar {

/// One undoable change of a page: the whole record before and after it, and where the cursor
/// stood on each side. The font chosen for typing is not part of it.
struct EditStep {
    MessageRecord before;
    MessageRecord after;
    int cursorBefore = 0;
    int cursorAfter = 0;
};

/// Takes the "before" side of a step from the editor as it is now.
EditStep BeginStep(const MessageContainer& editor);
/// Takes the "after" side; false when the record did not change, so there is nothing to undo.
bool FinishStep(const MessageContainer& editor, EditStep& step);
/// Runs `edit` on the editor and returns the step it made, or nothing when the record stayed.
std::optional<EditStep> RecordEdit(MessageContainer& editor, const std::function<void()>& edit);

/// Puts the record back as it was before the step, byte for byte, and the cursor with it.
void UndoStep(MessageContainer& editor, const EditStep& step);
/// Makes the step again: the record as it was after it, and the cursor with it.
void RedoStep(MessageContainer& editor, const EditStep& step);

} // namespace pixbar

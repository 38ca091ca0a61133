// Random editing commands on a message page: keys, characters, fonts, items, fields, cursor
// jumps and cell drawing. Started from an empty page, the editor must keep every item's two
// cells together and the cursor within the message; started from any record, it must merely
// stay within its cells (the sanitizers watch that).
#include "fuzzsupport.h"

#include "editorgrid.h"
#include "ledmessagecon.h"

#include <algorithm>

using namespace pixbar;

using Grid = pixbar::test::CursorGrid;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader in(data, size);
    const bool fromRecord = in.u8() & 1;
    FontTable fonts{};
    SignGeometry geometry{24, 16, 26};
    MessageContainer editor{EditorContext{fonts, geometry}};
    Grid grid(editor);
    if (fromRecord) {
        MessageRecord r;
        const auto bytes = in.bytes(kRecordSize);
        std::copy(bytes.begin(), bytes.end(), r.bytes.begin());
        editor.loadRecord(r);
    }

    while (!in.empty()) {
        const std::uint8_t op = in.u8();
        const std::uint8_t arg = in.u8();
        int key = 0;
        switch (op % 16) {
        case 0:
        case 1:
            // Text only: character 0x01 marks parameters, which typing never makes.
            editor.keyPress(fromRecord ? arg : std::uint8_t('A' + arg % 26));
            break;
        case 2:
            editor.insertItem({kAttrLead, kLeadEffect},
                              {std::uint8_t(1 + arg % 12), kParameterMark});
            break;
        case 3:
            editor.insertCell(kAttrLead, kLeadPause);
            if (arg & 1) editor.insertParameterCell(kDefaultPause, kParameterMark);
            break;
        case 4:
            editor.insertParameterCell(arg, kParameterMark);
            break;
        case 5:
            key = kKeyBackspace;
            break;
        case 6:
            key = kKeyDelete;
            break;
        case 7:
            key = kKeyLeft;
            break;
        case 8:
            key = kKeyRight;
            break;
        case 9:
            grid.setRow(arg / kGridColumns % kGridRows);
            grid.setCol(arg % kGridColumns);
            break;
        case 10:
            editor.setFont(arg % 17);
            break;
        case 11:
            (arg % 3 == 0   ? editor.insertTime()
             : arg % 3 == 1 ? editor.insertDate()
                            : editor.insertTemperature());
            break;
        case 12:
            editor.insertCharacter(fromRecord ? arg : std::uint8_t(' ' + arg % 90));
            break;
        case 13: {
            DrawState state;
            state.selected = arg & 1;
            editor.drawCell(arg % kGridColumns, arg / kGridColumns % kGridRows, CellRect{}, state);
            break;
        }
        case 14:
            editor.moveLeftTwice();
            break;
        default:
            // The cell operations under the commands, at any cell of a loaded record.
            if (fromRecord) {
                editor.backspaceAt(arg * 2);
                editor.deleteAt(arg * 2 + 1);
                editor.insertGuarded(arg * 2, std::uint8_t(1 + arg % 15), 'x');
            }
            break;
        }
        if (key) editor.keyDown(key);
        if (!fromRecord) {
            fuzz::Check(test::BrokenPair(editor.record()).empty(),
                        "an item lost one of its two cells");
            fuzz::Check(grid.cell() <= editor.record().end(), "the cursor is past the end");
        }
    }
    return 0;
}

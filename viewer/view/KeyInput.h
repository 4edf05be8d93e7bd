// The keys of the video view, shared by the view and the main window: recognising digit keys by
// the physical key, and the one table that says what each view key does.
#pragma once

#include "view/picture/FieldRender.h"

#include <cstdint>

class QKeyEvent;

namespace kavlo {

// 0 to 9 for the digit keys of the main keyboard's top row, -1 for every other key (the digits
// of the numeric pad included). Whatever character the keyboard layout and Shift make of it
// (Shift+1 is "!" on a US layout, "+" on a Swiss one), the physical key decides.
int PhysicalDigitKey(const QKeyEvent& event);

// What a view key does.
enum class ViewKeyAction : uint8_t {
    None,
    ShowAll,        // 0: fit the picture into the window
    ActualSize,     // Ctrl+0: zoom 1
    ToggleFilter1,  // 1, 2, 3: filter switches
    ToggleFilter2,
    ToggleFilter3,
    ShowAllChannels,  // 6: back from a single channel to the picture
    ShowY,            // 7, 8, 9: one channel alone
    ShowCb,
    ShowCr,
    ToggleMethod2Label,     // Q
    ToggleDeinterlace,      // D
    ToggleSplitFields,      // F
    ToggleSeparatedFields,  // Shift+F
    ToggleInterlace,        // I
    ToggleFieldOrder,       // T
    ToggleFlip,             // V
    SetDeinterlaceMethod,   // Shift+1 .. Shift+4: the method of ViewKey::method
    ZoomIn,                 // + of the numeric pad
    ZoomOut,                // - of the numeric pad
    ToggleMosaicGrey,       // M: a Bayer mosaic's samples as grey
    CycleColourMatrix,      // C: BT.601, BT.709, BT.2020, automatic, BT.601 ...
    ToggleFullRange,        // R: limited or full range Y'CbCr samples
};

struct ViewKey {
    ViewKeyAction action = ViewKeyAction::None;
    DeinterlaceMethod method = kDeinterlaceBlendFields;  // for SetDeinterlaceMethod only
    bool shift = false;  // a Shift key of the table (every other Shift key means nothing)
};

// The view key of a key press: Shift+F, Shift+1..4 with Shift held; Ctrl+0, the digits, the
// letters and the keypad's + and - without. Ctrl is ignored except on 0. Keys that are not in the
// table give ViewKeyAction::None.
ViewKey LookUpViewKey(const QKeyEvent& event);

}  // namespace kavlo

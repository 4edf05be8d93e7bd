// Recognising the digit keys of the main keyboard by the physical key, whatever character the
// keyboard layout and Shift make of it (Shift+1 is "!" on a US layout, "+" on a Swiss one).
#pragma once

class QKeyEvent;

namespace kavlo {

// 0 to 9 for the digit keys of the main keyboard's top row, -1 for every other key (the digits
// of the numeric pad included).
int PhysicalDigitKey(const QKeyEvent& event);

}  // namespace kavlo

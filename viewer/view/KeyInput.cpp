#include "view/KeyInput.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace kavlo {
namespace {

// X11 and Wayland report evdev key codes offset by 8: KEY_1 (2) .. KEY_0 (11) arrive as 10 .. 19.
int DigitOfXkbKeycode(quint32 code) {
    if (code >= 10 && code <= 18) return static_cast<int>(code) - 9;
    if (code == 19) return 0;
    return -1;
}

// Without a native key code (synthetic events, the offscreen platform) the key itself decides;
// the shifted characters of a US layout stand for Shift+digit.
int DigitOfQtKey(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return key - Qt::Key_0;
    switch (key) {
    case Qt::Key_Exclam: return 1;
    case Qt::Key_At: return 2;
    case Qt::Key_NumberSign: return 3;
    case Qt::Key_Dollar: return 4;
    case Qt::Key_Percent: return 5;
    case Qt::Key_AsciiCircum: return 6;
    case Qt::Key_Ampersand: return 7;
    case Qt::Key_Asterisk: return 8;
    case Qt::Key_ParenLeft: return 9;
    case Qt::Key_ParenRight: return 0;
    default: return -1;
    }
}

}  // namespace

int PhysicalDigitKey(const QKeyEvent& event) {
    if (event.modifiers() & Qt::KeypadModifier) return -1;
    const quint32 code = event.nativeScanCode();
    if (code != 0) {
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"))) {
            return DigitOfXkbKeycode(code);
        }
    }
    return DigitOfQtKey(event.key());
}

namespace {

struct DigitKey {
    int digit;
    ViewKeyAction action;
};
struct LetterKey {
    int key;
    ViewKeyAction action;
};

// Digits without Shift (Ctrl+0 is handled before the table).
constexpr DigitKey kDigitKeys[] = {
    {0, ViewKeyAction::ShowAll},         {1, ViewKeyAction::ToggleFilter1},
    {2, ViewKeyAction::ToggleFilter2},   {3, ViewKeyAction::ToggleFilter3},
    {6, ViewKeyAction::ShowAllChannels}, {7, ViewKeyAction::ShowY},
    {8, ViewKeyAction::ShowCb},          {9, ViewKeyAction::ShowCr},
};

// Shift+1 .. Shift+4: the deinterlacing methods in the order of the View menu.
constexpr DeinterlaceMethod kMethodOfShiftDigit[] = {kDeinterlaceTopField, kDeinterlaceBottomField,
                                                     kDeinterlaceBlendFields, kDeinterlaceLowPass};

// Letters without Shift.
constexpr LetterKey kLetterKeys[] = {
    {Qt::Key_Q, ViewKeyAction::ToggleMethod2Label}, {Qt::Key_D, ViewKeyAction::ToggleDeinterlace},
    {Qt::Key_F, ViewKeyAction::ToggleSplitFields},  {Qt::Key_I, ViewKeyAction::ToggleInterlace},
    {Qt::Key_T, ViewKeyAction::ToggleFieldOrder},   {Qt::Key_V, ViewKeyAction::ToggleFlip},
    {Qt::Key_M, ViewKeyAction::ToggleMosaicGrey},   {Qt::Key_C, ViewKeyAction::CycleColourMatrix},
    {Qt::Key_R, ViewKeyAction::ToggleFullRange},
};

}  // namespace

ViewKey LookUpViewKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const int key = event.key();
    const int digit = PhysicalDigitKey(event);
    ViewKey result;
    if (modifiers & Qt::ShiftModifier) {
        if (key == Qt::Key_F) {
            result.action = ViewKeyAction::ToggleSeparatedFields;
            result.shift = true;
        } else if (digit >= 1 && digit <= 4) {
            result.action = ViewKeyAction::SetDeinterlaceMethod;
            result.method = kMethodOfShiftDigit[digit - 1];
            result.shift = true;
        }
        return result;
    }
    if (digit == 0 && (modifiers & Qt::ControlModifier)) {
        result.action = ViewKeyAction::ActualSize;
        return result;
    }
    for (const DigitKey& entry : kDigitKeys) {
        if (entry.digit == digit) {
            result.action = entry.action;
            return result;
        }
    }
    if (digit >= 0) return result;
    for (const LetterKey& entry : kLetterKeys) {
        if (entry.key == key) {
            result.action = entry.action;
            return result;
        }
    }
    if (modifiers & Qt::KeypadModifier) {
        if (key == Qt::Key_Plus) result.action = ViewKeyAction::ZoomIn;
        if (key == Qt::Key_Minus) result.action = ViewKeyAction::ZoomOut;
    }
    return result;
}

}  // namespace kavlo

#include "KeyInput.h"

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

}  // namespace kavlo

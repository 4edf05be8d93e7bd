#include "app/common/KeyTable.h"

#include "view/KeyInput.h"

#include <QAction>
#include <QKeyEvent>
#include <QObject>

namespace kavlo {
namespace {

Qt::KeyboardModifiers IgnoredModifiers(const KeyRow& row) {
    Qt::KeyboardModifiers ignored;
    if (row.flags & kKeyAnyShift) ignored |= Qt::ShiftModifier;
    if (row.flags & kKeyAnyAlt) ignored |= Qt::AltModifier | Qt::MetaModifier;
    if (row.flags & kKeyAnyModifier)
        ignored |= Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    return ignored;
}

bool IsDigit(Qt::Key key) { return key >= Qt::Key_0 && key <= Qt::Key_9; }

bool IsShortcutRow(const KeyRow& row) {
    return row.flags & (kKeyActionShortcut | kKeyWindowShortcut);
}

}  // namespace

QKeyCombination PressedKey(const QKeyEvent& event) {
    Qt::KeyboardModifiers modifiers = event.modifiers();
    const int digit = PhysicalDigitKey(event);
    if (digit >= 0) return QKeyCombination(modifiers, Qt::Key(Qt::Key_0 + digit));
    const auto key = Qt::Key(event.key());
    // The numeric pad matters for its digits and its + and -; the arrows and Home/End of the
    // pad are the same keys as the others.
    if (!IsDigit(key) && key != Qt::Key_Plus && key != Qt::Key_Minus)
        modifiers &= ~Qt::KeyboardModifiers(Qt::KeypadModifier);
    return QKeyCombination(modifiers, key);
}

bool KeyMatches(const KeyRow& row, QKeyCombination pressed) {
    if (row.key.key() != pressed.key()) return false;
    const Qt::KeyboardModifiers ignored = IgnoredModifiers(row);
    return (pressed.keyboardModifiers() & ~ignored) == (row.key.keyboardModifiers() & ~ignored);
}

bool KeysCollide(const KeyRow& a, const KeyRow& b) {
    if (a.key.key() != b.key.key()) return false;
    const Qt::KeyboardModifiers free = IgnoredModifiers(a) | IgnoredModifiers(b);
    return ((a.key.keyboardModifiers() ^ b.key.keyboardModifiers()) & ~free) ==
           Qt::KeyboardModifiers();
}

const KeyRow* FindKeyRow(const std::vector<KeyRow>& rows, const QKeyEvent& event) {
    const QKeyCombination pressed = PressedKey(event);
    for (const KeyRow& row : rows)
        if (!IsShortcutRow(row) && KeyMatches(row, pressed)) return &row;
    return nullptr;
}

QString KeyName(QKeyCombination key) {
    if (key.keyboardModifiers() & Qt::KeypadModifier) {
        const QKeyCombination plain(
            key.keyboardModifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier), key.key());
        QString name = QKeySequence(plain).toString(QKeySequence::PortableText);
        // "Ctrl++" would read badly: the pad's key is named last.
        const qsizetype last = name.size() - 1;
        return name.left(last) + QStringLiteral("Keypad ") + name.mid(last);
    }
    QString name = QKeySequence(key).toString(QKeySequence::PortableText);
    // The keyboard's own legend, as beside PgUp.
    if (key.key() == Qt::Key_PageDown)
        name.replace(QStringLiteral("PgDown"), QStringLiteral("PgDn"));
    return name;
}

QString KeyNameOf(int command, const std::vector<KeyRow>& rows) {
    for (const KeyRow& row : rows)
        if (row.command == command) return KeyName(row.key);
    return QString();
}

QString MenuText(const char* label, int command, const std::vector<KeyRow>& rows) {
    QString text = QString::fromUtf8(label);
    for (const KeyRow& row : rows) {
        if (row.command == command && (row.flags & (kKeyInMenu | kKeyWindowShortcut))) {
            text += QLatin1Char('\t') + KeyName(row.key);
            break;
        }
    }
    return text;
}

QList<QKeySequence> ShortcutsOf(int command, const std::vector<KeyRow>& rows) {
    QList<QKeySequence> keys;
    for (const KeyRow& row : rows) {
        if (row.command != command || !(row.flags & kKeyActionShortcut)) continue;
        // The platform's keys for a standard command, with the key every desktop knows it by
        // first when the platform's scheme lacks it (the Windows scheme has no key for Quit).
        if (row.standard != QKeySequence::UnknownKey) {
            for (const QKeySequence& k : QKeySequence::keyBindings(row.standard))
                if (!keys.contains(k)) keys.append(k);
        }
        if (!keys.contains(QKeySequence(row.key))) keys.prepend(QKeySequence(row.key));
    }
    return keys;
}

void ApplyShortcuts(QObject* root, const std::vector<KeyRow>& rows) {
    for (QAction* a : root->findChildren<QAction*>()) {
        bool ok = false;
        const int command = a->data().toInt(&ok);
        if (!ok || command == 0) continue;
        const QList<QKeySequence> keys = ShortcutsOf(command, rows);
        if (!keys.isEmpty()) a->setShortcuts(keys);
    }
}

QString KeyHelpLine(const QString& names, const QString& text) {
    return names + (names.size() < 8 ? QStringLiteral("\t\t- ") : QStringLiteral("\t- ")) + text +
           QStringLiteral("\r\n");
}

QString KeyHelpText(const std::vector<KeyRow>& rows) {
    QString text;
    QString names;
    QString help;
    for (const KeyRow& row : rows) {
        if (row.help) {
            if (!names.isEmpty()) text += KeyHelpLine(names, help);
            names = KeyName(row.key);
            help = QString::fromUtf8(row.help);
        } else if (!names.isEmpty()) {
            names += QStringLiteral(", ") + KeyName(row.key);
        }
    }
    if (!names.isEmpty()) text += KeyHelpLine(names, help);
    return text;
}

}  // namespace kavlo

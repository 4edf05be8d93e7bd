// The few places where the shell touches the desktop platform: the per-user settings store,
// the warning sound, the shell's recent documents, web pages, the program's own folder and how
// file names compare.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QSettings;

namespace kavlo {

// Registers the shell's icons with the resource system (needed once; safe to repeat).
void InitResources();

// The per-user settings store of the program ("Brellin GmbH" / "Kavlo").
std::unique_ptr<QSettings> OpenUserSettings();

// The system's warning sound, played before an error window.
void WarningSound();

// Adds a file to the desktop's list of recently used documents.
void AddToRecentDocuments(const QString& path);

// Opens a web page in the user's browser; false when that fails.
bool OpenWebPage(const QString& url);

// `text` as it may be written to a terminal: the bytes that could control it escaped as \xNN
// (settings/TerminalText.h). Every message to standard error goes through this.
QString TerminalSafe(const QString& text);

// The bytes of memory the process has resident now (0 when the system does not say).
uint64_t ResidentBytes();

// Folder of the running executable, without a trailing separator.
QString ProgramDirectory();

// Whether two file names name the same file: exact on Linux, where two files may differ only
// by case, and without regard to case on Windows.
bool SameFileName(const QString& a, const QString& b);

}  // namespace kavlo

// Helpers shared by the shell tests: a private settings store, scratch files and clips.
#pragma once

#include "settings/RawSettings.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QSettings;
class QWidget;

namespace shelltest {

// Points the per-user settings store at a temporary folder for the whole run.
void RedirectSettings();
// Empties that store.
void ClearSettings();
// A fresh store object on it.
std::unique_ptr<QSettings> Store();

// A file of `size` bytes (a repeating pattern) in the run's scratch folder.
QString FileOfSize(const QString& name, int64_t size);
// A file of `size` zero bytes that takes no disk space (a hole in the file system).
QString SparseFile(const QString& name, int64_t size);
// A generated clip; returns its path, or an empty string on failure.
QString Clip(const QString& name, uint32_t code, int32_t width, int32_t height, int32_t frames);
// A settings record for a clip as the command line would build it.
RawSettings SettingsFor(uint32_t code, int32_t width, int32_t height);

// Runs `act` on the next modal dialog or message box that opens.
void OnNextModal(std::function<void(QWidget*)> act);

}  // namespace shelltest

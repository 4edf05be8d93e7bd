// Identity of the viewer: its name, maker, version and the keys of its per-user settings.
#pragma once

#include <QString>

namespace kavlo {

inline QString AppName() { return QStringLiteral("Kavlo"); }
inline QString CompanyKey() { return QStringLiteral("Brellin GmbH"); }
inline QString RegistryBase() { return QStringLiteral("Settings"); }
inline QString VersionText() { return QStringLiteral("Version 1.0"); }
inline QString MakerLine() { return QStringLiteral("Copyright (C) Brellin GmbH"); }
inline QString ProductWebPage() { return QStringLiteral("https://www.brellin.de/kavlo"); }
inline QString DebugLevelKey() { return QStringLiteral("Debug Level"); }
// The read-ahead cache's cap in megabytes (-cache MB keeps it here).
inline QString CacheSizeKey() { return QStringLiteral("Play Cache MB"); }
// The folder Save Frame As or Export Frames last wrote to (a file name value: text, or the bytes
// of a name that is not UTF-8).
inline QString OutputFolderKey() { return QStringLiteral("Output Folder"); }

}  // namespace kavlo

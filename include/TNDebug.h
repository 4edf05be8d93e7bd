// Result texts, identifier printing and the leveled debug log of the core library.
#pragma once

#include "TNBase.h"

#include <cwchar>

#define TN_LOG_ERROR 1
#define TN_LOG_WARNING 2
#define TN_LOG_INFO 3
#define TN_LOG_DEBUG 4

extern "C" {
// The fixed English text of a result code ("Unknown" for codes not in the table). Never null.
TN_CORE_API const wchar_t* TNGetErrorString(TNRESULT result);
// Writes "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X" and a NUL; needs 37 units.
// False, with nothing written, for a null buffer or identifier or fewer than 37 units.
TN_CORE_API bool TNPrintTNUUID(wchar_t* buffer, int bufferUnits, const TNUUID* id);
TN_CORE_API void TNDebugSetLevelValue(int level);
TN_CORE_API int TNDebugGetLevelValue(void);
// The highest of the levels 1 to 4 whose lines reach the debug channel at all; lines of a higher
// level are dropped before the verbosity filter. Starts at 4 (every line); a program that keeps
// its terminal free of routine lines lowers it. Lines of levels outside 1 to 4 are not affected.
TN_CORE_API void TNDebugSetOutputLevel(int level);
TN_CORE_API int TNDebugGetOutputLevel(void);
// One line "'<program>': [<pid>] <Level>: <message>\n" on the debug channel (standard error).
// Level 4 lines are written only when verbosity <= the level value; no line of a level above the
// output level is written. Written as UTF-8 with one
// write call; %ls arguments are copied literally.
TN_CORE_API void TNDebugOutputStr(int level, int verbosity, const wchar_t* format, ...);
// The formatted message and a line feed, no prefix, no filtering.
TN_CORE_API void TNDebugOutputString(const wchar_t* format, ...);
}

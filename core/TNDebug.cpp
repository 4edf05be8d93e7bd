// Result texts, identifier printing and the leveled debug log.
#include "TNDebug.h"

#include "CTNString.h"
#include "DebugOutput.h"
#include "ProcessInfo.h"

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cwchar>
#include <string>

namespace {

struct ResultText {
    TNRESULT code;
    const wchar_t* text;
};

constexpr ResultText kResultTexts[] = {
    {TN_OK, L"Ok"},
    {TN_FALSE, L"False"},
    {TN_E_NOTIMPL, L"Not Implemented"},
    {TN_E_OOM, L"Out of Memory"},
    {TN_E_INVALIDARG, L"Invalid Argument(s)"},
    {TN_E_NOINTERFACE, L"No Interface"},
    {TN_E_POINTER, L"Pointer"},
    {TN_E_HANDLE, L"Handle"},
    {TN_E_ABORT, L"Abort"},
    {TN_E_FAIL, L"Fail"},
    {TN_E_ACCESSDENIED, L"Access Denied"},
    {TN_E_UNEXPECTED, L"Unexpected"},
    {TN_E_CLASSNOTAVAILABLE, L"No Class Available"},
    {TN_E_NOTSUPPORTED, L"Not Supported"},
    {TN_E_NOTINITIALIZED, L"Not Initialized"},
    {TN_E_ALREADYCOMMITTED, L"Already Committed"},
    {TN_E_BADALIGN, L"Bad Alignment"},
    {TN_E_BUFFERSOUTSTANDING, L"Buffers Outstanding"},
    {TN_E_FILEACCESS, L"File access error"},
    {TN_E_FILEEXISTS, L"File already exists"},
    {TN_E_ISDIRECTORY, L"Filename is directory"},
    {TN_E_TOOMANYOPENFILES, L"Too many open files"},
    {TN_E_FILENOTFOUND, L"File not found"},
    {TN_E_NOSPACE, L"No space left on device"},
    {TN_E_READONLYFS, L"File system is read only"},
    {TN_E_READ, L"Read error"},
    {TN_E_WRITE, L"Write error"},
    {TN_E_SEEK, L"File seek error"},
};

// The level value; a change takes effect for later calls. Atomic only so that a change from
// another thread is well defined; no ordering is implied.
std::atomic<int> g_levelValue{TN_LOG_INFO};
// The highest level written at all (TNDebugSetOutputLevel); every level to begin with.
std::atomic<int> g_outputLevel{TN_LOG_DEBUG};

const wchar_t* LevelName(int level) {
    switch (level) {
    case TN_LOG_ERROR: return L"Error";
    case TN_LOG_WARNING: return L"Warning";
    case TN_LOG_INFO: return L"Info";
    case TN_LOG_DEBUG: return L"Debug";
    default: return L"";  // no caller passes another level
    }
}

void WriteLine(const CTNString& line) {
    const std::string bytes = line.ToUtf8();
    WriteDebugBytes(bytes.data(), bytes.size());
}

}  // namespace

extern "C" {

const wchar_t* TNGetErrorString(TNRESULT result) {
    for (const ResultText& r : kResultTexts)
        if (r.code == result) return r.text;
    return L"Unknown";
}

bool TNPrintTNUUID(wchar_t* buffer, int bufferUnits, const TNUUID* id) {
    constexpr int kUnits = 37;  // 36 characters and the terminator
    if (!buffer || !id || bufferUnits < kUnits) return false;
    const int n =
        std::swprintf(buffer, kUnits, L"%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                      id->data1, id->data2, id->data3, id->data4[0], id->data4[1], id->data4[2],
                      id->data4[3], id->data4[4], id->data4[5], id->data4[6], id->data4[7]);
    return n == kUnits - 1;
}

void TNDebugSetLevelValue(int level) { g_levelValue.store(level, std::memory_order_relaxed); }

int TNDebugGetLevelValue(void) { return g_levelValue.load(std::memory_order_relaxed); }

void TNDebugSetOutputLevel(int level) { g_outputLevel.store(level, std::memory_order_relaxed); }

int TNDebugGetOutputLevel(void) { return g_outputLevel.load(std::memory_order_relaxed); }

void TNDebugOutputStr(int level, int verbosity, const wchar_t* format, ...) {
    // Only level 4 is filtered by verbosity; any of the four levels may be above the output
    // level. A filtered line is not formatted at all.
    if (level >= TN_LOG_ERROR && level <= TN_LOG_DEBUG && level > TNDebugGetOutputLevel()) return;
    if (level == TN_LOG_DEBUG && verbosity > TNDebugGetLevelValue()) return;

    CTNString line;
    va_list args;
    va_start(args, format);
    line.VPrintf(format, args);  // on failure the message stays empty; the prefix is still written
    va_end(args);

    CTNString prefix;
    prefix.Printf(L"'%ls': [%d] %ls: ", ProgramName(), static_cast<int>(::getpid()),
                  LevelName(level));
    line.InsertPrefix(prefix.c_str());
    line.Append(L'\n');
    WriteLine(line);
}

void TNDebugOutputString(const wchar_t* format, ...) {
    CTNString line;
    va_list args;
    va_start(args, format);
    line.VPrintf(format, args);
    va_end(args);
    line.Append(L'\n');
    WriteLine(line);
}

}  // extern "C"

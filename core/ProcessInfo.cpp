#include "ProcessInfo.h"

#include "CTNString.h"

#include <climits>
#include <cstdlib>
#include <cwchar>

namespace {

// The program name, captured once; a fixed buffer so that reading it never allocates.
wchar_t g_programName[PATH_MAX];
bool g_programNameCaptured = false;

void CaptureProgramName() {
    if (g_programNameCaptured) return;
    g_programNameCaptured = true;
    const CTNString path = CTNString::FromUtf8(ExecutablePath());
    const size_t slash = path.ReverseFind(L'/');
    const CTNString name = slash == CTNString::npos ? path : path.Mid(slash + 1);
    std::wcsncpy(g_programName, name.c_str(), PATH_MAX - 1);
    g_programName[PATH_MAX - 1] = L'\0';
}

// Runs when the library is attached to the process, before the program's own code.
__attribute__((constructor)) void CaptureProgramNameAtLoad() { CaptureProgramName(); }

}  // namespace

std::string ExecutablePath() {
    char resolved[PATH_MAX];
    if (!realpath("/proc/self/exe", resolved)) return std::string();
    return std::string(resolved);
}

const wchar_t* ProgramName() {
    CaptureProgramName();  // only does work if a log call came before the load hook
    return g_programName;
}

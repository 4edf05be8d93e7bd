// Facts about the running process that the log and the plug-in scan need.
#pragma once

#include <string>

// Full path of the process's executable with symbolic links resolved (not the path of this
// library); empty when it cannot be found.
std::string ExecutablePath();
// File name of the executable, captured when the library is loaded; never null.
const wchar_t* ProgramName();

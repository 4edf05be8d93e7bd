// Lenient conversions between the core's wide text (UTF-32 wchar_t) and UTF-8, for log lines and
// paths. Text that cannot be converted is replaced by U+FFFD rather than dropped: a log line or a
// path shown in a message must never vanish because of one bad character.
#pragma once

#include <cstddef>
#include <string>

std::wstring Utf8ToWide(const char* text, size_t bytes);
std::string WideToUtf8(const wchar_t* text, size_t units);

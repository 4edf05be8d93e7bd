// The debug channel of the log: standard error, one write per line.
#pragma once

#include <cstddef>

// Hands bytes to the debug channel in one write call (continuing only if the system accepted
// part of them). Failures are not reported.
void WriteDebugBytes(const char* bytes, size_t count);
// "CTNString:vprintf: out of memory error" as a line of its own, from static storage, so that it
// can be written when no memory can be had.
void WriteOutOfMemoryNotice();

// The plug-in's file access, one function per platform call: open for random reading, size,
// positioned read and close. Descriptor -1 means "no file".
#pragma once

#include "TNBase.h"

#include <cstdint>

constexpr int kNoFile = -1;

// Opens `path` (the name's bytes as the file system stores them) read-only for reads at random
// positions. On success stores the descriptor and the file's size and returns TN_OK; otherwise
// the descriptor is kNoFile and the result is the mapped error (a directory gives
// TN_E_ISDIRECTORY, anything else that is not a regular file TN_E_NOTSUPPORTED).
TNRESULT QuernFileOpen(const char* path, int* fd, int64_t* size);

// Reads exactly `length` bytes at `offset`: TN_E_SEEK when the offset cannot be reached (no file,
// negative or unreachable offset), TN_E_READ when fewer bytes arrive or the read fails.
TNRESULT QuernFileReadAt(int fd, int64_t offset, uint8_t* buffer, uint32_t length);

void QuernFileClose(int fd);

// True when the open descriptor lies on /proc or /sys, whose files are not frames at fixed
// offsets even where they call themselves regular.
bool QuernIsKernelFileSystem(int fd);

// The result code of an error number from opening a file.
TNRESULT QuernMapOpenError(int error);

// The frame conversion with a chosen kernel table and thread policy, for the conversion's
// tests and benchmarks. Not part of the interface the view uses (Convert.h).
#pragma once

#include "Convert.h"
#include "ThreadTeam.h"

struct KernelTable;

struct ConvertOptions : TeamPolicy {
    const KernelTable* kernels = nullptr;  // nullptr: the process-wide table
};

bool ConvertFrameWith(const ConvertOptions& options, int32_t width, int32_t height,
                      ConvertFlags flags, uint32_t sourceCode, const uint8_t* source,
                      int32_t sourceLineBytes, uint32_t destinationCode, uint8_t* destination,
                      int32_t destinationLineBytes);

// The thread-team policy of the frame conversion and the frame copy: how many threads work on
// one frame, and which pool threads are the team's own. Internal to the conversion library
// (and its tests and benchmarks); the view reaches CopyFrameBytes through Convert.h.
#pragma once

#include <cstdint>

// Frames of at least this many pixels are converted by a team of threads (when OpenMP offers
// more than one); smaller ones on the calling thread alone. The result is the same either way.
constexpr int64_t kConvertParallelMinPixels = 256 * 1024;

// Blocks of at least this many bytes are copied by a team (a whole frame copies about twice as
// fast with two threads as with one).
constexpr uint64_t kCopyParallelMinBytes = uint64_t(1) << 20;

struct TeamPolicy {
    int maxThreads = 0;  // team size for large frames; 0: as many as OpenMP offers
    int64_t parallelMinPixels = kConvertParallelMinPixels;
    // Shrink the team to the processors other running threads leave free (a team that waits
    // for members without a processor is slower than one thread). Off: the team has exactly
    // maxThreads members (tests, benchmarks).
    bool followLoad = true;
};

// Members of the team for a frame of `pixels` pixels in `rows` rows: 1 below the policy's
// threshold, else maxThreads (or OpenMP's maximum) limited to the rows and, when the policy
// follows the load, to the processors free right now. At least 1.
int TeamSize(const TeamPolicy& policy, int64_t pixels, int rows);

// Processors not busy with other work right now: all processors less the threads that are
// running besides the caller, not counting the conversion's own idle team members. Every
// processor counts as free when the count cannot be read.
int FreeProcessors();

// Called by every member of a team (by its OpenMP member number) so that the load count can
// tell the team's own pool threads from other work.
void RecordTeamMember(int member);

// Pool threads of the last team, besides its caller, that are runnable right now (OpenMP lets
// them spin for a while after a loop before they sleep). For tests.
int TeamWorkersRunnable();

#include "ThreadTeam.h"

#include "Convert.h"

#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// Thread ids of the pool threads that worked in the last team besides the caller, by team
// member number - 1 (filled from slot 0 up; 0: empty). OpenMP keeps them spinning for a while
// after a loop before they sleep, so the kernel counts them as running although they are the
// team's own, idle members.
constexpr int kMaxRecordedWorkers = 64;
std::atomic<pid_t> g_workers[kMaxRecordedWorkers];

// True when thread `tid` of this process is runnable (state R in its stat line, which follows
// the parenthesised command name). False when it is gone or cannot be read.
bool Runnable(pid_t tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", int(tid));
    FILE* f = std::fopen(path, "re");
    if (!f) return false;
    char line[512];
    const size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    line[n] = '\0';
    const char* close = std::strrchr(line, ')');
    return close && close[1] == ' ' && close[2] == 'R';
}

// Recorded team members that are runnable now, counting at most `limit`.
int OwnRunnableWorkers(int limit) {
    int n = 0;
    for (const std::atomic<pid_t>& slot : g_workers) {
        if (n >= limit) break;
        const pid_t tid = slot.load(std::memory_order_relaxed);
        if (tid == 0) break;
        if (Runnable(tid)) ++n;
    }
    return n;
}

}  // namespace

void RecordTeamMember(int member) {
    if (member < 1 || member > kMaxRecordedWorkers) return;
    const pid_t me = gettid();
    std::atomic<pid_t>& slot = g_workers[member - 1];
    if (slot.load(std::memory_order_relaxed) != me) slot.store(me, std::memory_order_relaxed);
}

int TeamWorkersRunnable() { return OwnRunnableWorkers(kMaxRecordedWorkers); }

// The running threads come from the kernel's count of runnable threads in /proc/loadavg. A team
// larger than the free processors waits at every barrier for members that have no processor,
// and is slower than the calling thread alone.
int FreeProcessors() {
    const int procs = omp_get_num_procs();
    FILE* f = std::fopen("/proc/loadavg", "re");
    if (!f) return procs;
    double a = 0, b = 0, c = 0;
    int running = 0, total = 0;
    const int got = std::fscanf(f, "%lf %lf %lf %d/%d", &a, &b, &c, &running, &total);
    std::fclose(f);
    if (got != 5 || running < 1) return procs;
    const int others = std::max(0, running - 1 - OwnRunnableWorkers(running - 1));
    return std::max(1, procs - others);
}

int TeamSize(const TeamPolicy& policy, int64_t pixels, int rows) {
    int threads = 1;
    if (pixels >= policy.parallelMinPixels) {
        threads = policy.maxThreads > 0 ? policy.maxThreads : omp_get_max_threads();
        threads = std::max(1, std::min(threads, rows));
    }
    if (threads > 1 && policy.followLoad) threads = std::min(threads, FreeProcessors());
    return threads;
}

void CopyFrameBytes(uint8_t* destination, const uint8_t* source, size_t count) {
    if (count == 0) return;
    const int threads =
        count >= kCopyParallelMinBytes ? std::min(omp_get_max_threads(), FreeProcessors()) : 1;
    if (threads <= 1) {
        std::memcpy(destination, source, count);
        return;
    }
#pragma omp parallel num_threads(threads)
    {
        const int member = omp_get_thread_num();
        RecordTeamMember(member);
        // One run of whole cache lines per member.
        const size_t chunk = (count / size_t(omp_get_num_threads()) + 63) / 64 * 64;
        const size_t begin = std::min(count, chunk * size_t(member));
        const size_t end = std::min(count, begin + chunk);
        if (end > begin) std::memcpy(destination + begin, source + begin, end - begin);
    }
}

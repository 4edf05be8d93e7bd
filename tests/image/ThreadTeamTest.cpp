// The thread team of the conversion and the frame copy: team sizes, whole-frame copies, and the
// recognition of the team's own idle pool threads.
#include "image/ConvertInternal.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Without load following the team has exactly the members asked for, never more than rows, and
// one thread below the size threshold.
TEST(ThreadTeam, SizeFollowsThePolicy) {
    TeamPolicy p;
    p.maxThreads = 4;
    p.parallelMinPixels = 1000;
    p.followLoad = false;
    EXPECT_EQ(TeamSize(p, 999, 100), 1);
    EXPECT_EQ(TeamSize(p, 1000, 100), 4);
    EXPECT_EQ(TeamSize(p, 1000, 3), 3);
    p.followLoad = true;
    const int n = TeamSize(p, 1000, 100);
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 4);
}

// Whole-frame copies: every byte lands at its place and nothing around the block is touched,
// for sizes below, at and around the size from which a team copies, with odd tails.
TEST(ThreadTeam, CopyFrameBytesCopiesExactlyTheBlock) {
    constexpr uint8_t kGuard = 0x5A;
    const size_t mib = size_t(kCopyParallelMinBytes);
    for (size_t n : {size_t(0), size_t(1), size_t(4095), mib - 1, mib, mib + 63, 3 * mib + 5}) {
        std::vector<uint8_t> src(n);
        for (size_t i = 0; i < n; ++i) src[i] = uint8_t(i * 131 + (i >> 12));
        std::vector<uint8_t> dst(n + 128, kGuard);
        CopyFrameBytes(dst.data() + 64, src.data(), n);
        auto guard = [](uint8_t b) { return b == kGuard; };
        EXPECT_TRUE(std::equal(src.begin(), src.end(), dst.begin() + 64)) << n;
        EXPECT_TRUE(std::all_of(dst.begin(), dst.begin() + 64, guard)) << n;
        EXPECT_TRUE(std::all_of(dst.end() - 64, dst.end(), guard)) << n;
    }
}

// Right after a frame converted by a team, OpenMP keeps the team's pool threads spinning for a
// while: they are runnable, and the load-following policy must recognise them as the
// conversion's own (counted as other work, back-to-back frames would fall back to one thread).
// Once they sleep they are no longer runnable.
TEST(ThreadTeam, OwnIdleTeamMembersAreRecognised) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one processor";
    const char* policy = std::getenv("OMP_WAIT_POLICY");
    if (policy && (std::strcmp(policy, "passive") == 0 || std::strcmp(policy, "PASSIVE") == 0))
        GTEST_SKIP() << "team members sleep at once";
    const int32_t w = 1920, h = 256, pitch = 2 * w;
    const std::vector<uint8_t> src(size_t(pitch) * h, 0x80);
    std::vector<uint8_t> out(size_t(3 * w) * h);
    ConvertOptions team;
    team.maxThreads = 2;
    team.followLoad = false;
    ASSERT_TRUE(ConvertFrameWith(team, w, h, 0, kLayoutUYVY, src.data(), pitch, kLayoutBGR3,
                                 out.data(), 3 * w));
    EXPECT_GE(TeamWorkersRunnable(), 1);
    int runnable = 1;
    for (int i = 0; i < 400 && runnable > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        runnable = TeamWorkersRunnable();
    }
    EXPECT_EQ(runnable, 0);
}

}  // namespace

// The start-up the view benchmarks share: an offscreen application, the core, a one-frame
// UYVY clip of width x height in a temporary folder, opened in a 1280 x 720 view without frame or
// scroll bars; the registered benchmarks then run against that view.
#pragma once

class CVideoBuffer;

// Runs every registered benchmark with *view pointing at the open view (null again afterwards).
// Returns the process's exit status.
int RunViewBenchmarks(int argc, char** argv, int width, int height, CVideoBuffer** view);

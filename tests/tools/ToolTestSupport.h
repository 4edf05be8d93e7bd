// Shared pieces of the kavlo-tool tests: the settings record of a generated clip, and a run of
// the tool's executable with what it printed and its exit status.
#pragma once

#include "clipgen/ClipGen.h"
#include "settings/RawSettings.h"

#include <string>
#include <vector>

namespace tooltest {

// The record that reads a clip: its layout and geometry, field detail 9 (woven) or 1
// (separated), negative line bytes for bottom-up rows.
RawSettings SettingsFor(const clipgen::ClipOptions& options);

struct Run {
    int status = -1;  // exit status; -1 when the tool did not exit normally
    std::string out, err;
};
// Runs kavlo-tool with `args` through `bash -c` when `shellPrefix` is given ("ulimit -f 1;").
Run RunTool(const std::vector<std::string>& args, const std::string& shellPrefix = {});

}  // namespace tooltest

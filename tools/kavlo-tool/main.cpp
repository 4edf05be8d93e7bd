// kavlo-tool: the viewer's reading of raw video files for scripts, without a window: info,
// export and compare.
#include "ToolArgs.h"
#include "ToolCommands.h"
#include "ToolInput.h"

#include "TNCore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace kavlotool;

namespace {

// Runs `step` with standard error sent to /dev/null: the core logs its start and its close on
// standard error, which a script reading the tool's messages does not want.
template <typename Step>
void WithoutCoreLog(Step step) {
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) ::dup2(null, 2);
    step();
    if (saved >= 0 && null >= 0) ::dup2(saved, 2);
    if (null >= 0) ::close(null);
    if (saved >= 0) ::close(saved);
}

int UsageError(const std::string& text) {
    PrintError(text);
    std::fprintf(stderr, "%s\n", UsageLine());
    return kExitUsage;
}

// Examines a file and completes its settings; prints what the guess filled in.
int Prepare(const CommandLine& parsed, bool needSettings, Input& input) {
    std::string error;
    if (!ExamineFile(parsed.fileName, parsed.filePrefix, input, error)) {
        PrintError(error);
        return kExitFailed;
    }
    if (!needSettings) {
        input.complete = parsed.width > 0 && parsed.height > 0 && parsed.code != 0;
        if (input.complete) input.settings = BuildRawSettings(parsed);
        return kExitOk;
    }
    if (!ResolveSettings(input, parsed, error)) {
        PrintError(error);
        return kExitFailed;
    }
    if (!input.guessed.empty())
        PrintError(input.path + ": read as " + input.guessed + ", the likeliest reading of its " +
                   std::to_string(input.size) + " bytes (give -w, -h and -l to choose)");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const Request request = ParseArguments(args);
    if (request.command == Command::Help) {
        std::fputs(UsageText(), stdout);
        return kExitOk;
    }
    if (!request.error.empty()) return UsageError(request.error);
    if (request.command == Command::Export) {
        std::string error;
        NamePattern pattern;
        std::string format;
        if (!ParseOutputPattern(request.outPattern, pattern, format, error))
            return UsageError(error);
    }

    // The core finds the raw video source in the plugins folder beside the program.
    WithoutCoreLog([] { TNCoreInitialize(nullptr); });
    int status = kExitOk;
    Input first, second;
    if (request.command == Command::Info) {
        status = Prepare(request.first, false, first);
        if (status == kExitOk) status = RunInfo(request, first, request.first);
    } else if (request.command == Command::Export) {
        status = Prepare(request.first, true, first);
        if (status == kExitOk) status = RunExport(request, first);
    } else {
        status = Prepare(request.first, true, first);
        if (status == kExitOk) status = Prepare(request.second, true, second);
        if (status == kExitOk) status = RunCompare(request, first, second);
    }
    std::fflush(stdout);
    WithoutCoreLog([] { TNCoreClose(); });
    return status;
}

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

// Examines a file and decides its settings as the viewer would; prints what the guess took.
int Prepare(const CommandLine& parsed, bool mayGuess, Input& input) {
    std::string error, note;
    if (!ExamineFile(parsed.fileName, parsed.filePrefix, input, error)) {
        PrintError(error);
        return kExitFailed;
    }
    const int status = ResolveSettings(input, parsed, mayGuess, error, note);
    if (status == kExitUsage) return UsageError(error);
    if (status != kExitOk) {
        PrintError(error);
        return status;
    }
    if (!note.empty()) PrintError(note);
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
        status = Prepare(request.first, true, first);
        if (status == kExitOk) status = RunInfo(request, first, request.first);
    } else if (request.command == Command::Export) {
        status = Prepare(request.first, true, first);
        if (status == kExitOk) status = RunExport(request, first);
    } else {
        // Two files are compared only as they are known to be read, or when asked to guess;
        // settings that leave the size or layout open narrow the guess as they always did.
        status = Prepare(request.first, request.guess || request.first.formatGiven, first);
        if (status == kExitOk)
            status = Prepare(request.second, request.guess || request.second.formatGiven, second);
        if (status == kExitOk) status = RunCompare(request, first, second);
    }
    std::fflush(stdout);
    WithoutCoreLog([] { TNCoreClose(); });
    return status;
}

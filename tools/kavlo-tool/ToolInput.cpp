#include "ToolInput.h"

#include "settings/FileNameHints.h"
#include "settings/FrameSizeGuess.h"
#include "settings/OpenPlan.h"
#include "settings/TerminalText.h"
#include "image/PixelLayout.h"
#include "view/file/LocalFileName.h"
#include "view/file/StoredSettings.h"

#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>

namespace kavlotool {

namespace {

// As much of the file's start as the settings dialog's guess looks at.
constexpr size_t kStartBytes = 256 * 1024;

}  // namespace

void PrintError(const std::string& text) {
    // File names come into these messages as given: never raw bytes that drive the terminal.
    std::fprintf(stderr, "kavlo-tool: %s\n", kavlo::TerminalSafeText(text).c_str());
}

std::string LayoutText(uint32_t code) {
    const std::string name = LayoutName(code);
    if (!name.empty()) return name;
    char text[32];
    std::snprintf(text, sizeof text, "code 0x%08x", code);
    return text;
}

bool ExamineFile(const std::string& path, int64_t filePrefix, Input& out, std::string& error) {
    out.path = path;
    // Not blocking: opening a named pipe would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + (S_ISDIR(st.st_mode) ? ": is a directory" : ": is not a regular file");
        ::close(fd);
        return false;
    }
    out.size = static_cast<int64_t>(st.st_size);
    out.start.resize(kStartBytes);
    const ssize_t got = ::pread(fd, out.start.data(), out.start.size(), filePrefix);
    const int readError = errno;
    ::close(fd);
    if (got < 0) {
        error = path + ": " + std::strerror(readError);
        return false;
    }
    out.start.resize(static_cast<size_t>(got));
    return true;
}

std::vector<rawsettings::FrameSizeGuess> ReadingsOf(const Input& input, const CommandLine& parsed) {
    // The ranking the open plan's guess takes, the name's size and layout preferred.
    const rawsettings::GuessConstraints constraints =
        kavlo::GuessConstraintsFor(parsed, rawsettings::ReadFileNameHints(input.path));
    return rawsettings::RankFrameSizeGuesses(input.size, constraints, input.start.data(),
                                             input.start.size());
}

int ResolveSettings(Input& in, const CommandLine& parsed, bool mayGuess, std::string& error,
                    std::string& note) {
    const QString path =
        kavlo::AbsoluteFileName(kavlo::FileNameFromBytes(QByteArray::fromStdString(in.path)));
    // The settings the viewer stored, read and never written.
    QString unusable;
    const std::unique_ptr<QSettings> store = kavlo::OpenUserStore(&unusable);
    if (!unusable.isEmpty()) {
        static const bool told = [&unusable] {
            PrintError(QStringLiteral("%1 is not a regular file; no stored settings are used")
                           .arg(unusable)
                           .toStdString());
            return true;
        }();
        (void)told;
    }
    const QVector<kavlo::StoredFile> files = kavlo::ReadStoredFiles(*store);
    const kavlo::StoredFile* stored = kavlo::FindStoredFile(files, path);
    const size_t startBytes =
        static_cast<size_t>(std::max<int64_t>(parsed.filePrefix, 0)) + kStartBytes;
    const kavlo::OpenPlan plan =
        kavlo::PlanFileOpen(path, &parsed, stored, false, mayGuess, startBytes, true);
    if (plan.source == kavlo::OpenSource::Refuse) {
        if (plan.settingsMissing) {
            error = in.path +
                    ": no settings are given or stored for it and it has no stream header: give "
                    "-w, -h and -l, or --guess to read it by its likeliest reading";
            return kExitUsage;
        }
        error = in.path + ": " + plan.reason;
        return kExitFailed;
    }
    in.settings = plan.settings;
    const bool guessed =
        plan.source == kavlo::OpenSource::Hints || plan.source == kavlo::OpenSource::Guess;
    in.complete = !guessed;
    in.guessed = guessed ? plan.reason : std::string();
    note = plan.reason.empty() ? std::string() : in.path + ": " + plan.reason;
    return kExitOk;
}

}  // namespace kavlotool

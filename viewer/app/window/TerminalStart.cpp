#include "app/window/TerminalStart.h"

#include "app/common/AppInfo.h"
#include "app/window/HelpWin.h"
#include "settings/TerminalText.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace kavlo {

namespace {

bool IsSet(const char* text) { return text && *text; }

// The first platform of a list such as "wayland;xcb", without its options ("xcb:foo=1").
std::string FirstPlatform(std::string names) {
    names = names.substr(0, names.find(';'));
    return names.substr(0, names.find(':'));
}

}  // namespace

EarlyAnswer DecideEarlyAnswer(const CommandLine& parsed, const StartPlace& place) {
    // A request for the usage or the version wins over an error after it, as in the window.
    if (parsed.help) {
        const bool window =
            parsed.helpSwitch == "-?" && place.display && !place.stdoutTerminal && !parsed.play;
        if (!window) return EarlyAnswer::Usage;
    }
    if (parsed.version) return EarlyAnswer::Version;
    return place.display ? EarlyAnswer::None : EarlyAnswer::Refusal;
}

bool DisplayReachable(const std::vector<std::string>& args, const char* platform,
                      const char* display, const char* waylandDisplay) {
    std::string named = IsSet(platform) ? std::string(platform) : std::string();
    // The toolkit's own -platform option wins over the environment.
    for (size_t i = 1; i + 1 < args.size(); ++i)
        if (args[i] == "-platform" || args[i] == "--platform") named = args[i + 1];
    const std::string first = FirstPlatform(named);
    if (!first.empty() && first != "xcb") return true;
    if (first == "xcb") return IsSet(display);
    return IsSet(display) || IsSet(waylandDisplay);
}

QString EarlyAnswerText(EarlyAnswer answer, const CommandLine& parsed) {
    switch (answer) {
    case EarlyAnswer::None: break;
    case EarlyAnswer::Usage: return CHelpWin::BuildPrintedUsage();
    case EarlyAnswer::Version:
        return QStringLiteral("%1, %2\n%3\n").arg(AppName(), VersionText(), MakerLine());
    case EarlyAnswer::Refusal: {
        const QString more =
            QStringLiteral(
                "%1 --help prints the usage; kavlo-tool reads the same files without "
                "a window.")
                .arg(AppName());
        if (!parsed.error.empty())
            return QStringLiteral("%1: %2\n%3")
                .arg(AppName(), QString::fromLocal8Bit(parsed.error.c_str()), more);
        return QStringLiteral(
                   "%1: no window can be shown: there is no display (DISPLAY is not "
                   "set).\n%2")
            .arg(AppName(), more);
    }
    }
    return QString();
}

std::optional<int> AnswerBeforeToolkit(const std::vector<std::string>& args) {
    const CommandLine parsed = ParseCommandLine(args);
    StartPlace place;
    place.display = DisplayReachable(args, std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                     std::getenv("WAYLAND_DISPLAY"));
    place.stdoutTerminal = ::isatty(STDOUT_FILENO) == 1;
    const EarlyAnswer answer = DecideEarlyAnswer(parsed, place);
    if (answer == EarlyAnswer::None) return std::nullopt;
    const bool refused = answer == EarlyAnswer::Refusal;
    PrintText(refused ? stderr : stdout, EarlyAnswerText(answer, parsed));
    return refused ? 1 : 0;
}

bool StartedFromTerminal() { return ::isatty(STDIN_FILENO) == 1 || ::isatty(STDERR_FILENO) == 1; }

void PrintText(std::FILE* stream, QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QByteArray bytes = text.toLocal8Bit();
    // Messages on standard error name files as given: their bytes must not drive the terminal.
    if (stream == stderr)
        bytes = QByteArray::fromStdString(
            TerminalSafeText(std::string_view(bytes.constData(), size_t(bytes.size()))));
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    if (!text.endsWith(QLatin1Char('\n'))) std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace kavlo

#include "ToolTestSupport.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

namespace tooltest {

RawSettings SettingsFor(const clipgen::ClipOptions& o) {
    RawSettings s{};
    s.size = kRawSettingsSize;
    s.filePrefix = static_cast<int32_t>(o.filePrefix);
    s.framePrefix = o.framePrefix;
    s.framePostfix = o.framePostfix;
    s.frameDuration = 1;
    s.timeScale = 25;
    int32_t detail = 0;
    if (o.fields == clipgen::FieldMode::Woven) detail = o.bottomFieldFirst ? 14 : 9;
    if (o.fields == clipgen::FieldMode::Separated) detail = o.bottomFieldFirst ? 6 : 1;
    EXPECT_TRUE(BuildRawVideoFormat(s.rawFormat, o.width, o.height, o.code,
                                    clipgen::ClipLineBytes(o), detail));
    if (o.bottomUp) s.rawFormat.lineBytes = -s.rawFormat.lineBytes;
    return s;
}

Run RunTool(const std::vector<std::string>& args, const std::string& shellPrefix) {
    QProcess process;
    QStringList list;
    for (const std::string& a : args) list << QString::fromStdString(a);
    if (shellPrefix.empty()) {
        process.start(QStringLiteral(KAVLO_TOOL), list);
    } else {
        // The arguments reach the tool as the shell's positional parameters, unquoted by it.
        process.start(QStringLiteral("bash"), QStringList{QStringLiteral("-c"),
                                                          QString::fromStdString(shellPrefix) +
                                                              QStringLiteral(" exec \"$0\" \"$@\""),
                                                          QStringLiteral(KAVLO_TOOL)} +
                                                  list);
    }
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    if (process.exitStatus() == QProcess::NormalExit) run.status = process.exitCode();
    return run;
}

}  // namespace tooltest

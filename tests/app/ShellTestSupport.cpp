#include "ShellTestSupport.h"

#include "clipgen/ClipGen.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstring>

namespace shelltest {

namespace {

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

QString SettingsFolder() { return Scratch().filePath(QStringLiteral("settings")); }

}  // namespace

void RedirectSettings() {
    QDir().mkpath(SettingsFolder());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, SettingsFolder());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, SettingsFolder());
}

void ClearSettings() {
    auto s = Store();
    s->clear();
    s->sync();
}

std::unique_ptr<QSettings> Store() {
    return std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("Brellin GmbH"),
                                       QStringLiteral("Kavlo"));
}

QString FileOfSize(const QString& name, int64_t size) {
    const QString path = Scratch().filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return QString();
    QByteArray block(65536, '\0');
    for (int i = 0; i < block.size(); ++i) block[i] = char((i * 7) & 0xFF);
    for (int64_t left = size; left > 0;) {
        const int64_t n = std::min<int64_t>(left, block.size());
        f.write(block.constData(), n);
        left -= n;
    }
    return path;
}

QString SparseFile(const QString& name, int64_t size) {
    const QString path = Scratch().filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || !f.resize(size)) return QString();
    return path;
}

QString Clip(const QString& name, uint32_t code, int32_t width, int32_t height, int32_t frames) {
    clipgen::ClipOptions o;
    o.code = code;
    o.width = width;
    o.height = height;
    o.frames = frames;
    const QString path = Scratch().filePath(name);
    std::string error;
    if (!clipgen::WriteClip(o, QFile::encodeName(path).toStdString(), error)) return QString();
    return path;
}

RawSettings SettingsFor(uint32_t code, int32_t width, int32_t height) {
    RawSettings r;
    std::memset(&r, 0, sizeof r);
    r.size = kRawSettingsSize;
    r.frameDuration = 1;
    r.timeScale = 25;
    BuildRawVideoFormat(r.rawFormat, width, height, code, 0, 0);
    return r;
}

// Runs `act` on the next modal dialog or message box that opens.
void OnNextModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal)
            act(modal);
        else
            OnNextModal(act);
    });
}

}  // namespace shelltest

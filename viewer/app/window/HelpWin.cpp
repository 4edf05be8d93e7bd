#include "app/window/HelpWin.h"

#include "app/common/AppInfo.h"
#include "app/common/KeyTable.h"
#include "app/window/ViewerDlg.h"
#include "settings/CommandLine.h"
#include "image/PixelLayout.h"
#include "view/KeyInput.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

constexpr int kWideNamePixels = 60;

const char kUsageHead[] =
    "Usage: %1 [Settings] [Filename]\r\n\t\t\r\n"
    "[Filename]\tFilename of RAW video file to be displayed.\r\n\t\t\r\n"
    "[Settings]\t\tOne ore more of the following settings:\r\n\t\t\r\n"
    "-o[SIZE]\t\tskip bytes at the begining of the file\r\n\t\t\r\n"
    "-b[SIZE]\t\tskip bytes at the begining of every frame\r\n\t\t\r\n"
    "-e[SIZE]\t\tskip bytes at the end of every frame\r\n\t\t\r\n"
    "-i\t\tinput has interlaced fields\r\n\t\t\r\n"
    "-tmp\t\tinput has temporal fields\r\n\t\t\r\n"
    "-l\t\tone of the pixel layouts:\r\n";

const char kUsageOtherNames[] =
    "\t\t\r\n\t\tOther names of the layouts, in any case (ffmpeg's pixel formats among them);\r\n"
    "\t\ta name that is also a keyword above is that keyword (\"bgra\" is BGRA, rows "
    "bottom-up):\r\n";

const char kUsageTail[] =
    "\t\t\r\n-w\t\tthe image file's width\r\n\t\t\r\n"
    "-h\t\tthe image file's height\r\n\t\t\r\n"
    "-s\t\tstride in bytes (optional)\r\n\t\t\r\n"
    "-matrix\t\tY'CbCr colour matrix: 601 (default), 709, 2020 or auto\r\n\t\t\r\n"
    "-range\t\tY'CbCr sample range: limited (default) or full\r\n\t\t\r\n"
    "-fps R\t\twith -play: play at R frames per second, dropping late frames\r\n\t\t\r\n"
    "-cache MB\tthe read-ahead cache's size (kept; 2048 or a quarter of memory when never "
    "given)\r\n\t\t\r\n"
    "-mv\t\tmirror the output vertically\r\n\t\t\r\n";

// What each view key does, in the words of the help text.
const char* ActionText(const kavlo::ViewKey& key) {
    using kavlo::ViewKeyAction;
    switch (key.action) {
    case ViewKeyAction::None: return nullptr;
    case ViewKeyAction::ShowAll: return "show all: fit, and every display switch off";
    case ViewKeyAction::ActualSize: return "actual size (zoom 100%)";
    // The filter and method switches mark the status text only; the picture stays as it is.
    case ViewKeyAction::ToggleFilter1:
        return "marker \"[Filter 1]\" in the status text on or off (the picture is unchanged)";
    case ViewKeyAction::ToggleFilter2:
        return "marker 2: with marker 1 on, the status text says \"[Filter 2]\"";
    case ViewKeyAction::ToggleFilter3:
        return "marker 3: with markers 1 and 2 on, the status text says \"[Filter 3]\"";
    case ViewKeyAction::ShowAllChannels: return "all channels";
    case ViewKeyAction::ShowY: return "Y' channel alone";
    case ViewKeyAction::ShowCb: return "Cb channel alone";
    case ViewKeyAction::ShowCr: return "Cr channel alone";
    case ViewKeyAction::ToggleMethod2Label:
        return "marker \"Method 2\" in the status text on or off (the picture is unchanged)";
    case ViewKeyAction::ToggleDeinterlace: return "deinterlace on or off";
    case ViewKeyAction::ToggleSplitFields: return "split fields on or off";
    case ViewKeyAction::ToggleSeparatedFields: return "fields stored separately, inverted";
    case ViewKeyAction::ToggleInterlace: return "interlaced, inverted";
    case ViewKeyAction::ToggleFieldOrder: return "toggle field order";
    case ViewKeyAction::ToggleFlip: return "flip vertically";
    case ViewKeyAction::SetDeinterlaceMethod:
        switch (key.method) {
        case kavlo::kDeinterlaceTopField: return "deinterlacing method: top field";
        case kavlo::kDeinterlaceBottomField: return "deinterlacing method: bottom field";
        case kavlo::kDeinterlaceBlendFields: return "deinterlacing method: blend fields";
        case kavlo::kDeinterlaceLowPass: return "deinterlacing method: low-pass filter";
        }
        return nullptr;
    case ViewKeyAction::ZoomIn: return "zoom in";
    case ViewKeyAction::ZoomOut: return "zoom out";
    case ViewKeyAction::ToggleMosaicGrey: return "Bayer mosaic samples as grey on or off";
    case ViewKeyAction::CycleColourMatrix:
        return "colour matrix: BT.601, BT.709, BT.2020, automatic (View > Colour)";
    case ViewKeyAction::ToggleFullRange: return "full-range Y'CbCr on or off (View > Colour)";
    }
    return nullptr;
}

// The mouse in the main window.
const char kMouseLines[] =
    "Zoom 16 and up\t- source values on every pixel (View > Show Values When Zoomed)\r\n"
    "Space+drag\t- pan (Space+wheel scrolls)\r\n"
    "Ctrl+click\t- zoom in (a drag zooms to the rectangle)\r\n"
    "Ctrl+right click\t- zoom out about the point\r\n"
    "Ctrl+wheel\t- zoom about the pointer\r\n"
    "Wheel\t\t- scroll a tenth of the view\r\n";

// The command-line tool installed beside the viewer.
const char kToolLine[] =
    "kavlo-tool (beside Kavlo) reads the same settings without a window: info, export of frames "
    "as PNG or PPM, compare (PSNR); kavlo-tool --help tells more.\r\n";

}  // namespace

QString CHelpWin::BuildKeysText() {
    QString text = QStringLiteral("Keys:\r\n\t\t\r\n");
    // The main window's key table, then the keys that only the view knows, then the mouse.
    const std::vector<kavlo::KeyRow>& table = CTNViewerDlg::KeyTable();
    text += kavlo::KeyHelpText(table);
    // Every key the view's table might know, asked of the table itself.
    struct Candidate {
        int key;
        Qt::KeyboardModifiers modifiers;
    };
    std::vector<Candidate> candidates;
    for (int key = Qt::Key_0; key <= Qt::Key_9; ++key) candidates.push_back({key, Qt::NoModifier});
    candidates.push_back({Qt::Key_0, Qt::ControlModifier});
    for (int key = Qt::Key_0; key <= Qt::Key_9; ++key)
        candidates.push_back({key, Qt::ShiftModifier});
    for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key) candidates.push_back({key, Qt::NoModifier});
    for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key)
        candidates.push_back({key, Qt::ShiftModifier});
    candidates.push_back({Qt::Key_Plus, Qt::KeypadModifier});
    candidates.push_back({Qt::Key_Minus, Qt::KeypadModifier});
    for (const Candidate& c : candidates) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
        const char* action = ActionText(kavlo::LookUpViewKey(event));
        if (!action) continue;
        const QKeyCombination pressed = kavlo::PressedKey(event);
        if (std::any_of(table.begin(), table.end(), [pressed](const kavlo::KeyRow& row) {
                return kavlo::KeyMatches(row, pressed);
            }))
            continue;  // the window's row above says what it does
        text += kavlo::KeyHelpLine(kavlo::KeyName(pressed), QLatin1String(action));
    }
    text += QString::fromLatin1(kMouseLines);
    return text;
}

QDialog* CHelpWin::CreateKeysWindow(QWidget* parent) {
    auto* window = new QDialog(parent);
    window->setObjectName(QStringLiteral("KeysWindow"));
    window->setWindowTitle(QStringLiteral("Keyboard Shortcuts - %1").arg(kavlo::AppName()));
    auto* keys = new QPlainTextEdit(window);
    keys->setObjectName(QStringLiteral("KeysText"));
    keys->setReadOnly(true);
    keys->setTabStopDistance(kWideNamePixels);
    keys->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QString text = BuildKeysText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    keys->setPlainText(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(keys, 1);
    layout->addWidget(buttons);
    window->resize(520, 560);
    return window;
}

CHelpWin::CHelpWin() : QDialog(nullptr) { Build(); }

CHelpWin::CHelpWin(int resourceId, QWidget* parent) : QDialog(parent) {
    (void)resourceId;  // the one window this class describes
    Build();
}

CHelpWin::~CHelpWin() {
    if (initialised_) qApp->removeEventFilter(this);
}

void CHelpWin::Build() {
    setWindowTitle(kavlo::AppName());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    auto* program = new QLabel(QStringLiteral("%1, %2\n%3")
                                   .arg(kavlo::AppName(), kavlo::VersionText(), kavlo::MakerLine()),
                               this);
    program->setAlignment(Qt::AlignCenter);
    errorLine_ = new QLabel(QStringLiteral("Error:"), this);
    errorLine_->setObjectName(QStringLiteral("ErrorLine"));
    errorLine_->setProperty("controlId", kErrorLineId);
    // Errors name files and values as given: long ones wrap, and they can be copied.
    errorLine_->setWordWrap(true);
    errorLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    usageToggle_ = new QPushButton(QStringLiteral("Show usage"), this);
    usageToggle_->setObjectName(QStringLiteral("UsageToggle"));
    usageToggle_->setCheckable(true);
    usageToggle_->setAutoDefault(false);
    connect(usageToggle_, &QPushButton::toggled, this, &CHelpWin::ShowUsageText);
    usage_ = new QPlainTextEdit(this);
    usage_->setObjectName(QStringLiteral("UsageText"));
    usage_->setProperty("controlId", kUsageTextId);
    usage_->setReadOnly(true);
    usage_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    usage_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab stops as wide as the tab rule's threshold, so one or two tabs line the dashes up.
    usage_->setTabStopDistance(kWideNamePixels);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addSpacing(30);
    top->addWidget(icon);
    top->addStretch(1);
    top->addWidget(program);
    top->addStretch(2);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ok);
    bottom->addStretch(1);
    auto* toggleRow = new QHBoxLayout;
    toggleRow->addWidget(usageToggle_);
    toggleRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(errorLine_);
    layout->addLayout(toggleRow);
    layout->addWidget(usage_, 1);
    layout->addLayout(bottom);
    resize(570, 570);
}

void CHelpWin::ShowUsageText(bool shown) {
    usage_->setVisible(shown);
    usageToggle_->setText(shown ? QStringLiteral("Hide usage") : QStringLiteral("Show usage"));
    if (usageToggle_->isChecked() != shown) usageToggle_->setChecked(shown);
    // Collapsed, the window is as tall as the error needs; open, tall enough to read the usage.
    if (shown)
        resize(std::max(width(), 570), std::max(height(), 570));
    else
        resize(std::max(width(), 570), minimumSizeHint().height());
}

QString CHelpWin::BuildUsageText(const QString& appName,
                                 const std::function<bool(const QString&)>& isWide) {
    QString text = QString::fromLatin1(kUsageHead).arg(appName);
    const PixelLayoutInfo* rows = LayoutCatalogue();
    for (int i = 0; i < kLayoutCount; ++i) {
        const QString name = QString::fromLatin1(rows[i].name);
        text += QStringLiteral("\t\t") + name;
        text += isWide(name) ? QStringLiteral("\t") : QStringLiteral("\t\t");
        text += QStringLiteral("- %1\r\n").arg(QString::fromLatin1(rows[i].description));
    }
    text += QString::fromLatin1(kUsageOtherNames);
    for (int i = 0; i < kLayoutCount; ++i) {
        const std::string names = LayoutOtherNames(rows[i].code);
        if (!names.empty())
            text += QStringLiteral("\t\t%1\t- %2\r\n")
                        .arg(QString::fromLatin1(rows[i].name), QString::fromStdString(names));
    }
    text += QString::fromLatin1(kUsageTail);
    return text;
}

QString CHelpWin::BuildOpeningText() {
    return QStringLiteral(
        "Files without settings:\r\n"
        "\t\tThe file's name and its two nearest folders propose them: a size (1920x1080, "
        "1080p, 720p50, 1080i, 4k, uhd, cif, qcif, pal, ntsc, vga), a frame rate (30fps, "
        "29.97fps, 25Hz, 50i) and a layout (any -l keyword, or words such as 420, 422, 444, "
        "10bit, le, be, yuv, rgb, gray). A size or layout that leaves no whole frames in the file "
        "is not used; the settings dialog says what was.\r\n"
        "\t\tA YUV4MPEG2 file (.y4m, or one that starts with \"YUV4MPEG2 \") opens without the "
        "dialog: its header gives size, layout, frame rate, interlacing and pixel aspect. Frames "
        "whose FRAME line carries parameters are not shown. Settings stored for the file in the "
        "recent list win.\r\n"
        "\t\tThe settings dialog (File > Properties, Alt+F P; or Ctrl+O) keeps the frame rate in "
        "its \"fps\" field (0.1 to 1000; empty: none, 25 shown); the rate field beside the "
        "slider changes it for the session only.\r\n");
}

QString CHelpWin::BuildPrintedUsage() {
    QString text =
        BuildUsageText(kavlo::AppName(), [](const QString& name) { return name.size() >= 8; }) +
        QStringLiteral("\r\n") + BuildOpeningText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

bool CHelpWin::OnInitDialog() {
    const QFontMetrics metrics(usage_->font());
    const QString text = BuildUsageText(kavlo::AppName(), [&metrics](const QString& name) {
        return metrics.horizontalAdvance(name) >= kWideNamePixels;
    });
    // The control keeps plain line feeds; the text itself is built with the window line ends.
    QString shown = text + QStringLiteral("\r\n") + BuildOpeningText() + QStringLiteral("\r\n") +
                    BuildKeysText() + QStringLiteral("\r\n") + QString::fromLatin1(kToolLine);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    usage_->setPlainText(shown);
    usage_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    errorLine_->setText(errorText_);
    // An error comes first and alone; the usage it refers to is a click away. A request for the
    // usage shows it at once.
    const bool error = !errorText_.isEmpty();
    usageToggle_->setVisible(error);
    ShowUsageText(!error);
    if (!initialised_) qApp->installEventFilter(this);
    initialised_ = true;
    return true;
}

void CHelpWin::showEvent(QShowEvent* event) {
    if (!initialised_) OnInitDialog();
    QDialog::showEvent(event);
}

bool CHelpWin::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && (w == this || isAncestorOf(w)) && PreTranslateMessage(event)) return true;
    return QDialog::eventFilter(watched, event);
}

bool CHelpWin::PreTranslateMessage(QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    QScrollBar* bar = usage_->verticalScrollBar();
    switch (key->key()) {
    case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); return true;
    case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); return true;
    case Qt::Key_Home: bar->triggerAction(QAbstractSlider::SliderToMinimum); return true;
    case Qt::Key_End: bar->triggerAction(QAbstractSlider::SliderToMaximum); return true;
    case Qt::Key_Up: bar->triggerAction(QAbstractSlider::SliderSingleStepSub); return true;
    case Qt::Key_Down: bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); return true;
    default: return false;
    }
}

#include "RawSettingsDlg.h"

#include "AppInfo.h"
#include "Platform.h"
#include "view/FieldRender.h"
#include "view/LocalFileName.h"
#include "view/VideoBuffer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdlib>
#include <cstring>

using rawsettings::ByteCount;

namespace {

// The template is laid out in dialog units of an 8-point dialog font: 4 horizontal units are
// 6 pixels, 8 vertical units 13 pixels.
QRect DialogUnits(int x, int y, int w, int h) {
    return QRect(x * 3 / 2, y * 13 / 8, w * 3 / 2, h * 13 / 8);
}

template <class W>
W* Place(W* widget, int x, int y, int w, int h) {
    widget->setGeometry(DialogUnits(x, y, w, h));
    return widget;
}

void Name(QWidget* w, int id) {
    w->setObjectName(QStringLiteral("Control%1").arg(id));
    w->setProperty("controlId", id);
}

}  // namespace

CUpDown::CUpDown(QWidget* parent) : QWidget(parent) {
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setObjectName(QStringLiteral("Up"));
    down_->setObjectName(QStringLiteral("Down"));
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { Q_EMIT Stepped(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { Q_EMIT Stepped(-1); });
}

CRawSettingsDlg::CRawSettingsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Brellin RAW Video Settings"));
    BuildControls();
    setFixedSize(DialogUnits(0, 0, 435, 334).size());
}

CRawSettingsDlg::~CRawSettingsDlg() {
    if (filterInstalled_) qApp->removeEventFilter(this);
}

void CRawSettingsDlg::BuildControls() {
    // Group boxes first so that they lie beneath the controls they frame.
    Place(new QGroupBox(QStringLiteral("Pixel Layout"), this), 7, 158, 421, 31);
    auto* sizeGroup = Place(new QGroupBox(QStringLiteral("Size"), this), 7, 196, 256, 67);
    Name(sizeGroup, kIdSizeGroup);
    Place(new QGroupBox(QStringLiteral("Preview"), this), 7, 272, 421, 34);
    Place(new QGroupBox(QStringLiteral("File Settings"), this), 270, 7, 158, 69);
    Place(new QGroupBox(QStringLiteral("Interlace Settings"), this), 270, 83, 158, 68);
    Place(new QGroupBox(QStringLiteral("Other Settings"), this), 270, 196, 158, 67);

    preview_ = Place(new CVideoBuffer(this), 7, 7, 256, 144);
    Name(preview_, kIdPreview);
    preview_->setAccessibleName(QStringLiteral("VideoBuffer"));

    Place(new QLabel(QStringLiteral("Format:"), this), 14, 172, 60, 8);
    layout_ = Place(new QComboBox(this), 75, 170, 346, 14);
    Name(layout_, kIdLayout);

    Place(new QLabel(QStringLiteral("Width:"), this), 14, 211, 60, 8);
    widthSlider_ = Place(new QSlider(Qt::Horizontal, this), 74, 208, 133, 15);
    Name(widthSlider_, kIdWidthSlider);
    widthEdit_ = Place(new QLineEdit(this), 210, 208, 35, 14);
    Name(widthEdit_, kIdWidthEdit);
    widthSpin_ = Place(new CUpDown(this), 245, 208, 11, 14);
    Name(widthSpin_, kIdWidthSpin);

    Place(new QLabel(QStringLiteral("Height:"), this), 14, 229, 60, 8);
    heightSlider_ = Place(new QSlider(Qt::Horizontal, this), 74, 226, 133, 15);
    Name(heightSlider_, kIdHeightSlider);
    heightEdit_ = Place(new QLineEdit(this), 210, 226, 35, 14);
    Name(heightEdit_, kIdHeightEdit);
    heightSpin_ = Place(new CUpDown(this), 245, 226, 11, 14);
    Name(heightSpin_, kIdHeightSpin);

    Place(new QLabel(QStringLiteral("Preset:"), this), 14, 246, 60, 8);
    preset_ = Place(new QComboBox(this), 74, 244, 182, 14);
    Name(preset_, kIdPreset);

    frameSlider_ = Place(new QSlider(Qt::Horizontal, this), 14, 284, 360, 15);
    Name(frameSlider_, kIdFrameSlider);
    frameLabel_ = Place(new QLabel(QStringLiteral("0"), this), 378, 287, 43, 8);
    Name(frameLabel_, kIdFrameLabel);

    Place(new QLabel(QStringLiteral("Prefix in Bytes:"), this), 279, 22, 77, 8);
    filePrefixEdit_ = Place(new QLineEdit(this), 358, 19, 52, 14);
    Name(filePrefixEdit_, kIdFilePrefix);
    auto* filePrefixSpin = Place(new CUpDown(this), 410, 19, 11, 14);
    Name(filePrefixSpin, kIdFilePrefixSpin);
    Place(new QLabel(QStringLiteral("Per Frame Prefix:"), this), 279, 40, 77, 8);
    framePrefixEdit_ = Place(new QLineEdit(this), 358, 37, 52, 14);
    Name(framePrefixEdit_, kIdFramePrefix);
    auto* framePrefixSpin = Place(new CUpDown(this), 410, 37, 11, 14);
    Name(framePrefixSpin, kIdFramePrefixSpin);
    Place(new QLabel(QStringLiteral("Per Frame Postfix:"), this), 279, 58, 77, 8);
    framePostfixEdit_ = Place(new QLineEdit(this), 358, 55, 52, 14);
    Name(framePostfixEdit_, kIdFramePostfix);
    auto* framePostfixSpin = Place(new CUpDown(this), 410, 55, 11, 14);
    Name(framePostfixSpin, kIdFramePostfixSpin);

    progressive_ = Place(new QRadioButton(QStringLiteral("Progressive Scan"), this), 279, 97, 81, 10);
    Name(progressive_, kIdProgressive);
    interlaced_ = Place(new QRadioButton(QStringLiteral("Interlaced"), this), 279, 112, 72, 10);
    Name(interlaced_, kIdInterlaced);
    // The two are set by the record, not by each other.
    progressive_->setAutoExclusive(false);
    interlaced_->setAutoExclusive(false);
    arrangement_ = Place(new QComboBox(this), 291, 127, 130, 14);
    Name(arrangement_, kIdFieldArrangement);

    flip_ = Place(new QCheckBox(QStringLiteral("Flip Vertically"), this), 279, 208, 95, 10);
    Name(flip_, kIdFlip);
    info_ = Place(new QLabel(QStringLiteral("Info text"), this), 14, 316, 277, 8);
    Name(info_, kIdInfo);

    auto* ok = Place(new QPushButton(QStringLiteral("OK"), this), 324, 313, 50, 14);
    ok->setObjectName(QStringLiteral("Control1"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto* cancel = Place(new QPushButton(QStringLiteral("Cancel"), this), 378, 313, 50, 14);
    cancel->setObjectName(QStringLiteral("Control2"));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Only the widgets that take typed numbers and the sliders need the focus besides the buttons.
    widthSlider_->setFocusPolicy(Qt::StrongFocus);
    heightSlider_->setFocusPolicy(Qt::StrongFocus);

    connect(widthSlider_, &QSlider::valueChanged, this, [this](int v) {
        if (!refreshing_) OnWidthTyped(v);
    });
    connect(heightSlider_, &QSlider::valueChanged, this, [this](int v) {
        if (!refreshing_) OnHeightTyped(v);
    });
    connect(widthSpin_, &CUpDown::Stepped, this, &CRawSettingsDlg::OnWidthStep);
    connect(heightSpin_, &CUpDown::Stepped, this, &CRawSettingsDlg::OnHeightStep);
    connect(filePrefixSpin, &CUpDown::Stepped, this,
            [this](int d) { OnByteCountStep(ByteCount::FilePrefix, d); });
    connect(framePrefixSpin, &CUpDown::Stepped, this,
            [this](int d) { OnByteCountStep(ByteCount::FramePrefix, d); });
    connect(framePostfixSpin, &CUpDown::Stepped, this,
            [this](int d) { OnByteCountStep(ByteCount::FramePostfix, d); });
    connect(layout_, qOverload<int>(&QComboBox::activated), this, &CRawSettingsDlg::OnLayoutChosen);
    connect(preset_, qOverload<int>(&QComboBox::activated), this, &CRawSettingsDlg::OnPresetChosen);
    connect(arrangement_, qOverload<int>(&QComboBox::activated), this,
            &CRawSettingsDlg::OnFieldArrangementChosen);
    connect(progressive_, &QRadioButton::clicked, this, [this] { OnProgressive(); });
    connect(interlaced_, &QRadioButton::clicked, this, [this] { OnInterlaced(); });
    connect(flip_, &QCheckBox::clicked, this, [this] { OnFlip(); });
    connect(frameSlider_, &QSlider::valueChanged, this, [this](int v) {
        if (!refreshing_) OnFrameSlider(v);
    });
}

int CRawSettingsDlg::RunForFile(const QString& path, const RawSettings& settings, QString& errorText,
                                int64_t startFrame) {
    int result = Prepare(path, settings, errorText, startFrame);
    if (result == 0) result = exec() == QDialog::Accepted ? kResultOk : kResultCancel;
    FinishRun();
    return result;
}

int CRawSettingsDlg::Prepare(const QString& path, const RawSettings& settings, QString& errorText,
                             int64_t startFrame) {
    record_ = settings;
    qint64 size = 0;
    if (!kavlo::LocalFileSize(path, &size)) size = 0;
    fileSize_ = size;
    if (fileSize_ < 2) {
        errorText = QStringLiteral("Error: Couldn't open file or file too small");
        rememberedDeinterlace_ = record_.deinterlace;
        rememberedMethod_ = record_.deinterlaceMethod;
        return kResultFailed;
    }
    if (record_.size != kRawSettingsSize) record_ = rawsettings::GuessSettings(fileSize_);

    rememberedDeinterlace_ = record_.deinterlace;
    rememberedMethod_ = record_.deinterlaceMethod;
    if ((record_.rawFormat.extensionFlags & kExtFieldInfo) && record_.rawFormat.fieldCount == 2) {
        record_.deinterlace = 1;
        record_.deinterlaceMethod = kavlo::kDeinterlaceTopField;
    }
    // The preview scales the picture into its area from the start.
    preview_->SetFitMode(true);
    if (preview_->OpenFile(&record_, path, errorText, startFrame) != 0) return kResultFailed;
    path_ = path;
    StartWindow();
    return 0;
}

void CRawSettingsDlg::FinishRun() {
    record_.deinterlace = rememberedDeinterlace_;
    record_.deinterlaceMethod = rememberedMethod_;
    if (filterInstalled_) {
        qApp->removeEventFilter(this);
        filterInstalled_ = false;
    }
}

void CRawSettingsDlg::StartWindow() {
    FillControls();
    RefreshControls();
    preview_->SetFitMode(true);
    preview_->SetDeinterlacingMethod(kavlo::kDeinterlaceTopField);
    preview_->RenderFrame();
    if (!filterInstalled_) {
        qApp->installEventFilter(this);
        filterInstalled_ = true;
    }
}

void CRawSettingsDlg::FillControls() {
    refreshing_ = true;
    for (QSlider* s : {widthSlider_, heightSlider_}) {
        s->setRange(rawsettings::kMinSize, rawsettings::kMaxSize);
        s->setPageStep(64);
    }
    layout_->clear();
    const PixelLayoutInfo* rows = LayoutCatalogue();
    const QFontMetrics metrics(layout_->view()->font());
    int widest = 0;
    for (int i = 0; i < kLayoutCount; ++i) {
        const QString text = QStringLiteral("%1 - %2")
                                 .arg(QString::fromLatin1(rows[i].name), QString::fromLatin1(rows[i].description));
        layout_->addItem(text, rows[i].code);
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    const int extent = widest + metrics.averageCharWidth();
    layout_->view()->setMinimumWidth(extent + 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) +
                                     style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    layout_->setMaxVisibleItems(23);
    layout_->setCurrentIndex(0);
    layoutIndex_ = 0;

    preset_->clear();
    for (int i = 0; i < rawsettings::kPresetCount; ++i)
        preset_->addItem(QString::fromUtf8(rawsettings::SizePresets()[i].name));
    arrangement_->clear();
    for (int i = 0; i < rawsettings::kArrangementCount; ++i)
        arrangement_->addItem(QString::fromLatin1(rawsettings::FieldArrangements()[i].text));
    arrangement_->setCurrentIndex(0);
    setWindowTitle(QStringLiteral("RAW Video Settings (%1) - %2").arg(preview_->FileName(), kavlo::AppName()));
    refreshing_ = false;
}

int64_t CRawSettingsDlg::PreviewPosition() const { return preview_->CurrentPosition(); }

void CRawSettingsDlg::RefreshControls() {
    refreshing_ = true;
    const RawVideoFormat& f = record_.rawFormat;
    const int multiple = int(rawsettings::Multiple(f.widthMultiple));
    widthSlider_->setMinimum(multiple);
    widthSlider_->setSingleStep(multiple);
    widthSlider_->setValue(f.width);
    heightSlider_->setValue(f.height);
    widthEdit_->setText(QString::number(f.width));
    heightEdit_->setText(QString::number(f.height));
    preset_->setCurrentIndex(rawsettings::PresetFor(f.width, f.height));
    if (auto index = LayoutIndex(f.code)) {
        layout_->setCurrentIndex(*index);
        layoutIndex_ = *index;
    }
    const int64_t position = PreviewPosition();
    // The slider reaches frame INT_MAX at most; the label shows the whole number.
    frameSlider_->setRange(0, rawsettings::FrameSliderPosition(preview_->FrameCount() - 1));
    frameSlider_->setValue(rawsettings::FrameSliderPosition(position));
    frameLabel_->setText(QString::number(position));
    filePrefixEdit_->setText(QString::number(record_.filePrefix));
    framePrefixEdit_->setText(QString::number(record_.framePrefix));
    framePostfixEdit_->setText(QString::number(record_.framePostfix));
    if (f.fieldCount == 2) {
        interlaced_->setChecked(true);
        progressive_->setChecked(false);
        record_.deinterlace = 1;
        arrangement_->setEnabled(true);
        const int entry = rawsettings::ArrangementForFieldDetail(f.fieldDetail);
        if (entry >= 0) arrangement_->setCurrentIndex(entry);
    } else {
        progressive_->setChecked(true);
        interlaced_->setChecked(false);
        arrangement_->setEnabled(false);
    }
    flip_->setChecked(record_.mirrorVertical != 0);
    info_->setText(QStringLiteral("Total Frames: %1   File size: %2   Rest Bytes: %3")
                       .arg(preview_->FrameCount())
                       .arg(qulonglong(record_.fileSize))
                       .arg(qlonglong(record_.trailingBytes)));
    refreshing_ = false;
}

bool CRawSettingsDlg::ApplySettings(const RawSettings& candidateIn) {
    RawSettings candidate = candidateIn;
    const int64_t noted = PreviewPosition();
    if (!rawsettings::RebuildFormat(candidate)) return false;
    const RawVideoFormat& f = candidate.rawFormat;
    const int64_t frameBytes = std::llabs(int64_t(f.lineBytes)) * std::llabs(int64_t(f.height));
    if (rawsettings::WholeFrames(fileSize_, candidate.filePrefix, frameBytes, candidate.framePostfix,
                                 candidate.framePrefix) < 1)
        return false;
    QString error;
    if (preview_->OpenFile(&candidate, path_, error, 0) != 0) return false;
    record_ = candidate;
    preview_->LoadFrame(noted);
    RefreshControls();
    return true;
}

void CRawSettingsDlg::SetWidthValue(int64_t value) {
    const int32_t v = rawsettings::ValidateWidth(record_, value);
    if (v != record_.rawFormat.width) {
        RawSettings candidate = record_;
        candidate.rawFormat.width = v;
        ApplySettings(candidate);
    }
    // The controls show the value in force, whether the new one was taken or not.
    refreshing_ = true;
    widthSlider_->setValue(record_.rawFormat.width);
    widthEdit_->setText(QString::number(record_.rawFormat.width));
    refreshing_ = false;
}

void CRawSettingsDlg::SetHeightValue(int64_t value) {
    const int32_t v = rawsettings::ValidateHeight(record_, value);
    if (v != record_.rawFormat.height) {
        RawSettings candidate = record_;
        candidate.rawFormat.height = v;
        ApplySettings(candidate);
    }
    refreshing_ = true;
    heightSlider_->setValue(record_.rawFormat.height);
    heightEdit_->setText(QString::number(record_.rawFormat.height));
    refreshing_ = false;
}

void CRawSettingsDlg::SetByteCountValue(ByteCount which, int64_t value) {
    const int64_t v = rawsettings::ValidateByteCount(record_, which, value);
    if (v != rawsettings::CurrentByteCount(record_, which)) {
        RawSettings candidate = record_;
        rawsettings::SetByteCount(candidate, which, v);
        ApplySettings(candidate);
    }
    ByteCountEdit(which)->setText(QString::number(rawsettings::CurrentByteCount(record_, which)));
}

void CRawSettingsDlg::OnWidthTyped(int64_t value) { SetWidthValue(value); }
void CRawSettingsDlg::OnHeightTyped(int64_t value) { SetHeightValue(value); }

void CRawSettingsDlg::OnWidthStep(int direction) {
    const int64_t step = rawsettings::Multiple(record_.rawFormat.widthMultiple);
    int64_t v = widthSlider_->value() + direction * step;
    v = std::clamp<int64_t>(v, widthSlider_->minimum(), rawsettings::kMaxStepSize);
    SetWidthValue(v);
}

void CRawSettingsDlg::OnHeightStep(int direction) {
    const int64_t step = rawsettings::Multiple(record_.rawFormat.heightMultiple);
    int64_t v = heightSlider_->value() + direction * step;
    v = std::clamp<int64_t>(v, heightSlider_->minimum(), rawsettings::kMaxStepSize);
    SetHeightValue(v);
}

void CRawSettingsDlg::OnByteCountTyped(ByteCount which, int64_t value) { SetByteCountValue(which, value); }

void CRawSettingsDlg::OnByteCountStep(ByteCount which, int direction) {
    SetByteCountValue(which, rawsettings::ReadDecimal(ByteCountEdit(which)->text()) + direction);
}

QLineEdit* CRawSettingsDlg::ByteCountEdit(ByteCount which) const {
    switch (which) {
    case ByteCount::FilePrefix: return filePrefixEdit_;
    case ByteCount::FramePrefix: return framePrefixEdit_;
    case ByteCount::FramePostfix: return framePostfixEdit_;
    }
    return filePrefixEdit_;
}

void CRawSettingsDlg::OnLayoutChosen(int index) {
    if (index < 0 || index >= kLayoutCount) return;
    const PixelLayoutInfo* rows = LayoutCatalogue();
    const int previous = layoutIndex_;
    const int direction = index > previous ? +1 : -1;
    for (int i = index; i >= 0 && i < kLayoutCount; i += direction) {
        RawSettings candidate = record_;
        candidate.rawFormat.code = rows[i].code;
        if (ApplySettings(candidate)) {
            layoutIndex_ = i;
            layout_->setCurrentIndex(i);
            return;
        }
    }
    layout_->setCurrentIndex(previous);
}

void CRawSettingsDlg::OnPresetChosen(int index) {
    if (index < 0 || index >= rawsettings::kPresetCount) return;
    const rawsettings::SizePreset& p = rawsettings::SizePresets()[index];
    RawSettings candidate = record_;
    candidate.rawFormat.width = p.width;
    candidate.rawFormat.height = p.height;
    if (ApplySettings(candidate)) return;
    const int match = rawsettings::PresetFor(record_.rawFormat.width, record_.rawFormat.height);
    if (match != 0) preset_->setCurrentIndex(match);
}

void CRawSettingsDlg::OnProgressive() {
    record_.deinterlace = 0;
    interlaced_->setChecked(false);
    progressive_->setChecked(true);
    record_.rawFormat.fieldCount = 1;
    record_.rawFormat.fieldDetail = 0;
    ApplySettings(record_);
}

void CRawSettingsDlg::OnInterlaced() {
    progressive_->setChecked(false);
    interlaced_->setChecked(true);
    arrangement_->setEnabled(true);
    record_.rawFormat.extensionFlags |= kExtFieldInfo;
    record_.deinterlace = 1;
    record_.rawFormat.fieldCount = 2;
    const int entry = std::max(arrangement_->currentIndex(), 0);
    record_.rawFormat.fieldDetail = rawsettings::FieldArrangements()[entry].fieldDetail;
    ApplySettings(record_);
}

void CRawSettingsDlg::OnFieldArrangementChosen(int index) {
    if (index < 0 || index >= rawsettings::kArrangementCount) return;
    record_.deinterlace = 1;
    record_.rawFormat.fieldDetail = rawsettings::FieldArrangements()[index].fieldDetail;
    ApplySettings(record_);
}

void CRawSettingsDlg::OnFlip() {
    record_.mirrorVertical = record_.mirrorVertical ? 0 : 1;
    // The preview shows the record's flip on top of the flip it was opened with, so that the
    // picture always matches the box.
    preview_->SetFlip((record_.mirrorVertical != 0) != (preview_->StoredFlags().flip != 0));
    preview_->RenderFrame();
    preview_->viewport()->update();
    flip_->setChecked(record_.mirrorVertical != 0);
}

void CRawSettingsDlg::OnFrameSlider(int position) {
    preview_->LoadFrame(position);
    frameLabel_->setText(QString::number(position));
}

void CRawSettingsDlg::done(int result) {
    resultFrame_ = PreviewPosition();
    QDialog::done(result);
}

bool CRawSettingsDlg::HandleEditKey(QLineEdit* edit, int key) {
    const bool isWidth = edit == widthEdit_, isHeight = edit == heightEdit_;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        setFocus();
        const int64_t value = rawsettings::ReadDecimal(edit->text());
        if (isWidth) SetWidthValue(value);
        else if (isHeight) SetHeightValue(value);
        else if (edit == filePrefixEdit_) SetByteCountValue(ByteCount::FilePrefix, value);
        else if (edit == framePrefixEdit_) SetByteCountValue(ByteCount::FramePrefix, value);
        else SetByteCountValue(ByteCount::FramePostfix, value);
        return true;
    }
    if (key == Qt::Key_Escape) {
        if (isWidth) edit->setText(QString::number(widthSlider_->value()));
        else if (isHeight) edit->setText(QString::number(heightSlider_->value()));
        else if (edit == filePrefixEdit_) edit->setText(QString::number(record_.filePrefix));
        else if (edit == framePrefixEdit_) edit->setText(QString::number(record_.framePrefix));
        else edit->setText(QString::number(record_.framePostfix));
        edit->deselect();
        edit->setCursorPosition(0);
        if (isWidth) widthSlider_->setFocus();
        else if (isHeight) heightSlider_->setFocus();
        else setFocus();
        return true;
    }
    return false;
}

bool CRawSettingsDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QDialog::eventFilter(watched, event);
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !isVisible() || (w != this && !isAncestorOf(w))) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool overrideCheck = event->type() == QEvent::ShortcutOverride;
    auto* edit = qobject_cast<QLineEdit*>(w);
    const bool isOurEdit = edit && (edit == widthEdit_ || edit == heightEdit_ || edit == filePrefixEdit_ ||
                                    edit == framePrefixEdit_ || edit == framePostfixEdit_);
    if (isOurEdit) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape) {
            if (overrideCheck) {
                event->accept();
                return true;
            }
            return HandleEditKey(edit, key->key());
        }
        return QDialog::eventFilter(watched, event);
    }
    if (overrideCheck) return QDialog::eventFilter(watched, event);
    switch (key->key()) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (w == frameSlider_) return false;
        QCoreApplication::sendEvent(frameSlider_, event);
        return true;
    case Qt::Key_V:
        OnFlip();
        return true;
    default: return QDialog::eventFilter(watched, event);
    }
}

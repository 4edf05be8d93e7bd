// The settings dialog's window: its controls laid out as the template places them, their lists
// filled, and the controls, the preview area and OK showing the state of the record.
#include "app/open/RawSettingsDlg.h"

#include "app/common/AppInfo.h"
#include "settings/CommandLine.h"
#include "app/open/RecordRate.h"
#include "view/VideoBuffer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

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
    // A row below the buttons holds the note, so that it never covers the preview.
    setFixedSize(DialogUnits(0, 0, 435, 362).size());
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
    // In the preview's place while the settings hold no whole frame of the file.
    fitMessage_ = Place(new QLabel(this), 7, 7, 256, 144);
    fitMessage_->setObjectName(QStringLiteral("FitMessage"));
    fitMessage_->setAlignment(Qt::AlignCenter);
    fitMessage_->setWordWrap(true);
    fitMessage_->setFrameShape(QFrame::StyledPanel);
    fitMessage_->setMargin(8);
    fitMessage_->hide();
    // A row of its own across the bottom of the dialog.
    note_ = Place(new QLabel(this), 7, 332, 421, 24);
    note_->setObjectName(QStringLiteral("Note"));
    note_->setWordWrap(true);
    note_->setMargin(3);
    note_->setAutoFillBackground(true);
    note_->setStyleSheet(QStringLiteral("QLabel { background: #fff1c2; color: #6b1b00; }"));
    note_->hide();

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
    preset_ = Place(new QComboBox(this), 74, 244, 112, 14);
    Name(preset_, kIdPreset);
    Place(new QLabel(QStringLiteral("Pitch:"), this), 189, 246, 21, 8);
    pitchEdit_ = Place(new QLineEdit(this), 210, 244, 46, 14);
    Name(pitchEdit_, kIdLinePitch);
    pitchEdit_->setToolTip(
        QStringLiteral("Bytes from one line to the next (auto: the layout's own; negative: "
                       "lines stored bottom-up), kept with the file"));

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

    progressive_ =
        Place(new QRadioButton(QStringLiteral("Progressive Scan"), this), 279, 97, 81, 10);
    Name(progressive_, kIdProgressive);
    interlaced_ = Place(new QRadioButton(QStringLiteral("Interlaced"), this), 279, 112, 72, 10);
    Name(interlaced_, kIdInterlaced);
    // The two are set by the record, not by each other.
    progressive_->setAutoExclusive(false);
    interlaced_->setAutoExclusive(false);
    arrangement_ = Place(new QComboBox(this), 291, 127, 130, 14);
    Name(arrangement_, kIdFieldArrangement);

    flip_ = Place(new QCheckBox(QStringLiteral("Flip Vertically"), this), 279, 208, 72, 10);
    Name(flip_, kIdFlip);
    Place(new QLabel(QStringLiteral("fps:"), this), 354, 210, 17, 8);
    rate_ = Place(new QLineEdit(this), 372, 207, 49, 14);
    Name(rate_, kIdFrameRate);
    rate_->setPlaceholderText(QString::number(kavlo::kUnsetFrameRate));
    rate_->setToolTip(
        QStringLiteral("Frames per second, kept with the file (empty: none, %1 shown)")
            .arg(kavlo::kUnsetFrameRate));
    Place(new QLabel(QStringLiteral("Colour:"), this), 279, 226, 38, 8);
    matrix_ = Place(new QComboBox(this), 320, 224, 101, 14);
    Name(matrix_, kIdColourMatrix);
    Place(new QLabel(QStringLiteral("Range:"), this), 279, 244, 38, 8);
    range_ = Place(new QComboBox(this), 320, 242, 101, 14);
    Name(range_, kIdSampleRange);
    info_ = Place(new QLabel(QStringLiteral("Info text"), this), 14, 316, 277, 8);
    Name(info_, kIdInfo);

    ok_ = Place(new QPushButton(QStringLiteral("OK"), this), 324, 313, 50, 14);
    ok_->setObjectName(QStringLiteral("Control1"));
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    auto* cancel = Place(new QPushButton(QStringLiteral("Cancel"), this), 378, 313, 50, 14);
    cancel->setObjectName(QStringLiteral("Control2"));
    cancel->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Only the widgets that take typed numbers and the sliders need the focus besides the buttons.
    widthSlider_->setFocusPolicy(Qt::StrongFocus);
    heightSlider_->setFocusPolicy(Qt::StrongFocus);
    ConnectControls(filePrefixSpin, framePrefixSpin, framePostfixSpin);
}

void CRawSettingsDlg::ConnectControls(CUpDown* filePrefixSpin, CUpDown* framePrefixSpin,
                                      CUpDown* framePostfixSpin) {
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
    connect(matrix_, qOverload<int>(&QComboBox::activated), this, [this] { OnColourChosen(); });
    connect(range_, qOverload<int>(&QComboBox::activated), this, [this] { OnColourChosen(); });
    connect(frameSlider_, &QSlider::valueChanged, this, [this](int v) {
        if (!refreshing_) OnFrameSlider(v);
    });
    connect(rate_, &QLineEdit::editingFinished, this, [this] { OnRateTyped(); });
}

void CRawSettingsDlg::FillControls() {
    refreshing_ = true;
    for (QSlider* s : {widthSlider_, heightSlider_}) {
        s->setRange(rawsettings::kMinSize, rawsettings::kMaxSliderSize);
        s->setPageStep(64);
    }
    layout_->clear();
    const PixelLayoutInfo* rows = LayoutCatalogue();
    const QFontMetrics metrics(layout_->view()->font());
    int widest = 0;
    for (int i = 0; i < kLayoutCount; ++i) {
        const QString text = QStringLiteral("%1 - %2").arg(
            QString::fromLatin1(rows[i].name), QString::fromLatin1(rows[i].description));
        layout_->addItem(text, rows[i].code);
        // The other names -l accepts for the layout (ffmpeg's among them), shown on hover.
        const std::string names = LayoutOtherNames(rows[i].code);
        if (!names.empty()) {
            layout_->setItemData(
                i, QStringLiteral("Also named: %1").arg(QString::fromStdString(names)),
                Qt::ToolTipRole);
        }
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    const int extent = widest + metrics.averageCharWidth();
    layout_->view()->setMinimumWidth(extent +
                                     2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) +
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
    matrix_->clear();
    for (int m = 0; m < kavlo::kMatrixChoiceCount; ++m)
        matrix_->addItem(QString::fromLatin1(kavlo::MatrixChoiceName(kavlo::MatrixChoice(m))), m);
    range_->clear();
    range_->addItem(QStringLiteral("Limited"));
    range_->addItem(QStringLiteral("Full"));
    // The dialog's own path: the preview has no file while the settings fit none of it.
    setWindowTitle(QStringLiteral("RAW Video Settings (%1) - %2").arg(path_, kavlo::AppName()));
    refreshing_ = false;
}

void CRawSettingsDlg::RefreshControls() {
    refreshing_ = true;
    const RawVideoFormat& f = record_.rawFormat;
    const int multiple = int(rawsettings::Multiple(f.widthMultiple));
    widthSlider_->setMinimum(multiple);
    widthSlider_->setSingleStep(multiple);
    widthSlider_->setValue(f.width);
    heightSlider_->setValue(f.height);
    ShowValue(widthEdit_, f.width);
    ShowValue(heightEdit_, f.height);
    preset_->setCurrentIndex(rawsettings::PresetFor(f.width, f.height));
    if (auto index = LayoutIndex(f.code)) {
        layout_->setCurrentIndex(*index);
        layoutIndex_ = *index;
    }
    // No frame shown (none fits): frame 0, never -1.
    const int64_t position = std::max<int64_t>(PreviewPosition(), 0);
    // The slider reaches frame INT_MAX at most; the label shows the whole number.
    frameSlider_->setRange(0, rawsettings::FrameSliderPosition(preview_->FrameCount() - 1));
    frameSlider_->setValue(rawsettings::FrameSliderPosition(position));
    frameSlider_->setEnabled(fits_);
    frameLabel_->setText(QString::number(position));
    ShowPitch();
    ShowValue(filePrefixEdit_, record_.filePrefix);
    ShowValue(framePrefixEdit_, record_.framePrefix);
    ShowValue(framePostfixEdit_, record_.framePostfix);
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
    if (!rate_->property(kRefusedProperty).toBool()) ShowRate();
    matrix_->setCurrentIndex(static_cast<int>(kavlo::StoredMatrixChoice(record_)));
    range_->setCurrentIndex(kavlo::StoredFullRange(record_) ? 1 : 0);
    // Without a whole frame every byte after the file prefix is left over.
    const int64_t rest =
        fits_ ? record_.trailingBytes : std::max<int64_t>(fileSize_ - record_.filePrefix, 0);
    const qulonglong size = fits_ ? record_.fileSize : static_cast<qulonglong>(fileSize_);
    info_->setText(QStringLiteral("Total Frames: %1   File size: %2   Rest Bytes: %3")
                       .arg(preview_->FrameCount())
                       .arg(size)
                       .arg(qlonglong(rest)));
    refreshing_ = false;
    UpdateOk();
}

void CRawSettingsDlg::ShowFit(const QString& problem) {
    fits_ = problem.isEmpty();
    fitMessage_->setText(problem);
    preview_->setVisible(fits_);
    fitMessage_->setVisible(!fits_);
    note_->raise();
    UpdateOk();
}

void CRawSettingsDlg::ShowNote(const QString& note) {
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
    note_->raise();
}

QString CRawSettingsDlg::FitMessage() const { return fits_ ? QString() : fitMessage_->text(); }
QString CRawSettingsDlg::Note() const { return note_->isVisible() ? note_->text() : QString(); }

void CRawSettingsDlg::ShowValue(QLineEdit* edit, int64_t value) {
    edit->setText(QString::number(value));
    if (edit->property(kRefusedProperty).toBool()) {
        edit->setProperty(kRefusedProperty, false);
        edit->setStyleSheet(QString());
        edit->setToolTip(QString());
        UpdateOk();
    }
}

void CRawSettingsDlg::ShowRate() {
    rate_->setText(kavlo::FrameRateText(record_));
    if (rate_->property(kRefusedProperty).toBool()) {
        rate_->setProperty(kRefusedProperty, false);
        rate_->setStyleSheet(QString());
        rate_->setToolTip(QString());
        UpdateOk();
    }
}

bool CRawSettingsDlg::OnRateTyped() {
    // The text the record's rate shows changes nothing: a stored 30000/1001 stays exact.
    if (rate_->text().trimmed() == kavlo::FrameRateText(record_)) {
        ShowRate();
        return true;
    }
    QString reason;
    const std::optional<double> fps = kavlo::ParseFrameRate(rate_->text(), reason);
    if (!fps || !kavlo::StoreFrameRate(record_, *fps)) {
        MarkRefused(rate_, reason);
        return false;
    }
    ShowNote(QString());
    ShowRate();
    return true;
}

void CRawSettingsDlg::MarkRefused(QLineEdit* edit, const QString& reason) {
    edit->setProperty(kRefusedProperty, true);
    edit->setStyleSheet(QStringLiteral("QLineEdit { background: #ffd6d6; }"));
    edit->setToolTip(reason);
    ShowNote(reason);
    UpdateOk();
}

void CRawSettingsDlg::UpdateOk() {
    // OK hands back settings that show the file, and only what the fields show.
    bool refused = false;
    for (QLineEdit* e : {widthEdit_, heightEdit_, pitchEdit_, filePrefixEdit_, framePrefixEdit_,
                         framePostfixEdit_, rate_}) {
        refused = refused || e->property(kRefusedProperty).toBool();
    }
    ok_->setEnabled(fits_ && !refused);
}

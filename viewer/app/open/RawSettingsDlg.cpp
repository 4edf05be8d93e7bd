// The settings dialog's run, the apply step and the events of its controls and keys.
#include "app/open/RawSettingsDlg.h"

#include "app/open/RecordRate.h"

#include "view/picture/FieldRender.h"
#include "view/file/LocalFileName.h"
#include "view/VideoBuffer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QFocusEvent>
#include <QPushButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include <algorithm>
#include <cstdlib>

using rawsettings::ByteCount;

CRawSettingsDlg::~CRawSettingsDlg() {
    if (filterInstalled_) qApp->removeEventFilter(this);
}

int CRawSettingsDlg::RunForFile(const QString& path, const RawSettings& settings,
                                QString& errorText, int64_t startFrame) {
    int result = Prepare(path, settings, errorText, startFrame);
    if (result == 0) result = exec() == QDialog::Accepted ? kResultOk : kResultCancel;
    FinishRun();
    return result;
}

int CRawSettingsDlg::Prepare(const QString& path, const RawSettings& settings, QString& errorText,
                             int64_t startFrame) {
    record_ = settings;
    // Without usable settings the guess reads the file's first bytes (the file prefix is 0 then).
    const bool guess = record_.size != kRawSettingsSize;
    const rawsettings::FileStart file =
        rawsettings::ReadFileStart(path, 0, guess ? rawsettings::kGuessSampleBytes : 0);
    fileSize_ = file.size;
    if (!file.usable) {
        errorText = QStringLiteral("Error: Couldn't open file or file too small");
        rememberedDeinterlace_ = record_.deinterlace;
        rememberedMethod_ = record_.deinterlaceMethod;
        return kResultFailed;
    }
    // The guess takes the file's name and folders as preferences and says what it took.
    QString nameNote;
    if (guess) {
        const QByteArray name = kavlo::FileNameToBytes(path);
        record_ = rawsettings::GuessSettingsWithName(
            fileSize_,
            rawsettings::ReadFileNameHints(
                std::string_view(name.constData(), static_cast<size_t>(name.size()))),
            file.sample.data(), file.sample.size(), &nameNote);
    }

    rememberedDeinterlace_ = record_.deinterlace;
    rememberedMethod_ = record_.deinterlaceMethod;
    pitch_ = rawsettings::GivenPitch(record_);
    if ((record_.rawFormat.extensionFlags & kExtFieldInfo) && record_.rawFormat.fieldCount == 2) {
        record_.deinterlace = 1;
        record_.deinterlaceMethod = kavlo::kDeinterlaceTopField;
    }
    // The preview scales the picture into its area from the start. Settings that hold no frame
    // of the file still open the dialog, which says why in the preview's place.
    preview_->SetFitMode(true);
    path_ = path;
    OpenPreview(startFrame);
    StartWindow();
    if (!openReason_.isEmpty())
        nameNote = nameNote.isEmpty() ? openReason_ : openReason_ + QLatin1Char(' ') + nameNote;
    if (!nameNote.isEmpty()) ShowNote(nameNote);
    return 0;
}

bool CRawSettingsDlg::OpenPreview(int64_t frame) {
    QString problem = rawsettings::FitProblem(record_, fileSize_);
    if (problem.isEmpty()) {
        if (preview_->OpenFile(&record_, path_, problem, frame) == 0)
            problem.clear();
        else if (problem.isEmpty())
            problem = QStringLiteral("the file cannot be read with these settings");
    } else {
        preview_->CloseFile();
    }
    ShowFit(problem);
    return fits_;
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
    if (fits_) preview_->RenderFrame();
    if (!filterInstalled_) {
        qApp->installEventFilter(this);
        filterInstalled_ = true;
    }
}

int64_t CRawSettingsDlg::PreviewPosition() const { return preview_->CurrentPosition(); }

bool CRawSettingsDlg::ApplySettings(const RawSettings& candidateIn) {
    RawSettings candidate = candidateIn;
    const int64_t noted = PreviewPosition();
    if (!rawsettings::RebuildFormat(candidate, pitch_)) {
        const QString problem = rawsettings::PitchProblem(candidate, pitch_);
        if (!problem.isEmpty())
            ShowNote(QStringLiteral("Refused for the line pitch: %1").arg(problem));
        return false;
    }
    if (!fits_) {
        // Nothing shows yet: the settings are taken as they come, and the preview returns as
        // soon as they hold a frame.
        record_ = candidate;
        OpenPreview(0);
        RefreshControls();
        return true;
    }
    if (!rawsettings::FitProblem(candidate, fileSize_).isEmpty()) return false;
    QString error;
    if (preview_->OpenFile(&candidate, path_, error, 0) != 0) {
        // The preview goes back to the settings in force, which it showed a moment ago.
        ShowNote(error);
        OpenPreview(noted);
        return false;
    }
    record_ = candidate;
    preview_->LoadFrame(noted);
    RefreshControls();
    return true;
}

void CRawSettingsDlg::NoteRefused(const QString& what, RawSettings trial) {
    const QString why = rawsettings::RebuildFormat(trial, pitch_)
                            ? rawsettings::FitProblem(trial, fileSize_)
                            : QStringLiteral("no frame of that size can be described");
    if (!why.isEmpty()) ShowNote(QStringLiteral("%1 refused: %2").arg(what, why));
}

void CRawSettingsDlg::SetWidthValue(int64_t value) { SetSizeValue(true, value); }
void CRawSettingsDlg::SetHeightValue(int64_t value) { SetSizeValue(false, value); }

void CRawSettingsDlg::SetSizeValue(bool width, int64_t value) {
    ShowNote(QString());
    int32_t& inForce = width ? record_.rawFormat.width : record_.rawFormat.height;
    const int32_t limited =
        width ? rawsettings::LimitWidth(record_, value) : rawsettings::LimitHeight(record_, value);
    const int32_t v = !fits_  ? limited
                      : width ? rawsettings::ValidateWidth(record_, value)
                              : rawsettings::ValidateHeight(record_, value);
    RawSettings candidate = record_;
    (width ? candidate.rawFormat.width : candidate.rawFormat.height) = v != inForce ? v : limited;
    if (v != inForce)
        ApplySettings(candidate);
    else if (limited != inForce)
        NoteRefused((width ? QStringLiteral("Width %1") : QStringLiteral("Height %1")).arg(limited),
                    candidate);
    // The controls show the value in force, whether the new one was taken or not.
    refreshing_ = true;
    (width ? widthSlider_ : heightSlider_)->setValue(inForce);
    ShowValue(width ? widthEdit_ : heightEdit_, inForce);
    refreshing_ = false;
}

void CRawSettingsDlg::SetByteCountValue(ByteCount which, int64_t value) {
    ShowNote(QString());
    const int64_t current = rawsettings::CurrentByteCount(record_, which);
    const int64_t limited = rawsettings::LimitByteCount(which, value);
    const int64_t v = fits_ ? rawsettings::ValidateByteCount(record_, which, value) : limited;
    RawSettings candidate = record_;
    rawsettings::SetByteCount(candidate, which, v != current ? v : limited);
    if (v != current)
        ApplySettings(candidate);
    else if (limited != current) {
        NoteRefused(QStringLiteral("%1 %2").arg(EditName(ByteCountEdit(which)),
                                                rawsettings::GroupedNumber(limited)),
                    candidate);
    }
    ShowValue(ByteCountEdit(which), rawsettings::CurrentByteCount(record_, which));
}

void CRawSettingsDlg::SetPitchValue(int64_t value) {
    ShowNote(QString());
    if (value <= INT32_MIN || value > INT32_MAX) {
        ShowNote(QStringLiteral("Line pitch %1 refused: beyond 32 bits").arg(value));
        ShowPitch();
        return;
    }
    const auto pitch = static_cast<int32_t>(value);
    const QString problem = rawsettings::PitchProblem(record_, pitch);
    if (!problem.isEmpty()) {
        ShowNote(QStringLiteral("Line pitch %1 refused: %2").arg(value).arg(problem));
        ShowPitch();
        return;
    }
    const int32_t previous = pitch_;
    pitch_ = pitch;
    if (pitch != previous && !ApplySettings(record_)) {
        NoteRefused(QStringLiteral("Line pitch %1").arg(value), record_);
        pitch_ = previous;
    }
    ShowPitch();
}

QString CRawSettingsDlg::PitchText() const {
    return pitch_ == 0 ? QStringLiteral("auto") : QString::number(pitch_);
}

void CRawSettingsDlg::ShowPitch() {
    pitchEdit_->setText(PitchText());
    if (pitchEdit_->property(kRefusedProperty).toBool()) {
        pitchEdit_->setProperty(kRefusedProperty, false);
        pitchEdit_->setStyleSheet(QString());
        pitchEdit_->setToolTip(QString());
        UpdateOk();
    }
}

void CRawSettingsDlg::OnWidthTyped(int64_t value) { SetWidthValue(value); }
void CRawSettingsDlg::OnHeightTyped(int64_t value) { SetHeightValue(value); }

// The arrows step from the value in force (the trackbars end before the largest sizes).
void CRawSettingsDlg::OnWidthStep(int direction) {
    const int64_t step = rawsettings::Multiple(record_.rawFormat.widthMultiple);
    int64_t v = record_.rawFormat.width + direction * step;
    v = std::clamp<int64_t>(v, widthSlider_->minimum(), rawsettings::kMaxSize);
    SetWidthValue(v);
}

void CRawSettingsDlg::OnHeightStep(int direction) {
    const int64_t step = rawsettings::Multiple(record_.rawFormat.heightMultiple);
    int64_t v = record_.rawFormat.height + direction * step;
    v = std::clamp<int64_t>(v, heightSlider_->minimum(), rawsettings::kMaxSize);
    SetHeightValue(v);
}

void CRawSettingsDlg::OnByteCountTyped(ByteCount which, int64_t value) {
    SetByteCountValue(which, value);
}

void CRawSettingsDlg::OnByteCountStep(ByteCount which, int direction) {
    // From the number typed, or from the value in force when the text is not a number.
    const std::optional<int64_t> typed =
        rawsettings::ParseWholeNumber(ByteCountEdit(which)->text());
    SetByteCountValue(which,
                      typed.value_or(rawsettings::CurrentByteCount(record_, which)) + direction);
}

QLineEdit* CRawSettingsDlg::ByteCountEdit(ByteCount which) const {
    switch (which) {
    case ByteCount::FilePrefix: return filePrefixEdit_;
    case ByteCount::FramePrefix: return framePrefixEdit_;
    case ByteCount::FramePostfix: return framePostfixEdit_;
    }
    return filePrefixEdit_;
}

QString CRawSettingsDlg::EditName(QLineEdit* edit) const {
    if (edit == widthEdit_) return QStringLiteral("Width");
    if (edit == heightEdit_) return QStringLiteral("Height");
    if (edit == filePrefixEdit_) return QStringLiteral("File prefix");
    if (edit == framePrefixEdit_) return QStringLiteral("Frame prefix");
    if (edit == rate_) return QStringLiteral("Frame rate");
    if (edit == pitchEdit_) return QStringLiteral("Line pitch");
    return QStringLiteral("Frame postfix");
}

void CRawSettingsDlg::OnLayoutChosen(int index) {
    if (index < 0 || index >= kLayoutCount) return;
    ShowNote(QString());
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
    RawSettings trial = record_;
    trial.rawFormat.code = rows[index].code;
    NoteRefused(QStringLiteral("Layout %1").arg(QString::fromLatin1(rows[index].name)), trial);
}

void CRawSettingsDlg::OnPresetChosen(int index) {
    if (index < 0 || index >= rawsettings::kPresetCount) return;
    ShowNote(QString());
    const rawsettings::SizePreset& p = rawsettings::SizePresets()[index];
    RawSettings candidate = record_;
    candidate.rawFormat.width = p.width;
    candidate.rawFormat.height = p.height;
    if (ApplySettings(candidate)) return;
    if (index != 0) NoteRefused(QString::fromUtf8(p.name), candidate);
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
    if (fits_) {
        preview_->SetFlip((record_.mirrorVertical != 0) != (preview_->StoredFlags().flip != 0));
        preview_->RenderFrame();
        preview_->viewport()->update();
    }
    flip_->setChecked(record_.mirrorVertical != 0);
}

void CRawSettingsDlg::OnColourChosen() {
    const auto matrix = static_cast<kavlo::MatrixChoice>(std::max(matrix_->currentIndex(), 0));
    const bool full = range_->currentIndex() == 1;
    kavlo::StoreColourChoice(record_, matrix, full);
    if (fits_) preview_->SetColour(matrix, full);
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
    if (edit == rate_) {
        if (key == Qt::Key_Escape) {
            ShowNote(QString());
            ShowRate();
            setFocus();
        } else if (OnRateTyped()) {
            setFocus();
        } else {
            rate_->selectAll();
        }
        return true;
    }
    const bool isWidth = edit == widthEdit_, isHeight = edit == heightEdit_;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Applied before the dialog takes the focus, so that leaving the field finds nothing
        // left to apply. Text that is no number is refused as it stands: the field keeps it,
        // marked, and the focus, for the user to mend.
        if (!ApplyTypedValue(edit) && edit->property(kRefusedProperty).toBool()) {
            edit->selectAll();
            return true;
        }
        setFocus();
        return true;
    }
    if (key == Qt::Key_Escape) {
        ShowNote(QString());
        if (isWidth)
            ShowValue(edit, record_.rawFormat.width);
        else if (isHeight)
            ShowValue(edit, record_.rawFormat.height);
        else if (edit == pitchEdit_)
            ShowPitch();
        else if (edit == filePrefixEdit_)
            ShowValue(edit, record_.filePrefix);
        else if (edit == framePrefixEdit_)
            ShowValue(edit, record_.framePrefix);
        else
            ShowValue(edit, record_.framePostfix);
        edit->deselect();
        edit->setCursorPosition(0);
        if (isWidth)
            widthSlider_->setFocus();
        else if (isHeight)
            heightSlider_->setFocus();
        else
            setFocus();
        return true;
    }
    return false;
}

bool CRawSettingsDlg::IsValueEdit(const QObject* object) const {
    return object && (object == widthEdit_ || object == heightEdit_ || object == filePrefixEdit_ ||
                      object == framePrefixEdit_ || object == framePostfixEdit_ ||
                      object == rate_ || object == pitchEdit_);
}

bool CRawSettingsDlg::HasTypedValue(QLineEdit* edit) const {
    if (edit == rate_) return rate_->text().trimmed() != kavlo::FrameRateText(record_);
    if (edit == pitchEdit_) return pitchEdit_->text().trimmed() != PitchText();
    int64_t inForce = 0;
    if (edit == widthEdit_)
        inForce = record_.rawFormat.width;
    else if (edit == heightEdit_)
        inForce = record_.rawFormat.height;
    else if (edit == filePrefixEdit_)
        inForce = record_.filePrefix;
    else if (edit == framePrefixEdit_)
        inForce = record_.framePrefix;
    else
        inForce = record_.framePostfix;
    return edit->text().trimmed() != QString::number(inForce);
}

bool CRawSettingsDlg::ApplyTypedValue(QLineEdit* edit) {
    if (edit == rate_) return OnRateTyped();
    const QString text = edit->text().trimmed();
    if (edit == pitchEdit_ &&
        (text.isEmpty() || text.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)) {
        SetPitchValue(0);
        return Note().isEmpty();
    }
    const std::optional<int64_t> value = rawsettings::ParseWholeNumber(edit->text());
    if (!value) {
        MarkRefused(edit, QStringLiteral("%1: \"%2\" is not a whole number")
                              .arg(EditName(edit), edit->text().trimmed()));
        return false;
    }
    if (edit == widthEdit_)
        SetWidthValue(*value);
    else if (edit == heightEdit_)
        SetHeightValue(*value);
    else if (edit == pitchEdit_)
        SetPitchValue(*value);
    else if (edit == filePrefixEdit_)
        SetByteCountValue(ByteCount::FilePrefix, *value);
    else if (edit == framePrefixEdit_)
        SetByteCountValue(ByteCount::FramePrefix, *value);
    else
        SetByteCountValue(ByteCount::FramePostfix, *value);
    // A refused value leaves the note saying why; a taken one clears it.
    return Note().isEmpty();
}

void CRawSettingsDlg::accept() {
    for (QLineEdit* edit : {widthEdit_, heightEdit_, pitchEdit_, filePrefixEdit_, framePrefixEdit_,
                            framePostfixEdit_, rate_}) {
        if (!HasTypedValue(edit)) continue;
        if (!ApplyTypedValue(edit)) {
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
    if (!ok_->isEnabled()) return;
    QDialog::accept();
}

bool CRawSettingsDlg::eventFilter(QObject* watched, QEvent* event) {
    // A value typed into a field counts when the field is left (Tab, a click elsewhere), not
    // only on Return. Leaving for a menu or another window keeps it pending.
    if (event->type() == QEvent::FocusOut && IsValueEdit(watched) && isVisible()) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        auto* edit = static_cast<QLineEdit*>(watched);
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            edit != rate_ && HasTypedValue(edit))
            ApplyTypedValue(edit);
        return QDialog::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QDialog::eventFilter(watched, event);
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !isVisible() || (w != this && !isAncestorOf(w)))
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool overrideCheck = event->type() == QEvent::ShortcutOverride;
    auto* edit = qobject_cast<QLineEdit*>(w);
    if (edit && IsValueEdit(edit)) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
            key->key() == Qt::Key_Escape) {
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
    case Qt::Key_V: OnFlip(); return true;
    default: return QDialog::eventFilter(watched, event);
    }
}

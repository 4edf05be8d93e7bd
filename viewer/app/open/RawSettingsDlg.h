// The raw video settings dialog: how to read a raw file, tried live on a preview of the file.
//
// The dialog opens for every existing, readable, non-empty regular file. While its settings hold
// no whole frame of the file (a guess or stored settings that do not fit), the preview's place
// says why, every value that forms a frame is taken, and OK stays disabled; as soon as a frame
// fits, the preview shows it and OK is enabled. From then on a value that leaves no whole frame
// is refused and the previous one stays, with the reason shown in the preview area. Text that is
// not a number marks its field, is refused with the reason, and disables OK until it is replaced.
#pragma once

#include "settings/RawSettings.h"
#include "app/open/RawSettingsRules.h"

#include <QDialog>
#include <QString>

class CVideoBuffer;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;

// A pair of arrow buttons that step the value of the edit beside it.
class CUpDown : public QWidget {
    Q_OBJECT
public:
    explicit CUpDown(QWidget* parent);
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }
Q_SIGNALS:
    void Stepped(int direction);  // +1 up, -1 down

private:
    QToolButton* up_;
    QToolButton* down_;
};

class CRawSettingsDlg : public QDialog {
    Q_OBJECT
public:
    enum Result { kResultOk = 1, kResultCancel = 2, kResultFailed = 3 };
    // Control ids of the template, kept as object names "Control<id>" for tests and tools.
    enum ControlId {
        kIdPreview = 1007,
        kIdWidthEdit = 1008,
        kIdWidthSpin = 1009,
        kIdHeightEdit = 1010,
        kIdHeightSpin = 1011,
        kIdWidthSlider = 1012,
        kIdHeightSlider = 1013,
        kIdPreset = 1014,
        kIdProgressive = 1015,
        kIdInterlaced = 1016,
        kIdFieldArrangement = 1017,
        kIdFrameSlider = 1018,
        kIdFlip = 1019,
        kIdFilePrefix = 1020,
        kIdFilePrefixSpin = 1021,
        kIdFramePrefix = 1022,
        kIdFramePrefixSpin = 1023,
        kIdFramePostfixSpin = 1024,
        kIdFramePostfix = 1025,
        kIdLayout = 1026,
        kIdSizeGroup = 1027,
        kIdInfo = 1029,
        kIdFrameLabel = 1030,
        kIdColourMatrix = 1031,
        kIdSampleRange = 1032,
        kIdFrameRate = 1033,
        kIdLinePitch = 1034,
    };

    // The property a field carries while its text is refused (marked, OK disabled).
    static constexpr const char* kRefusedProperty = "refused";

    explicit CRawSettingsDlg(QWidget* parent = nullptr);
    ~CRawSettingsDlg() override;

    // 1 after OK, 2 after Cancel, 3 when the dialog cannot be shown (the file is missing,
    // unreadable, empty or not a regular file; error text filled then).
    int RunForFile(const QString& path, const RawSettings& settings, QString& errorText,
                   int64_t startFrame);

    // Before the modal run: the steps of RunForFile up to and including opening the preview,
    // and the start of the window. Returns 0 when the dialog can be shown, else 3. Tests use
    // this to drive the dialog without a modal loop; FinishRun completes the run.
    int Prepare(const QString& path, const RawSettings& settings, QString& errorText,
                int64_t startFrame);
    // Puts the remembered deinterlace values back into the record.
    void FinishRun();
    // Why the dialog is asked for the file (stored settings that no longer fit it, say), shown
    // in its note when the run starts.
    void SetOpenReason(const QString& reason) { openReason_ = reason; }

    const RawSettings& Settings() const { return record_; }
    int64_t ResultFrame() const { return resultFrame_; }
    CVideoBuffer* Preview() const { return preview_; }
    qint64 FileSize() const { return fileSize_; }
    // True while the preview shows the file under the dialog's settings.
    bool SettingsFit() const { return fits_; }
    // What the preview area says instead of the picture, and the note on a refused value or
    // text (both empty when there is nothing to say).
    QString FitMessage() const;
    QString Note() const;

    // The value events, as the controls raise them.
    void OnWidthTyped(int64_t value);
    void OnHeightTyped(int64_t value);
    void OnWidthStep(int direction);
    void OnHeightStep(int direction);
    void OnByteCountTyped(rawsettings::ByteCount which, int64_t value);
    void OnByteCountStep(rawsettings::ByteCount which, int direction);
    void OnLayoutChosen(int index);
    void OnPresetChosen(int index);
    void OnProgressive();
    void OnInterlaced();
    void OnFieldArrangementChosen(int index);
    void OnFlip();
    // The "Colour" (matrix: BT.601, BT.709, BT.2020, Automatic) and "Range" (Limited, Full)
    // boxes: the record's colour bytes, and the preview follows.
    void OnColourChosen();
    // The "fps" field: the record's frame rate (frameDuration / timeScale). Empty text clears it
    // (a record without a rate plays at 25 frames per second); text that is not a rate from 0.1
    // to 1000 is refused and marked, and OK stays disabled until it is mended. True when taken.
    bool OnRateTyped();
    void OnFrameSlider(int position);

    // The apply step: tries a candidate record on the preview; true when it is now in force.
    bool ApplySettings(const RawSettings& candidate);

    void done(int result) override;
    // OK: a value still being typed in a field is applied first; when it is refused the dialog
    // stays open with the reason shown.
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void ConnectControls(CUpDown* filePrefixSpin, CUpDown* framePrefixSpin,
                         CUpDown* framePostfixSpin);
    void StartWindow();
    void FillControls();
    void RefreshControls();
    // Opens the preview under the record when a whole frame of it fits, at `frame`; otherwise,
    // or when the open fails, the preview's place says why. True when the preview shows it.
    bool OpenPreview(int64_t frame);
    void ShowFit(const QString& problem);
    void ShowNote(const QString& note);
    QString openReason_;
    // The note for a value that `trial` holds and that was refused: why no frame fits with it.
    void NoteRefused(const QString& what, RawSettings trial);
    // An edit shows a value of the record; a mark of refused text goes.
    void ShowValue(QLineEdit* edit, int64_t value);
    void ShowRate();
    void MarkRefused(QLineEdit* edit, const QString& reason);
    void UpdateOk();
    void SetWidthValue(int64_t value);
    void SetHeightValue(int64_t value);
    // Takes a typed or stepped width (or height): applied when a frame still fits, else refused
    // with a note; the controls show the value in force either way.
    void SetSizeValue(bool width, int64_t value);
    void SetByteCountValue(rawsettings::ByteCount which, int64_t value);
    // The "Pitch" field: 0 is the layout's own line pitch ("auto"); any other pitch is kept
    // through changes of size and layout while a row fits in it, and refused with a note when
    // none does.
    void SetPitchValue(int64_t value);
    void ShowPitch();
    QString PitchText() const;
    QLineEdit* ByteCountEdit(rawsettings::ByteCount which) const;
    QString EditName(QLineEdit* edit) const;
    bool HandleEditKey(QLineEdit* edit, int key);
    // Whether a field's text differs from the value in force (typed and not yet applied).
    bool HasTypedValue(QLineEdit* edit) const;
    // Applies a field's text as Return does, without moving the focus. False when the text is
    // no number or the value was refused (the note says why).
    bool ApplyTypedValue(QLineEdit* edit);
    bool IsValueEdit(const QObject* object) const;
    int64_t PreviewPosition() const;

    RawSettings record_{};
    QString path_;
    qint64 fileSize_ = 0;
    int64_t resultFrame_ = -1;
    bool fits_ = false;
    bool refreshing_ = false;
    bool filterInstalled_ = false;
    int layoutIndex_ = 0;
    int32_t pitch_ = 0;  // the line pitch given, 0 for the layout's own
    uint8_t rememberedDeinterlace_ = 0;
    uint32_t rememberedMethod_ = 0;

    CVideoBuffer* preview_ = nullptr;
    QLabel* fitMessage_ = nullptr;  // in the preview's place while no frame fits
    QLabel* note_ = nullptr;        // in its own row across the bottom of the dialog
    QPushButton* ok_ = nullptr;
    QComboBox* layout_ = nullptr;
    QSlider* widthSlider_ = nullptr;
    QLineEdit* widthEdit_ = nullptr;
    CUpDown* widthSpin_ = nullptr;
    QSlider* heightSlider_ = nullptr;
    QLineEdit* heightEdit_ = nullptr;
    CUpDown* heightSpin_ = nullptr;
    QComboBox* preset_ = nullptr;
    QLineEdit* pitchEdit_ = nullptr;
    QSlider* frameSlider_ = nullptr;
    QLabel* frameLabel_ = nullptr;
    QLineEdit* filePrefixEdit_ = nullptr;
    QLineEdit* framePrefixEdit_ = nullptr;
    QLineEdit* framePostfixEdit_ = nullptr;
    QRadioButton* progressive_ = nullptr;
    QRadioButton* interlaced_ = nullptr;
    QComboBox* arrangement_ = nullptr;
    QCheckBox* flip_ = nullptr;
    QComboBox* matrix_ = nullptr;
    QComboBox* range_ = nullptr;
    QLineEdit* rate_ = nullptr;
    QLabel* info_ = nullptr;
};

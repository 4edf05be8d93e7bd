// The usage and error window shown when the command line is wrong or its file cannot be opened:
// the error first, the usage below it behind a "Show usage" button; a request for the usage alone
// shows it at once.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class CHelpWin : public QDialog {
    Q_OBJECT
public:
    static constexpr int kResourceId = 103;
    static constexpr int kUsageTextId = 1005;
    static constexpr int kErrorLineId = 1006;

    // No parent: the program has no main window yet when this window is shown.
    CHelpWin();
    // The modeless form, with a parent of the caller's choice.
    CHelpWin(int resourceId, QWidget* parent);
    ~CHelpWin() override;

    void SetErrorText(const QString& text) { errorText_ = text; }
    // Fills both controls; runs before the window is first shown.
    bool OnInitDialog();

    // The usage text, with "\r\n" line ends. isWide tells whether a layout name is at least
    // 60 pixels wide in the usage control's font.
    static QString BuildUsageText(const QString& appName,
                                  const std::function<bool(const QString&)>& isWide);

    // The "Keys" section shown after the usage, with "\r\n" line ends: the main window's key
    // table, then the keys the view alone knows (its own table), then the mouse.
    static QString BuildKeysText();
    // A window of its own showing the keys section (Help > Keyboard Shortcuts); closing it
    // hides it.
    static QDialog* CreateKeysWindow(QWidget* parent);
    // What a file's name and a YUV4MPEG2 header supply when no settings are given, with "\r\n"
    // line ends; shown between the usage and the keys.
    static QString BuildOpeningText();
    // The usage as printed on a terminal: the usage text and the opening text, with "\n" line
    // ends. Needs no display (no font is measured, long names count as wide).
    static QString BuildPrintedUsage();

    QPlainTextEdit* UsageControl() const { return usage_; }
    QLabel* ErrorControl() const { return errorLine_; }
    // Shows or hides the usage text below an error; hidden while the window has no error.
    QPushButton* UsageToggle() const { return usageToggle_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build();
    void ShowUsageText(bool shown);
    bool PreTranslateMessage(QEvent* event);

    QString errorText_;
    QPlainTextEdit* usage_ = nullptr;
    QLabel* errorLine_ = nullptr;
    QPushButton* usageToggle_ = nullptr;
    bool initialised_ = false;
};

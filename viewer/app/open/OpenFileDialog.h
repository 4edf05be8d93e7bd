// The file dialog of the Open command, for names that are not UTF-8 as well. Qt's dialog shows
// such names decoded lossily (U+FFFD for each undecodable byte) and refuses them as missing when
// accepted; this one first looks the chosen name up among the raw names of its folder and, when
// that finds the file, accepts it under its lossless name.
#pragma once

#include <QFileDialog>

class CLosslessFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    // The chosen file under its lossless name; empty when nothing was chosen.
    QString ChosenFile() const;

protected:
    void accept() override;

private:
    QString resolved_;  // set when accept() found the file behind a lossy name
};

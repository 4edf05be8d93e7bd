#include "app/open/OpenFileDialog.h"

#include "view/file/LocalFileName.h"

#include <sys/stat.h>

QString CLosslessFileDialog::ChosenFile() const {
    if (!resolved_.isEmpty()) return resolved_;
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : kavlo::ResolveLossyFileName(files.first());
}

void CLosslessFileDialog::accept() {
    resolved_.clear();
    const QStringList files = selectedFiles();
    if (files.size() == 1) {
        // A changed name is one the lookup found; a directory is left to the dialog, which
        // enters it.
        const QString name = kavlo::ResolveLossyFileName(files.first());
        struct stat st {};
        if (name != files.first() && ::stat(kavlo::FileNameToBytes(name).constData(), &st) == 0 &&
            !S_ISDIR(st.st_mode)) {
            resolved_ = name;
            // The file dialog's own accept would look the name up again and refuse it.
            QDialog::accept();  // NOLINT(bugprone-parent-virtual-call)
            return;
        }
    }
    QFileDialog::accept();
}

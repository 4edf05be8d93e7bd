// Why a file cannot be opened, in words for the user, and the one form in which the viewer
// keeps a file's name (absolute and clean, so that it means the same from every folder).
#pragma once

#include "view/file/LocalFileName.h"  // AbsoluteFileName

#include <QString>

namespace kavlo {

// A reason why the named file cannot be a raw video at all: it does not exist, is no regular
// file, cannot be read or is empty. Empty when none of these applies.
QString FileProblem(const QString& path);

// The reason to show for a failed open: the text the opening code gave, followed by what is
// wrong with the file itself when something is; a general reason when neither says anything.
// The core's result code in that text ("(TNErr: File not found)") goes to the debug log instead
// when words follow it that say what was wrong.
QString OpenFailureReason(const QString& path, const QString& openError);

// `text` without its first " (TNErr: ...)" when something follows that says what was wrong:
// text after the code, or `reasonFollows`. Otherwise `text` as it is.
QString WithoutResultCode(const QString& text, bool reasonFollows);

}  // namespace kavlo

// The analysis views of the main window in one list: per view the commands that show its panel
// docked beside the picture or as a window of its own, their menu labels and key rows, the
// panel's docked width and how to make it. The analysis module builds its View menu items, its
// rows of the key table, its commands and their menu state from the list, and hands each panel
// to the window's strip of side panels.
//
// A view's commands are numbers of the analysis block (CmdAnalysisBlockFirst ..
// CmdAnalysisBlockLast of app/common/Commands.h) that no other command of the block takes; a
// view added after the histogram defines them here, beside its row.
#pragma once

#include "app/analysis/AnalysisDock.h"
#include "app/common/KeyTable.h"

#include <vector>

class CVideoBuffer;
class QWidget;

namespace kavlo {

struct AnalysisView {
    // Shows or hides the panel (docked, unless it was made a window of its own).
    int showCommand;
    // Makes the panel a window of its own, or docks it again; either way it is shown.
    int windowCommand;
    // The two commands' View menu labels, without their keys (the key rows add them).
    const char* showLabel;
    const char* windowLabel;
    // The view's rows of the key table; they work within every view's panel too, floating or
    // docked.
    std::vector<KeyRow> keys;
    // The panel's width beside the picture while docked.
    int dockedWidth;
    // A new panel, hidden, a child of `parent`, following `view`.
    AnalysisDock* (*makeDock)(CVideoBuffer* view, QWidget* parent);
};

// The views in the order of their View menu items, key rows and side panels.
const std::vector<AnalysisView>& AnalysisViews();

}  // namespace kavlo

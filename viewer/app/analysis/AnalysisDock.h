// The panel of an analysis view (AnalysisViews.h lists them): a dock that follows the view's
// frame while it is shown.
#pragma once

#include <QDockWidget>

namespace kavlo {

class AnalysisDock : public QDockWidget {
    Q_OBJECT
public:
    using QDockWidget::QDockWidget;
    // Brings the panel up to the view's present frame and switches (nothing while hidden).
    virtual void Refresh() = 0;
};

}  // namespace kavlo

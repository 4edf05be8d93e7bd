#include "app/analysis/AnalysisViews.h"

#include "app/analysis/HistogramDock.h"
#include "app/common/Commands.h"

namespace kavlo {

const std::vector<AnalysisView>& AnalysisViews() {
    static const std::vector<AnalysisView> views = {
        {CmdHistogram,
         CmdHistogramWindow,
         "&Histogram",
         "Histogram as a &Window",
         {{Qt::Key_H, CmdHistogram, kKeyInMenu, "histogram and waveform, beside the picture"},
          {Qt::SHIFT | Qt::Key_H, CmdHistogramWindow, kKeyInMenu,
           "histogram docked or a window of its own"}},
         HistogramDock::kDockedWidth,
         [](CVideoBuffer* view, QWidget* parent) -> AnalysisDock* {
             return new HistogramDock(view, parent);
         }},
    };
    return views;
}

}  // namespace kavlo

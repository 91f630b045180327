#include "desktop/shell/views/DocumentHistogram.h"

#include <cstdio>

#include "desktop/shell/core/TesseraDoc.h"

namespace {

// The data file lists its rows by decreasing count; the 31st decides which
// bars are worth drawing until the user says otherwise.
constexpr std::size_t kFilterPoint = 30;

QString MassLabel(double mass) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", mass);
  return QString::fromLatin1(buffer);
}

}  // namespace

bool PaintDocumentHistogram(CHistogramPlot& plot, QPainter& painter, const QRect& client, CTesseraDoc& doc) {
  const auto& points = doc.HistogramPoints();
  CHistogramData data;
  if (doc.DataLoaded() && !points.empty()) {
    CHistogramSettings& settings = doc.Settings();
    if (doc.ViewState() == 0) {
      plot.highCount = points.front().count;
      if (points.size() > kFilterPoint && !doc.FiltersInitialised()) {
        settings.histogramFilter = points[kFilterPoint].count;
        settings.annotationFilter = points[kFilterPoint].count;
        doc.SetFiltersInitialised(true);
      }
      plot.lowCount = 0;
      plot.lowMass = settings.massLow;
      plot.highMass = settings.massHigh;
    }
    data.barWidth = settings.peakWidth;
    data.barFilter = settings.histogramFilter;
    data.labelFilter = settings.annotationFilter;
    data.bars.reserve(points.size());
    // Only the bars that may carry a label need its text.
    for (const CHistogramPoint& point : points)
      data.bars.push_back({point.mass, point.count,
                           point.count > settings.annotationFilter ? MassLabel(point.mass) : QString()});
  }
  return plot.Paint(painter, client, data);
}

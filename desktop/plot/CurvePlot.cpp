#include "desktop/plot/CurvePlot.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRect>

#include <algorithm>
#include <cmath>

#include "common/CommandLine.h"
#include "common/TextUtil.h"
#include "desktop/plot/HistogramPictures.h"

namespace plot {

namespace {

// A round upper end for an axis that shows values up to `largest`.
double AxisEnd(double largest, double least) {
  const double wanted = std::max(largest * 1.1, least);
  const double step = std::pow(10.0, std::floor(std::log10(wanted)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * step >= wanted) return m * step;
  }
  return 10.0 * step;
}

QString Number(double value, double axis_end) {
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(axis_end))) + 1, 1, 6);
  return QString::number(value, 'f', decimals);
}

bool IsRatio(double value) { return value >= 0.0 && value <= 1.0; }

bool IsTenth(double threshold) {
  return std::fabs(threshold * 10.0 - std::round(threshold * 10.0)) < 1e-6;
}

}  // namespace

bool ReadCurveTable(const std::string& text, std::vector<CurvePoint>& points, std::string& error) {
  points.clear();
  const std::vector<std::string> lines = text::Split(text, '\n');
  const std::vector<std::string> header =
      lines.empty() ? std::vector<std::string>() : text::Split(text::TrimRight(lines[0]), '\t');
  if (header.size() < 3 || header[0] != "threshold" || header[1] != "clustered_ratio" ||
      header[2] != "incorrect_ratio") {
    error = "not a threshold curve table (threshold, clustered_ratio, incorrect_ratio, ...)";
    return false;
  }
  for (std::size_t k = 1; k < lines.size(); ++k) {
    // Line ends written on Windows read the same.
    const std::string line = text::TrimRight(lines[k]);
    if (line.empty()) continue;
    const std::vector<std::string> fields = text::Split(line, '\t');
    const auto refuse = [&](const char* what) {
      error = LineError(k + 1, line, what);
      return false;
    };
    if (fields.size() < 3) return refuse("has fewer than three columns");
    CurvePoint p;
    p.incorrect_known = fields[2] != "NA";
    if (!cli::ParseFiniteNumber(fields[0], p.threshold) || !cli::ParseFiniteNumber(fields[1], p.clustered_ratio) ||
        (p.incorrect_known && !cli::ParseFiniteNumber(fields[2], p.incorrect_ratio)))
      return refuse("holds a value that is not a number");
    // Ratios are shares of spectra; the axes are drawn for 0 to 1.
    if (!IsRatio(p.clustered_ratio) || (p.incorrect_known && !IsRatio(p.incorrect_ratio)))
      return refuse("holds a ratio outside 0 to 1");
    points.push_back(p);
  }
  if (points.empty()) {
    error = "the curve table has no rows";
    return false;
  }
  return true;
}

void PaintCurve(QPainter& painter, const QRect& area, const std::vector<CurvePoint>& points) {
  painter.setRenderHint(QPainter::Antialiasing);
  QFont font = painter.font();
  font.setPixelSize(13);
  painter.setFont(font);
  const QRect plot = area.adjusted(80, 50, -40, -70);

  double most_incorrect = 0.0, most_clustered = 0.0;
  bool any_unknown = false;
  for (const CurvePoint& p : points) {
    if (p.incorrect_known) most_incorrect = std::max(most_incorrect, p.incorrect_ratio);
    any_unknown = any_unknown || !p.incorrect_known;
    most_clustered = std::max(most_clustered, p.clustered_ratio);
  }
  const double x_end = AxisEnd(most_incorrect, 0.01);
  const double y_end = std::min(1.0, AxisEnd(most_clustered, 0.1));
  auto at = [&](double incorrect, double clustered) {
    return QPointF(plot.left() + plot.width() * incorrect / x_end,
                   plot.bottom() - plot.height() * clustered / y_end);
  };

  painter.setPen(Qt::black);
  painter.drawText(QRect(area.left(), area.top() + 10, area.width(), 24), Qt::AlignCenter,
                   "Clustered ratio against incorrect ratio over the threshold");
  painter.drawRect(plot);
  for (int k = 0; k <= 5; ++k) {
    const double x = x_end * k / 5.0, y = y_end * k / 5.0;
    const QPointF bottom = at(x, 0.0), left = at(0.0, y);
    painter.drawLine(bottom, bottom + QPointF(0, 5));
    painter.drawText(QRectF(bottom.x() - 40, bottom.y() + 8, 80, 18), Qt::AlignCenter, Number(x, x_end));
    painter.drawLine(left, left - QPointF(5, 0));
    painter.drawText(QRectF(left.x() - 72, left.y() - 9, 64, 18), Qt::AlignRight | Qt::AlignVCenter,
                     Number(y, y_end));
  }
  painter.drawText(QRect(plot.left(), plot.bottom() + 30, plot.width(), 20), Qt::AlignCenter,
                   "incorrect ratio (identified clustered spectra not of their cluster's peptide)");
  painter.save();
  painter.translate(area.left() + 18, plot.center().y());
  painter.rotate(-90);
  painter.drawText(QRect(-plot.height() / 2, -10, plot.height(), 20), Qt::AlignCenter,
                   "clustered ratio (spectra in clusters of two or more)");
  painter.restore();

  QPainterPath curve;
  for (std::size_t k = 0; k < points.size(); ++k) {
    const QPointF p = at(points[k].incorrect_known ? points[k].incorrect_ratio : 0.0, points[k].clustered_ratio);
    if (k == 0) curve.moveTo(p); else curve.lineTo(p);
  }
  painter.setPen(QPen(QColor(30, 90, 180), 2));
  painter.drawPath(curve);
  for (const CurvePoint& p : points) {
    if (!IsTenth(p.threshold)) continue;
    const QPointF c = at(p.incorrect_known ? p.incorrect_ratio : 0.0, p.clustered_ratio);
    painter.setPen(QPen(p.incorrect_known ? QColor(200, 60, 30) : Qt::gray, 1.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(c, 4, 4);
    painter.drawText(c + QPointF(7, -6), QString::number(p.threshold, 'f', 1));
  }
  if (any_unknown) {
    painter.setPen(Qt::gray);
    painter.drawText(QRect(plot.left() + 10, plot.top() + 8, plot.width() - 20, 20), Qt::AlignLeft,
                     "grey marks: too few identified spectra clustered to estimate the incorrect ratio (drawn at 0)");
  }
}

}  // namespace plot

#pragma once
// The threshold curve of a clustering as a picture: clustered ratio against
// incorrect ratio, one point per row of the curve table, the thresholds of
// every tenth marked and labelled.

#include <string>
#include <vector>

class QPainter;
class QRect;

namespace plot {

struct CurvePoint {
  double threshold = 0.0;
  double clustered_ratio = 0.0;
  double incorrect_ratio = 0.0;
  bool incorrect_known = false;  // "NA" in the table: too few identified spectra
};

// The rows of a curve table ("threshold", "clustered_ratio",
// "incorrect_ratio" columns, tab-separated, one header line; ratios from 0
// to 1, the incorrect one may be "NA"). False with `error` naming the first
// line that is not such a row, with its text.
bool ReadCurveTable(const std::string& text, std::vector<CurvePoint>& points, std::string& error);

// Paints the curve into `area`. Points whose incorrect ratio is unknown are
// drawn at 0 on that axis in grey, and the picture says why.
void PaintCurve(QPainter& painter, const QRect& area, const std::vector<CurvePoint>& points);

}  // namespace plot

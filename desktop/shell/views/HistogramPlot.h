#pragma once
// Geometry and painting of the mass-difference histogram: the plot rectangle
// inside a 50-pixel margin, the mass and count ranges shown, the conversions
// between pixels and values, and the drawing itself. Kept apart from the
// widget so that the same painting serves the screen, pictures and tests.

#include <QLine>
#include <QRect>
#include <QString>
#include <vector>

class CTesseraDoc;
class QPainter;

// One tick of an axis: its mark, and its label where the label has room
// (a label that would run into the one before it is left out, so that
// small windows show fewer labels rather than labels over each other).
struct CAxisTick {
  QLine mark;
  QString label;
  QRect box;           // the label's extent on the picture
  bool upwards = false;  // the vertical axis's labels read upwards
  bool labelled = false;
};

class CHistogramPlot {
 public:
  // Plot rectangle for a client area; also called by Paint.
  void Layout(const QRect& client);

  // Paints the whole picture into the client rectangle. With data loaded and
  // view state 0, the ranges are taken from the data and the settings first
  // (and the filters from the 31st point, once). Answers whether data were
  // drawn.
  bool Paint(QPainter& painter, const QRect& client, CTesseraDoc& doc);

  // The tick step for a range: the step below the first table entry s with
  // range < 2 s; 0 when even the smallest step is too large.
  static double TickStep(double range);

  // Value at a pixel, the pixel clamped to the plot (20 pixels short of the
  // right and top edge, which the frame leaves for the labels).
  double MassAt(int x) const;
  double CountAt(int y) const;
  // Pixel of a value; -1 for a mass outside the horizontal range.
  int XOf(double mass) const;
  int YOf(double count) const;

  // The ticks of both axes for the current ranges, vertical axis first;
  // none when the count range is too small for a step.
  std::vector<CAxisTick> Ticks() const;

  int left = 0, bottom = 0, right = 0, top = 0;
  double lowMass = 0.0, highMass = 200.0;
  int highCount = 0, lowCount = 0;

 private:
  void DrawTicks(QPainter& painter) const;
  void DrawBars(QPainter& painter, const CTesseraDoc& doc) const;
  void DrawMassLabels(QPainter& painter, const CTesseraDoc& doc) const;
};

#pragma once
// Geometry and painting of the mass-difference histogram: the plot rectangle
// inside a 50-pixel margin, the mass and count ranges shown, the conversions
// between pixels and values, and the drawing itself. It paints plain data,
// not a document, so that the same painting serves the desktop's pane, the
// pictures tessera-plot writes on servers, and tests.

#include <QLine>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;

// One bar: its place on the horizontal axis, its height, and the text over
// it (an empty text is never written).
struct CHistogramBar {
  double mass = 0.0;
  int count = 0;
  QString label;
};

// What is painted besides the ranges of CHistogramPlot: the bars, in the
// order of their table (labels are placed tallest first, equal heights in
// this order), how wide they are and which are drawn and labelled, and the
// axis titles.
struct CHistogramData {
  std::vector<CHistogramBar> bars;
  int barWidth = 3;         // pixels; below 2 a bar is a one-pixel line
  int barFilter = 1;        // bars of this count or fewer are not drawn
  int labelFilter = 2;      // bars of this count or fewer are not labelled
  // Lines above its bar a label may rise to when its place is taken; one on
  // the screen, where the status bar's readout names any bar.
  int labelRaise = 1;
  bool raisedLeft = false;  // a raised label may also end at its bar's left
  QString horizontalTitle = QStringLiteral("Delta mass (Da)");
  QString verticalTitle = QStringLiteral("Pairs");
};

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

// One number printed with a printf format of one conversion ("%.2f"), in
// full however long (a tick or a shift of 1e300 has 300 digits).
QString FormattedNumber(const char* format, double value);

class CHistogramPlot {
 public:
  // Plot rectangle for a client area; also called by Paint.
  void Layout(const QRect& client);

  // Paints the whole picture into the client rectangle with the ranges as
  // they are: frame and axis titles always, ticks, bars and labels when
  // there are bars. Answers whether there were.
  bool Paint(QPainter& painter, const QRect& client, const CHistogramData& data);

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
  // none when the count range is too small for a step. An axis has at most
  // one tick per pixel of its length (or 20 on a shorter one); a range no
  // tick count can number (beyond the largest double, or far smaller than
  // its ends) has no ticks.
  std::vector<CAxisTick> Ticks() const;

  int left = 0, bottom = 0, right = 0, top = 0;
  double lowMass = 0.0, highMass = 200.0;
  int highCount = 0, lowCount = 0;
  // printf format of the horizontal axis's tick labels.
  const char* tickFormat = "%.2f";

 private:
  void DrawTicks(QPainter& painter) const;
  void DrawBars(QPainter& painter, const CHistogramData& data) const;
  void DrawMassLabels(QPainter& painter, const CHistogramData& data) const;
};

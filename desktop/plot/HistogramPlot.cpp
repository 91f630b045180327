#include "desktop/plot/HistogramPlot.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kTickSteps[] = {0.0001, 0.001, 0.01, 0.1, 1, 10, 100, 1000, 10000, 100000};

QFont ArialFont(int pixelHeight, bool bold = false) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

// Text whose cell's top-left corner is at (x, y), optionally turned to read
// upwards.
void DrawTextAt(QPainter& painter, int x, int y, const QString& text, bool upwards = false) {
  const int ascent = QFontMetrics(painter.font()).ascent();
  painter.save();
  painter.translate(x, y);
  if (upwards) painter.rotate(-90);
  painter.drawText(0, ascent, text);
  painter.restore();
}

// First multiple of step not below low, as a count of steps so that the
// ticks do not drift and zero prints as "0.00", not "-0.00".
long long FirstTick(double low, double step) {
  return static_cast<long long>(std::ceil(low / step - 1e-9));
}

// The table's `step` for an axis showing `low` to `high` on `pixels`, ten
// times larger while there would be more ticks than pixels: the table ends
// at 100000, and a range of 1e12 would otherwise take ten million ticks.
// Never fewer than the 20 ticks the table allows a range, so that every
// range the table serves keeps its ticks. 0 for no ticks, also where the
// range is beyond what counts of steps can number (beyond the largest
// double, or far smaller than its ends: ticks there would print alike).
double BoundedStep(double step, double low, double high, int pixels) {
  constexpr double kCountable = 9007199254740992.0;  // 2^53: counts of steps stay exact
  const double range = high - low;
  if (!std::isfinite(range)) return 0.0;
  while (step > 0.0 && range / step > std::max(pixels, 20)) step *= 10.0;
  if (!(step > 0.0) || !std::isfinite(step) || std::fabs(low / step) > kCountable ||
      std::fabs(high / step) > kCountable)
    return 0.0;
  return step;
}

}  // namespace

QString FormattedNumber(const char* format, double value) {
  const int length = std::snprintf(nullptr, 0, format, value);
  if (length <= 0) return QString();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, value);
  text.resize(static_cast<std::size_t>(length));
  return QString::fromLatin1(text.data(), length);
}

double CHistogramPlot::TickStep(double range) {
  const std::size_t n = sizeof kTickSteps / sizeof kTickSteps[0];
  for (std::size_t i = 0; i < n; ++i)
    if (range < 2 * kTickSteps[i]) return i == 0 ? 0.0 : kTickSteps[i - 1];
  return kTickSteps[n - 1];
}

void CHistogramPlot::Layout(const QRect& client) {
  left = client.left() + 50;
  right = client.left() + client.width() - 50;
  top = client.top() + 50;
  bottom = client.top() + client.height() - 50;
}

double CHistogramPlot::MassAt(int x) const {
  if (right <= left) return lowMass;
  x = std::max(left, std::min(x, right - 20));
  return lowMass + (x - left) * (highMass - lowMass) / (right - left);
}

double CHistogramPlot::CountAt(int y) const {
  if (bottom <= top) return lowCount;
  y = std::max(top + 20, std::min(y, bottom));
  return lowCount + static_cast<double>(highCount - lowCount) * (bottom - y) / (bottom - top);
}

int CHistogramPlot::XOf(double mass) const {
  if (!(highMass > lowMass)) return -1;
  const double f = (mass - lowMass) / (highMass - lowMass);
  if (f < 0.0 || f > 1.0) return -1;
  return static_cast<int>(f * (right - left) + left);
}

int CHistogramPlot::YOf(double count) const {
  // A flat range (all counts equal) would divide by zero; one count per
  // plot height stands in for it.
  const double span = highCount != lowCount ? highCount - lowCount : 1.0;
  const int y = static_cast<int>(bottom - (count - lowCount) / span * (bottom - top));
  return std::max(y, top);
}

bool CHistogramPlot::Paint(QPainter& painter, const QRect& client, const CHistogramData& data) {
  painter.fillRect(client, Qt::white);
  Layout(client);

  painter.setPen(QColor(200, 200, 200));
  painter.drawLine(left - 1, bottom, left - 1, top - 20);
  painter.drawLine(left - 1, bottom, right, bottom);
  painter.drawLine(right, top - 20, right, bottom);
  painter.drawLine(right, top - 20, left - 1, top - 20);

  painter.setPen(Qt::black);
  painter.setFont(ArialFont(13, true));
  DrawTextAt(painter, left - 35, (top + bottom) / 2 + 20, data.verticalTitle, true);
  DrawTextAt(painter, (left + right) / 2 - 35, bottom + 30, data.horizontalTitle);

  if (data.bars.empty()) return false;
  DrawTicks(painter);
  DrawBars(painter, data);
  DrawMassLabels(painter, data);
  return true;
}

std::vector<CAxisTick> CHistogramPlot::Ticks() const {
  std::vector<CAxisTick> ticks;
  const double countStep = BoundedStep(TickStep(highCount), lowCount, highCount, bottom - top);
  if (countStep == 0.0) return ticks;
  const QFontMetrics metrics(ArialFont(12));
  // Labels keep this much room between them.
  constexpr int kGap = 4;
  QRect previous;
  // Steps below one count would repeat the same whole-number tick.
  int previousCount = lowCount - 1;
  for (long long k = FirstTick(lowCount, countStep); k * countStep <= highCount; ++k) {
    const int c = static_cast<int>(k * countStep);
    const int y = YOf(c);
    if (y < 0 || c > highCount || c == previousCount) continue;
    previousCount = c;
    CAxisTick tick;
    tick.mark = QLine(left, y, left - 5, y);
    tick.label = QString::number(c);
    tick.upwards = true;
    // Read upwards, the text ends 12 pixels below the tick.
    const int length = metrics.horizontalAdvance(tick.label);
    tick.box = QRect(left - 18, y + 12 - length, metrics.height(), length);
    tick.labelled = previous.isNull() || !tick.box.adjusted(0, -kGap, 0, kGap).intersects(previous);
    if (tick.labelled) previous = tick.box;
    ticks.push_back(tick);
  }

  const double massStep = BoundedStep(TickStep(highMass - lowMass), lowMass, highMass, right - left);
  if (massStep == 0.0) return ticks;
  previous = QRect();
  for (long long k = FirstTick(lowMass, massStep); k * massStep <= highMass + 1e-9 * massStep; ++k) {
    const double value = k * massStep;
    const int x = XOf(std::min(value, highMass));
    if (x < 0) continue;
    CAxisTick tick;
    tick.mark = QLine(x, bottom, x, bottom + 5);
    tick.label = FormattedNumber(tickFormat, value);
    tick.box = QRect(x - 8, bottom + 16, metrics.horizontalAdvance(tick.label), metrics.height());
    tick.labelled = previous.isNull() || !tick.box.adjusted(-kGap, 0, kGap, 0).intersects(previous);
    if (tick.labelled) previous = tick.box;
    ticks.push_back(tick);
  }
  return ticks;
}

void CHistogramPlot::DrawTicks(QPainter& painter) const {
  painter.setPen(Qt::black);
  painter.setFont(ArialFont(12));
  for (const CAxisTick& tick : Ticks()) {
    painter.drawLine(tick.mark);
    if (!tick.labelled) continue;
    if (tick.upwards)
      DrawTextAt(painter, tick.box.left(), tick.box.bottom() + 1, tick.label, true);
    else
      DrawTextAt(painter, tick.box.left(), tick.box.top(), tick.label);
  }
}

void CHistogramPlot::DrawBars(QPainter& painter, const CHistogramData& data) const {
  const int width = data.barWidth;
  const QColor blue(0, 0, 255);
  painter.setPen(blue);
  for (const CHistogramBar& point : data.bars) {
    if (point.count <= data.barFilter) continue;
    const int x = XOf(point.mass);
    const int y = YOf(point.count);
    if (x < 0 || y < 0 || y > bottom) continue;
    if (width < 2)
      painter.drawLine(x, bottom - 1, x, y);
    else
      painter.fillRect(QRect(x - (width - 1) / 2, y, width, bottom - y), blue);
  }
}

void CHistogramPlot::DrawMassLabels(QPainter& painter, const CHistogramData& data) const {
  painter.setPen(QColor(255, 0, 0));
  painter.setFont(ArialFont(13));
  const QFontMetrics metrics(painter.font());
  const int height = metrics.height();
  // Taller bars are labelled first. A label that would run into one already
  // written, or be crossed by a bar, moves to the bar's left, else up by a
  // line at a time, as far as the data allow; where those are taken too it
  // is left out (on the screen the status-bar readout still gives that
  // mass): masses printed over each other read as neither.
  std::vector<const CHistogramBar*> labelled;
  std::vector<QRect> written;
  for (const CHistogramBar& point : data.bars) {
    if (point.count > data.labelFilter && !point.label.isEmpty()) labelled.push_back(&point);
    const int x = XOf(point.mass);
    const int y = YOf(point.count);
    if (point.count > data.barFilter && x >= 0 && y >= 0 && y <= bottom)
      written.push_back(QRect(x - (data.barWidth - 1) / 2, y, std::max(data.barWidth, 1), bottom - y));
  }
  std::stable_sort(labelled.begin(), labelled.end(),
                   [](const CHistogramBar* a, const CHistogramBar* b) { return a->count > b->count; });
  // Labels end to end would read as one number; keep a space between them.
  const auto isFree = [&written](const QRect& box) {
    const QRect spaced = box.adjusted(-4, 0, 4, 0);
    return std::none_of(written.begin(), written.end(), [&spaced](const QRect& r) { return r.intersects(spaced); });
  };
  for (const CHistogramBar* point : labelled) {
    const int x = XOf(point->mass);
    const int y = YOf(point->count);
    // A bar at or below a zoomed floor has no height to stand on, so it
    // gets no label (it would sit on the mass axis).
    if (x < 0 || y < 0 || y >= bottom) continue;
    const QString& text = point->label;
    const int width = metrics.horizontalAdvance(text);
    // The label sits on the bar's top rather than across it, in the room
    // the frame leaves above the plot for the tallest bar.
    // Labels stay within the frame's width, clear of the count axis and its
    // labels.
    const auto inside = [this](QRect box) {
      if (box.left() < left) box.moveLeft(left);
      if (box.right() > right) box.moveRight(right);
      return box;
    };
    QRect box = inside(QRect(x - 8, y - height, width, height));
    if (!isFree(box)) box = inside(box.translated(x + 2 - width - box.left(), 0));
    if (!isFree(box)) {
      // A line higher, still over its bar, while the frame has room.
      bool placed = false;
      for (int line = 2; line <= data.labelRaise + 1 && !placed; ++line) {
        box = inside(QRect(x - 8, y - line * height, width, height));
        if (box.top() < top - 20 - height) break;
        placed = isFree(box);
        if (!placed && data.raisedLeft) {
          box = inside(box.translated(x + 2 - width - box.left(), 0));
          placed = isFree(box);
        }
      }
      if (!placed) continue;
    }
    written.push_back(box);
    DrawTextAt(painter, box.left(), box.top(), text);
  }
}

#include "desktop/plot/HistogramPictures.h"

#include <QFont>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <map>

#include "common/CommandLine.h"
#include "common/TextUtil.h"
#include "resultfiles/unimod/UnimodTable.h"

namespace plot {

namespace {

// The fields after the pair count: delta time, d-score, type, mass 1, mass 2.
constexpr std::size_t kMostFields = 7;
// Room above the histogram for the title.
constexpr int kTitleHeight = 34;

std::string Shown(const std::string& line) {
  constexpr std::size_t kShown = 60;
  return line.size() > kShown ? line.substr(0, kShown) + "..." : line;
}

bool WholeNumber(const std::string& field, long& value) {
  return cli::ParseWholeNumber(text::Trim(field), value);
}

}  // namespace

std::string LineError(std::size_t number, const std::string& line, const char* what) {
  return "line " + std::to_string(number) + " (\"" + Shown(line) + "\") " + what;
}

bool ReadShiftTable(const std::string& text, std::vector<ShiftRow>& rows, ShiftTableKind& kind, std::string& error) {
  rows.clear();
  bool zeros_after_count = true;
  const std::vector<std::string> lines = text::Split(text, '\n');
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string line = text::TrimRight(lines[k]);
    if (text::Trim(line).empty()) continue;
    const std::vector<std::string> fields = text::Split(line, ',');
    double number = 0.0;
    long pairs = 0;
    bool numbers = fields.size() >= 2 && fields.size() <= kMostFields && WholeNumber(fields[1], pairs) && pairs >= 0;
    for (std::size_t i = 0; numbers && i < fields.size(); ++i)
      numbers = i == 1 || cli::ParseFiniteNumber(text::Trim(fields[i]), number);
    if (!numbers) {
      error = LineError(k + 1, line,
                        "does not hold a delta mass, a pair count and at most five further numbers: not a "
                        "mass-shift table");
      return false;
    }
    double mass = 0.0;
    cli::ParseFiniteNumber(text::Trim(fields[0]), mass);
    rows.push_back({mass, static_cast<int>(pairs)});
    zeros_after_count = zeros_after_count && fields.size() == kMostFields;
    for (std::size_t i = 2; zeros_after_count && i < fields.size(); ++i) zeros_after_count = text::Trim(fields[i]) == "0";
  }
  kind = zeros_after_count && !rows.empty() ? ShiftTableKind::kPairSearch : ShiftTableKind::kShiftscan;
  return true;
}

bool ReadClusterSizes(const std::string& text, std::vector<std::pair<int, int>>& sizes, std::string& error) {
  sizes.clear();
  std::map<long, int> members;
  const std::vector<std::string> lines = text::Split(text, '\n');
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string line = text::TrimRight(lines[k]);
    if (text::Trim(line).empty()) continue;
    const std::vector<std::string> fields = text::Split(line, ',');
    long row = 0, cluster = 0;
    double mass = 0.0;
    if (fields.size() != 4 || !WholeNumber(fields[0], row) || text::Trim(fields[1]).empty() ||
        !WholeNumber(fields[2], cluster) || !cli::ParseFiniteNumber(text::Trim(fields[3]), mass)) {
      error = LineError(k + 1, line,
                        "is not a row of a cluster file (row, spectrum name, cluster number, precursor MH+)");
      return false;
    }
    ++members[cluster];
  }
  if (members.empty()) {
    error = "the cluster file has no rows";
    return false;
  }
  std::map<int, int> clusters_of_size;
  for (const auto& [cluster, size] : members) ++clusters_of_size[size];
  sizes.assign(clusters_of_size.begin(), clusters_of_size.end());
  return true;
}

namespace {

// A picture shows every bar and every label it is given: it has none of
// the desktop pane's filters.
HistogramPicture UnfilteredPicture(const QString& horizontal_title, const QString& vertical_title) {
  HistogramPicture picture;
  picture.data.horizontalTitle = horizontal_title;
  picture.data.verticalTitle = vertical_title;
  picture.data.barFilter = 0;
  picture.data.labelFilter = 0;
  return picture;
}

}  // namespace

HistogramPicture ShiftPicture(const std::string& name, const std::vector<ShiftRow>& rows, ShiftTableKind kind,
                              const CUnimodTable& unimod, double tolerance) {
  HistogramPicture picture = UnfilteredPicture(QStringLiteral("Delta mass (Da)"), QStringLiteral("Pairs"));
  CHistogramData& data = picture.data;
  // A picture has no readout: the named shifts climb over their
  // neighbours rather than go unnamed.
  data.labelRaise = 20;
  data.raisedLeft = true;
  // The tables list their rows by decreasing pairs already; the order of
  // equal counts is the table's.
  std::vector<std::size_t> order(rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&rows](std::size_t a, std::size_t b) { return rows[a].pairs > rows[b].pairs; });
  std::vector<QString> labels(rows.size());
  std::size_t named = 0;
  for (std::size_t i : order) {
    if (named == kNamedShifts || rows[i].pairs == 0) break;
    const std::vector<UnimodEntry> hits = unimod.Matches(rows[i].mass, tolerance);
    labels[i] = FormattedNumber("%.3f", rows[i].mass);
    if (!hits.empty()) labels[i] += QLatin1Char(' ') + QString::fromStdString(hits.front().interimName);
    ++named;
  }
  double lowest = 0.0, highest = 0.0;
  long pairs = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    data.bars.push_back({rows[i].mass, rows[i].pairs, labels[i]});
    lowest = std::min(lowest, rows[i].mass);
    highest = std::max(highest, rows[i].mass);
    picture.highCount = std::max(picture.highCount, rows[i].pairs);
    pairs += rows[i].pairs;
  }
  // Whole tens of daltons, with room right of the last bar for its label.
  picture.low = std::floor(lowest / 10.0) * 10.0;
  picture.high = std::max(std::ceil((highest + 1.0) / 10.0) * 10.0, picture.low + 10.0);
  picture.highCount = std::max(picture.highCount, 1);

  const QString source = kind == ShiftTableKind::kPairSearch ? QStringLiteral("spectral pair search")
                                                             : QStringLiteral("Shiftscan");
  picture.title = QString::fromStdString(name) + QStringLiteral(": %1 mass shifts (%2), %3 pairs")
                                                      .arg(rows.size())
                                                      .arg(source)
                                                      .arg(pairs);
  if (named > 0) {
    picture.title += QStringLiteral("; the %1 with most pairs named from Unimod (within %2 Da)")
                         .arg(named)
                         .arg(QString::number(tolerance, 'g', 6));
  }
  if (rows.empty()) {
    picture.note = QStringLiteral("The table holds no mass shifts.");
  } else if (pairs == 0) {
    picture.note = kind == ShiftTableKind::kShiftscan
                       ? QStringLiteral("Every pair count is 0: Shiftscan counts pairs only when it writes pair files "
                                        "(--find-pairs, findpair=1).")
                       : QStringLiteral("Every pair count is 0.");
  }
  return picture;
}

HistogramPicture SizePicture(const std::string& name, const std::vector<std::pair<int, int>>& sizes) {
  HistogramPicture picture = UnfilteredPicture(QStringLiteral("Cluster size (spectra)"), QStringLiteral("Clusters"));
  CHistogramData& data = picture.data;
  picture.tickFormat = "%.0f";
  long clusters = 0, spectra = 0;
  int largest = 1;
  for (const auto& [size, count] : sizes) {
    data.bars.push_back({static_cast<double>(size), count, QString::number(count)});
    picture.highCount = std::max(picture.highCount, count);
    largest = std::max(largest, size);
    clusters += count;
    spectra += static_cast<long>(size) * count;
  }
  picture.low = 0.0;
  picture.high = largest + 1.0;
  // Bars about half a size unit wide, within what the desktop allows.
  const int plot_width = kHistogramWidth - 100;
  data.barWidth = std::clamp(static_cast<int>(plot_width / picture.high / 2.0), 1, 40);
  picture.highCount = std::max(picture.highCount, 1);
  picture.title = QString::fromStdString(name) +
                  QStringLiteral(": %1 clusters of %2 spectra by size, the largest of %3")
                      .arg(clusters)
                      .arg(spectra)
                      .arg(largest);
  return picture;
}

void PaintHistogramPicture(QPainter& painter, const QRect& area, const HistogramPicture& picture) {
  painter.fillRect(area, Qt::white);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(14);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(area.left() + 10, area.top() + 8, area.width() - 20, kTitleHeight - 8),
                   Qt::AlignCenter, picture.title);

  CHistogramPlot plot;
  plot.lowMass = picture.low;
  plot.highMass = picture.high;
  plot.lowCount = 0;
  plot.highCount = picture.highCount;
  plot.tickFormat = picture.tickFormat;
  plot.Paint(painter, area.adjusted(0, kTitleHeight, 0, 0), picture.data);
  if (!picture.note.isEmpty()) {
    painter.setFont(font);
    painter.setPen(Qt::darkGray);
    painter.drawText(QRect(plot.left, plot.top, plot.right - plot.left, plot.bottom - plot.top),
                     Qt::AlignCenter | Qt::TextWordWrap, picture.note);
  }
}

}  // namespace plot

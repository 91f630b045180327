#pragma once
// The histograms tessera-plot draws from the console programs' files, with
// the desktop's histogram painting: the mass-shift tables ("temp.temp") of
// the spectral pair search and of Shiftscan, the shifts of most pairs named
// from Unimod, and the sizes of the clusters of a cluster file.

#include <QString>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "desktop/plot/HistogramPlot.h"

class CUnimodTable;
class QPainter;
class QRect;

namespace plot {

// How many of the shifts with most pairs carry their Unimod name.
inline constexpr std::size_t kNamedShifts = 10;
// The size of a histogram picture, pixels.
inline constexpr int kHistogramWidth = 1200;
inline constexpr int kHistogramHeight = 700;

struct ShiftRow {
  double mass = 0.0;
  int pairs = 0;
};

// Why line `number` of a table is refused, with its text (cut short when
// long): `line 3 ("...") what`.
std::string LineError(std::size_t number, const std::string& line, const char* what);

enum class ShiftTableKind { kPairSearch, kShiftscan };

// Reads a mass-shift table, no header: per line a delta mass, a pair count
// (a whole number, 0 or more) and at most five further numbers,
// comma-separated. The pair search writes five zeros after the count
// ("%lf,%d, 0, 0, 0, 0, 0"), Shiftscan delta time, d-score, type and two
// masses; a table whose every line ends in those zeros is the pair
// search's. Blank lines are skipped. False with `error` naming the first
// line that is not such a row.
bool ReadShiftTable(const std::string& text, std::vector<ShiftRow>& rows, ShiftTableKind& kind, std::string& error);

// Reads a cluster file (per line row, spectrum name, cluster number,
// precursor MH+) as (size, clusters of that size), ascending in size.
// False with `error` naming the first line that is not such a row, or for
// a file without rows.
bool ReadClusterSizes(const std::string& text, std::vector<std::pair<int, int>>& sizes, std::string& error);

// A histogram ready to paint: its bars, ranges, title, and a note said in
// the plot when the bars show nothing.
struct HistogramPicture {
  QString title;
  QString note;
  CHistogramData data;
  double low = 0.0, high = 200.0;
  int highCount = 0;
  const char* tickFormat = "%.2f";
};

// The picture of a mass-shift table named `name`: every shift with pairs
// as a bar from 0 Da (or below the lowest shift) to the highest shift
// rounded up to 10 Da; the kNamedShifts with most pairs labelled with their
// mass and the first Unimod name the result list gives them within
// `tolerance` Da (from `unimod`, which may be empty).
HistogramPicture ShiftPicture(const std::string& name, const std::vector<ShiftRow>& rows, ShiftTableKind kind,
                              const CUnimodTable& unimod, double tolerance);

// The picture of a cluster file named `name`: clusters by size, every bar
// labelled with its number of clusters.
HistogramPicture SizePicture(const std::string& name, const std::vector<std::pair<int, int>>& sizes);

// Paints the title above the histogram, the histogram, and the note.
void PaintHistogramPicture(QPainter& painter, const QRect& area, const HistogramPicture& picture);

}  // namespace plot

#pragma once
// The document both panes draw from: the mass-shift table of the last job
// (as histogram points and as whole result rows), what the clustering dialog
// remembers between jobs, and the histogram settings.

#include <QObject>
#include <string>
#include <utility>
#include <vector>

#include "desktop/shell/core/HistogramSettings.h"

struct CHistogramPoint {
  int count = 0;      // spectrum pairs
  double mass = 0.0;  // delta mass, Da
};

struct CResultRow {
  double mass = 0.0;
  std::string text;  // the whole line as read, line break included
};

// Whether a file is a mass-shift table as the back ends write them: every
// line a delta mass, a pair count of zero or more and at most five further
// numbers, comma-separated (an empty table is one, with no rows). False
// with `why` naming the first line that is not, so that a cluster file or a
// pair file is not shown as shifts at its row numbers.
bool IsMassShiftTable(const std::string& path, std::string& why);

class CTesseraDoc : public QObject {
  Q_OBJECT

 public:
  // The working directory is the process's current directory now.
  explicit CTesseraDoc(QObject* parent = nullptr);

  const std::vector<CHistogramPoint>& HistogramPoints() const { return points_; }
  const std::vector<CResultRow>& ResultRows() const { return rows_; }

  // Directory with a trailing separator, as the dialogs join file names to it.
  std::string GetWorkingDirectory() const { return workingDirectory_; }
  void SetWorkingDirectory(std::string directory);

  std::string GetLastDataPath() const { return lastDataPath_; }
  void SetLastDataPath(std::string path) { lastDataPath_ = std::move(path); }
  int LastDataType() const { return lastDataType_; }
  void SetLastDataType(int type) { lastDataType_ = type; }

  bool DataLoaded() const { return dataLoaded_; }
  void SetDataLoaded(bool loaded) { dataLoaded_ = loaded; }
  // 0: ranges follow the data and the settings; 1: zoomed by the user.
  int ViewState() const { return viewState_; }
  void SetViewState(int state) { viewState_ = state; }
  bool FiltersInitialised() const { return filtersInitialised_; }
  void SetFiltersInitialised(bool done) { filtersInitialised_ = done; }

  CHistogramSettings& Settings() { return settings_; }
  const CHistogramSettings& Settings() const { return settings_; }

  // Replaces points and rows with a mass-shift table ("%lf,%d" at the start
  // of each line; a line that does not parse repeats the previous values).
  // Answers false and changes nothing when the file cannot be opened.
  bool LoadHistogramData(const std::string& path);

  // Tells every view to redraw from the document.
  void UpdateAllViews() { emit Changed(); }

 signals:
  void Changed();

 private:
  std::vector<CHistogramPoint> points_;
  std::vector<CResultRow> rows_;
  std::string lastDataPath_;
  int lastDataType_ = 0;
  bool dataLoaded_ = false;
  int viewState_ = 0;
  bool filtersInitialised_ = false;
  std::string workingDirectory_;
  CHistogramSettings settings_;
};

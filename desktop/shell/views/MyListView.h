#pragma once
// The lower pane: one row per mass difference of the last job with its
// statistics and the Unimod modifications of matching mass. A header click
// sorts by that column (ascending, then descending); a double click shows the
// matching Unimod entries in detail; the right-click menu saves the list as
// tab-separated text. The list follows every change of the document, so it
// never shows rows of an earlier table.

#include <QString>
#include <QTableWidget>
#include <memory>
#include <vector>

#include "resultfiles/unimod/UnimodTable.h"

class CTesseraDoc;
class CModInfoDlg;

class CMyListView : public QTableWidget {
  Q_OBJECT

 public:
  // Reads the Unimod table beside the program.
  explicit CMyListView(CTesseraDoc* doc, QWidget* parent = nullptr);
  // Reads the Unimod table from the path given.
  CMyListView(CTesseraDoc* doc, const QString& unimodPath, QWidget* parent = nullptr);

  // "Unimod_xml/Unimod_mono.xml" in the program's directory.
  static QString DefaultUnimodPath();

  const CUnimodTable& Unimod() const { return unimod_; }
  // Why the Unimod table is empty; empty when it was read.
  const QString& UnimodWarning() const { return unimodWarning_; }

  // Sorts the rows by the number in the column, toggling its direction.
  void SortByColumn(int column);
  // The delta mass of a row as the table holds it (the first column shows
  // it rounded to four decimals).
  double MassOfRow(int row) const;
  // The Unimod entries matching a delta mass within the settings'
  // tolerance; Unimod's placeholders for user-defined entries ("CUSTOM0"
  // to "CUSTOM9") are no modifications and never match.
  std::vector<UnimodEntry> Matches(double deltaMass) const;
  // The details dialog for a row, or null when its mass matches no entry.
  std::unique_ptr<CModInfoDlg> ModInfoForRow(int row);

 public slots:
  // Rebuilds columns and rows from the document.
  void Refill();
  // Refills once the current event is handled; requests in between merge.
  void ScheduleRefill();
  // Asks for a file and saves the list there as tab-separated text.
  void ExportAsTsv();

 signals:
  void StatusMessage(const QString& text);

 protected:
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void OpenModInfo(int row);

  CTesseraDoc* doc_;
  CUnimodTable unimod_;
  QString unimodWarning_;
  std::vector<unsigned> sortDirection_;
  bool shown_ = false;
  bool refillPending_ = false;
};

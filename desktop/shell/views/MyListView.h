#pragma once
// The lower pane: one row per mass difference of the last job with its
// statistics and the Unimod modifications of matching mass. A header click
// sorts by that column (ascending, then descending); a double click shows the
// matching Unimod entries in detail.

#include <QString>
#include <QTableWidget>
#include <memory>
#include <vector>

#include "unimod/UnimodTable.h"

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
  // The details dialog for a row, or null when its mass matches no entry.
  std::unique_ptr<CModInfoDlg> ModInfoForRow(int row);

 public slots:
  // Rebuilds columns and rows from the document.
  void Refill();
  // Refills once the current event is handled; requests in between merge.
  void ScheduleRefill();

 signals:
  void StatusMessage(const QString& text);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OpenModInfo(int row);

  CTesseraDoc* doc_;
  CUnimodTable unimod_;
  QString unimodWarning_;
  std::vector<unsigned> sortDirection_;
  bool shown_ = false;
  bool refillPending_ = false;
};

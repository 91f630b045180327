#pragma once
// The identifications a propagation job carried, as a table the user can
// sort and save: spectrum, peptide, modifications, route, source, shift
// with the Unimod modifications of its mass, and the transfer confidence
// (score and q-value against decoys).

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "propagation/TransferConfidence.h"

class CUnimodTable;
class QTableView;

// The Unimod names whose monoisotopic mass lies within `tolerance` of
// `shift`, the closest first, joined by "; "; empty for none.
QString UnimodNames(const CUnimodTable& unimod, double shift, double tolerance = 0.02);

// "Unimod_xml/Unimod_mono.xml" in the program's directory.
QString UnimodPath();

class CPropagatedTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kSpectrum, kPeptide, kModifications, kRoute, kSource, kShift, kUnimod, kScore, kQValue, kColumns };
  // What the sorting compares: numbers for the numeric columns (rows
  // without a value last in ascending order), the text for the others.
  static constexpr int kSortRole = Qt::UserRole;

  CPropagatedTableModel(std::vector<CTransferRow> rows, const CUnimodTable& unimod, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  std::vector<CTransferRow> rows_;
  std::vector<QString> unimod_;
};

// A window of its own (not modal) with the table, sortable by any column
// (q-value ascending at first), and "Save as TSV..." for a spreadsheet.
class CPropagatedTableDlg : public QDialog {
  Q_OBJECT

 public:
  CPropagatedTableDlg(std::vector<CTransferRow> rows, const QString& summary, QWidget* parent = nullptr);

  QTableView* View() const { return view_; }
  CPropagatedTableModel* Model() const { return model_; }

 private:
  QTableView* view_ = nullptr;
  CPropagatedTableModel* model_ = nullptr;
};

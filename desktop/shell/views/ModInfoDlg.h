#pragma once
// "Mod information by Unimod": the Unimod entries matching one delta mass,
// each with its mass and how far the delta mass lies from it.

#include <QDialog>
#include <vector>

#include "resultfiles/unimod/UnimodTable.h"

class QTableWidget;

class CModInfoDlg : public QDialog {
  Q_OBJECT

 public:
  CModInfoDlg(std::vector<UnimodEntry> hits, double deltaMass, QWidget* parent = nullptr);

  QTableWidget* Table() const { return table_; }

 private:
  std::vector<UnimodEntry> hits_;
  double deltaMass_;
  QTableWidget* table_;
};

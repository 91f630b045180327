#pragma once
// "Parameters": the histogram settings of the document. Every change of a
// field goes into the settings at once, so closing without OK keeps what was
// typed.

#include <QDialog>

class CTesseraDoc;
class QLineEdit;

class CParametersDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CParametersDlg(CTesseraDoc* doc, QWidget* parent = nullptr);

  QLineEdit* massLowEdit = nullptr;
  QLineEdit* massHighEdit = nullptr;
  QLineEdit* peakWidthEdit = nullptr;
  QLineEdit* toleranceEdit = nullptr;
  QLineEdit* histogramFilterEdit = nullptr;
  QLineEdit* annotationFilterEdit = nullptr;

 private:
  CTesseraDoc* doc_;
};

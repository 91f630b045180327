#pragma once
// "Parameters": the histogram settings of the document. The values are
// checked and take effect on OK; Cancel (or Escape) leaves the settings as
// they were.

#include <QDialog>

class CTesseraDoc;
class QLineEdit;

class CParametersDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CParametersDlg(CTesseraDoc* doc, QWidget* parent = nullptr);

  // Checks the fields and, when they hold a usable setting, writes them into
  // the document's settings (and the program's memory). False, saying why
  // and changing nothing, otherwise.
  bool Apply();

  QLineEdit* massLowEdit = nullptr;
  QLineEdit* massHighEdit = nullptr;
  QLineEdit* peakWidthEdit = nullptr;
  QLineEdit* toleranceEdit = nullptr;
  QLineEdit* histogramFilterEdit = nullptr;
  QLineEdit* annotationFilterEdit = nullptr;

 public slots:
  void accept() override;

 private:
  CTesseraDoc* doc_;
};

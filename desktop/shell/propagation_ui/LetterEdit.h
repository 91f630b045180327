#pragma once
// An edit field for peptide sequences: typed characters other than the
// letters A-Z, a-z are dropped before the field sees them. Backspace and the
// cursor keys work as usual; pasted text keeps only its letters.

#include <QLineEdit>

class CLetterEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CLetterEdit(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

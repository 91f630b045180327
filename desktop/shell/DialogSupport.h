#pragma once
// What the two job dialogs share: numeric fields that refuse letters as they
// are typed and the compact/full layout switch. Files and folders are asked
// for through desktop::ChooseFile (core/FileChooser.h).

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "desktop/shell/core/FileChooser.h"

class QDialog;
class QLineEdit;
class QPushButton;
class QWidget;

namespace desktop {

// Lets through typed digits, ".", "-" and editing keys only. Pasted text is
// not filtered; its numeric beginning is what counts when it is converted.
class CNumericKeyFilter : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  // Installs one filter (owned by the field) on the field.
  static void Install(QLineEdit* field);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// A control with an object name, for scripts and tests. A numeric field
// refuses letters and is at most `numericWidth` wide; a button never takes
// Enter from the dialog.
QLineEdit* NamedField(const char* name, const QString& text, bool numeric, int numericWidth);
QPushButton* NamedButton(const char* name, const QString& text);

// The job dialogs' file choices; every filter list ends with "All files (*)".
FileChoice OpenChoice(const QString& filter);
// suggested: the name preset in the box; suffix: added to a name typed
// without an extension.
FileChoice SaveChoice(const QString& filter, const QString& suggested, const QString& suffix);
// A folder chooser; `memoryKey` as in FileChoice.
std::optional<QString> ChooseFolder(QWidget* parent, const QString& title, const QString& memoryKey = QString());

// The dialog's two sizes: `advanced` is everything below the separator.
// Both sizes have the full layout's width; the compact one ends above the
// separator. Hidden parts are disabled as well, so nothing out of sight
// takes input. Construct it once the dialog's layout is complete.
class CCompactLayout {
 public:
  CCompactLayout(QDialog* dialog, QWidget* advanced, QPushButton* toggle, QString compactText,
                 QString fullText);
  bool IsFull() const { return full_; }
  void SetFull(bool full);

 private:
  QDialog* dialog_;
  QWidget* advanced_;
  QPushButton* toggle_;
  int width_ = 0;
  QString compactText_;
  QString fullText_;
  bool full_ = false;
};

// Path of a file or folder that exists.
bool PathExists(const QString& path);

// What the fields of a job dialog hold that the job cannot run with, one
// sentence each, naming the field and what it must be.
class CFieldChecks {
 public:
  // A decimal number from `low` (itself only when `lowIncluded`) to `high`.
  void Decimal(const QLineEdit* field, const char* label, double low, bool lowIncluded, double high,
               const char* what);
  // A whole number of at least `low`.
  void Whole(const QLineEdit* field, const char* label, int low, const char* what);
  // Two ends, each a number (a whole one when `whole`) of at least `least`
  // (minus infinity for no bound), the first not above the second (below it
  // when `strict`). A refusal names the end: "Mass: the lower end must be
  // a number, 0 or more: "-100"".
  void Range(const char* label, const QLineEdit* lower, const QLineEdit* upper, bool whole, double least,
             bool strict);
  void Add(const QString& problem) { problems_ << problem; }
  const QStringList& Problems() const { return problems_; }
  // Says the problems over `dialog`; true when there are none.
  bool Passed(QWidget* dialog, const QString& title) const;

 private:
  void Refuse(const char* label, const char* what, const QLineEdit* field);
  QStringList problems_;
};

}  // namespace desktop

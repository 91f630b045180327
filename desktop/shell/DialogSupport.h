#pragma once
// What the two job dialogs share: numeric fields that refuse letters as they
// are typed, the file and folder choosers (replaceable so that tests can
// answer them), and the compact/full layout switch.

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

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

// Every chooser answers nothing when the user cancels. A chooser may answer
// an empty path (the user confirmed without a name); callers say so.
struct CFileChooser {
  // filter: "description(*.ext)|*.ext||" as the dialogs name their types.
  std::function<std::optional<QString>(QWidget* parent, const QString& filter)> openFile;
  // suggested: the name preset in the box; suffix: added to a name typed
  // without an extension.
  std::function<std::optional<QString>(QWidget* parent, const QString& filter,
                                       const QString& suggested, const QString& suffix)>
      saveFile;
  std::function<std::optional<QString>(QWidget* parent, const QString& title)> folder;

  // The platform's file and folder dialogs.
  static CFileChooser Standard();
};

// "mgf file(*.mgf)|*.mgf||" as Qt name filters. On a case-sensitive file
// system "*.mzml" would hide "run.mzML", so each pattern also matches the
// upper-case and the usual mixed-case spellings; "All files (*)" comes last.
QString QtNameFilters(const QString& filter);

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

}  // namespace desktop

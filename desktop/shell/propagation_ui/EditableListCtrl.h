#pragma once
// A report-style list whose chosen columns are edited in place by picking a
// value from a drop-down list. The owner supplies the values at the moment
// an edit opens (ChoicesRequested) and learns the outcome when it ends
// (EditEnded), also when the user cancelled it.

#include <QComboBox>
#include <QStringList>
#include <QTableWidget>
#include <vector>

class CEditableListCtrl;

// The drop-down editor laid over one cell. Enter, closing the drop-down or
// losing the focus ends the edit with the selected text; Esc ends it with
// the text the cell had before.
class CInPlaceCombo : public QComboBox {
  Q_OBJECT

 public:
  explicit CInPlaceCombo(CEditableListCtrl* list);

  // Shows the editor for (item, column) over `rect` with `choices`; the
  // entry that begins with the cell's current text is selected.
  void Begin(int item, int column, const QRect& rect, const QStringList& choices,
             const QString& initial);
  // Ends an open edit (nothing happens when none is open).
  void End(bool cancelled);
  bool IsEditing() const { return item_ >= 0; }
  int Item() const { return item_; }
  int Column() const { return column_; }

  void hidePopup() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  CEditableListCtrl* list_;
  int item_ = -1;
  int column_ = -1;
  int serial_ = 0;  // counts the edits begun
  QString initial_;
};

class CEditableListCtrl : public QTableWidget {
  Q_OBJECT

 public:
  explicit CEditableListCtrl(QWidget* parent = nullptr);

  void SetColumnEditable(int column, bool editable);
  bool IsColumnEditable(int column) const;
  // A vertical scroll bar on the drop-down list.
  void SetDropDownVerticalScroll(bool on);
  // Height of the open drop-down list, in pixels.
  static constexpr int kDropDownHeight = 448;

  int LastClickedItem() const { return lastItem_; }
  // The editor, or nullptr before the first edit.
  CInPlaceCombo* Editor() const { return editor_; }

  // Opens the editor on a cell as a click there would (the owner is asked
  // for the choices). False when the cell cannot be edited.
  bool EditCell(int item, int column);

 signals:
  // Before an edit opens: the owner fills `choices`.
  void ChoicesRequested(int item, int column, QStringList* choices);
  // After an edit ends: the cell already holds `text`.
  void EditEnded(int item, int column, const QString& text);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  friend class CInPlaceCombo;
  void FinishEdit(int item, int column, const QString& text);

  std::vector<int> editableColumns_;
  bool dropDownVerticalScroll_ = true;
  int lastItem_ = -1;
  CInPlaceCombo* editor_ = nullptr;
};

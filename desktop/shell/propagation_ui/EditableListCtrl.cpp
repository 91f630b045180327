#include "desktop/shell/propagation_ui/EditableListCtrl.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

CInPlaceCombo::CInPlaceCombo(CEditableListCtrl* list)
    : QComboBox(list->viewport()), list_(list) {
  setObjectName(QStringLiteral("inPlaceCombo"));
  setEditable(false);
  hide();
}

void CInPlaceCombo::Begin(int item, int column, const QRect& rect, const QStringList& choices,
                          const QString& initial) {
  ++serial_;
  item_ = item;
  column_ = column;
  initial_ = initial;
  setFont(list_->font());
  clear();
  addItems(choices);
  int selected = -1;
  if (!initial.isEmpty()) {
    for (int i = 0; i < choices.size(); ++i) {
      if (choices[i].startsWith(initial)) {
        selected = i;
        break;
      }
    }
  }
  setCurrentIndex(selected);
  view()->setVerticalScrollBarPolicy(list_->dropDownVerticalScroll_ ? Qt::ScrollBarAsNeeded
                                                                    : Qt::ScrollBarAlwaysOff);
  setMaxVisibleItems(std::max(1, CEditableListCtrl::kDropDownHeight /
                                     std::max(1, fontMetrics().height() + 4)));
  setGeometry(rect);
  show();
  raise();
  setFocus(Qt::OtherFocusReason);
}

void CInPlaceCombo::End(bool cancelled) {
  if (!IsEditing()) return;
  const int item = item_;
  const int column = column_;
  // With nothing picked the cell keeps its text.
  const QString text = cancelled || currentIndex() < 0 ? initial_ : currentText();
  // Marked closed first: hiding moves the focus, which would end it again.
  item_ = -1;
  column_ = -1;
  hide();
  list_->FinishEdit(item, column, text);
}

void CInPlaceCombo::hidePopup() {
  QComboBox::hidePopup();
  // The drop-down closes before the picked entry becomes current; the edit
  // ends once it has, and only if it is still the same edit.
  const int serial = serial_;
  QMetaObject::invokeMethod(
      this, [this, serial] { if (serial == serial_) End(false); }, Qt::QueuedConnection);
}

void CInPlaceCombo::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      End(false);
      return;
    case Qt::Key_Escape:
      End(true);
      return;
    default:
      QComboBox::keyPressEvent(event);
  }
}

void CInPlaceCombo::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  // Opening the drop-down takes the focus to its list; that is no end (its
  // closing is).
  if (event->reason() != Qt::PopupFocusReason && !view()->window()->isVisible()) End(false);
}

CEditableListCtrl::CEditableListCtrl(QWidget* parent) : QTableWidget(parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setShowGrid(true);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
}

void CEditableListCtrl::SetColumnEditable(int column, bool editable) {
  const auto found = std::find(editableColumns_.begin(), editableColumns_.end(), column);
  if (editable && found == editableColumns_.end()) editableColumns_.push_back(column);
  if (!editable && found != editableColumns_.end()) editableColumns_.erase(found);
}

bool CEditableListCtrl::IsColumnEditable(int column) const {
  return std::find(editableColumns_.begin(), editableColumns_.end(), column) !=
         editableColumns_.end();
}

void CEditableListCtrl::SetDropDownVerticalScroll(bool on) { dropDownVerticalScroll_ = on; }

void CEditableListCtrl::mousePressEvent(QMouseEvent* event) {
  const QModelIndex hit = indexAt(event->position().toPoint());
  QTableWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || !hit.isValid()) return;
  lastItem_ = hit.row();
  if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) return;
  if (currentRow() != hit.row()) return;
  EditCell(hit.row(), hit.column());
}

bool CEditableListCtrl::EditCell(int item, int column) {
  if (item < 0 || item >= rowCount() || !IsColumnEditable(column)) return false;
  if (editor_ && editor_->IsEditing()) editor_->End(false);

  QStringList choices;
  emit ChoicesRequested(item, column, &choices);

  QTableWidgetItem* cell = this->item(item, column);
  if (!cell) {
    cell = new QTableWidgetItem;
    setItem(item, column, cell);
  }
  scrollToItem(cell);
  const QRect rect = visualItemRect(cell).intersected(viewport()->rect());
  if (!editor_) editor_ = new CInPlaceCombo(this);
  editor_->Begin(item, column, rect, choices, cell->text());
  return true;
}

void CEditableListCtrl::FinishEdit(int item, int column, const QString& text) {
  if (QTableWidgetItem* cell = this->item(item, column)) cell->setText(text);
  emit EditEnded(item, column, text);
}

void CEditableListCtrl::scrollContentsBy(int dx, int dy) {
  // The editor sits over a cell; once the cells move it would cover another.
  if (editor_ && editor_->IsEditing()) {
    setFocus(Qt::OtherFocusReason);
    editor_->End(false);
  }
  QTableWidget::scrollContentsBy(dx, dy);
}

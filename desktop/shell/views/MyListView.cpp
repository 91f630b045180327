#include "desktop/shell/views/MyListView.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QDir>
#include <QHeaderView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <numeric>

#include "common/TextUtil.h"
#include "desktop/shell/core/BusyCursor.h"
#include "desktop/shell/core/TableExport.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/views/ModInfoDlg.h"

namespace {

const char* const kTitles[] = {"Delta mass (Da)", "Pairs",      "Delta time (s)", "D-score",
                               "Type",            "Mass1 (Da)", "Mass2 (Da)",     "Unimod"};
constexpr int kColumns = 8;
// Where a row keeps its delta mass unrounded.
constexpr int kMassRole = Qt::UserRole;

// The fields of a table line: delta mass, pair count, then what Shiftscan
// adds (delta time, d-score, type, the masses of a combination's two
// parts). The pair search writes those five as constant "0" fields.
struct RowFields {
  double mass = 0, time = 0, score = 0, mass1 = 0, mass2 = 0;
  int pairs = 0, type = 0;
  bool statistics = false;  // delta time, d-score and type mean something
  bool partners = false;    // mass 1 and mass 2 name a combination's parts
};

RowFields ParseRow(const std::string& line) {
  RowFields row;
  const int read = std::sscanf(line.c_str(), "%lf,%d,%lf,%lf,%d,%lf,%lf", &row.mass, &row.pairs, &row.time,
                               &row.score, &row.type, &row.mass1, &row.mass2);
  const std::vector<std::string> fields = text::Split(line, ',');
  bool pairSearch = fields.size() == 7;
  for (std::size_t i = 2; i < fields.size() && pairSearch; ++i) pairSearch = text::Trim(fields[i]) == "0";
  row.statistics = read >= 5 && !pairSearch;
  // Types 1 and 2 are combinations; a single modification has no parts.
  row.partners = read >= 7 && !pairSearch && row.type != 0;
  return row;
}

template <typename... Values>
QString Formatted(const char* format, Values... values) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return QString::fromLatin1(buffer);
}

double NumberOf(const QTableWidgetItem* item) { return item ? text::AtoF(item->text().toStdString()) : 0.0; }

}  // namespace

CMyListView::CMyListView(CTesseraDoc* doc, QWidget* parent) : CMyListView(doc, DefaultUnimodPath(), parent) {}

CMyListView::CMyListView(CTesseraDoc* doc, const QString& unimodPath, QWidget* parent)
    : QTableWidget(parent), doc_(doc), sortDirection_(kColumns, 0) {
  if (!unimod_.Load(QDir::toNativeSeparators(unimodPath).toStdString())) {
    unimodWarning_ = QStringLiteral("No Unimod names: ") + QString::fromStdString(unimod_.Error());
    // Said once, after the window has connected to the signal.
    QTimer::singleShot(0, this, [this] { emit StatusMessage(unimodWarning_); });
  }
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setSortIndicatorShown(true);
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CMyListView::SortByColumn);
  connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenModInfo(row); });
  connect(doc_, &CTesseraDoc::Changed, this, &CMyListView::ScheduleRefill);
}

QString CMyListView::DefaultUnimodPath() {
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Unimod_xml/Unimod_mono.xml"));
}

void CMyListView::showEvent(QShowEvent* event) {
  QTableWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    Refill();
  }
}

void CMyListView::ScheduleRefill() {
  if (refillPending_) return;
  refillPending_ = true;
  QTimer::singleShot(0, this, [this] {
    refillPending_ = false;
    Refill();
  });
}

void CMyListView::Refill() {
  const desktop::CBusyCursor busy;
  setUpdatesEnabled(false);
  clear();
  setRowCount(0);
  setColumnCount(kColumns);
  QStringList titles;
  for (const char* title : kTitles) titles << QString::fromLatin1(title);
  setHorizontalHeaderLabels(titles);
  for (int c = 0; c < kColumns; ++c) setColumnWidth(c, 100);
  sortDirection_.resize(kColumns, 0);

  const auto& rows = doc_->ResultRows();
  // Rows and points come from one load; if they disagree the table is not
  // the one the histogram shows.
  if (rows.size() == doc_->HistogramPoints().size()) {
    setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
      const RowFields row = ParseRow(rows[static_cast<std::size_t>(i)].text);
      QString names;
      for (const UnimodEntry& hit : Matches(row.mass)) names += QString::fromStdString(hit.interimName) + QLatin1Char('/');
      const QString cells[kColumns] = {Formatted("%.4f", row.mass),
                                       Formatted("%d", row.pairs),
                                       row.statistics ? Formatted("%10.3f", row.time) : QString(),
                                       row.statistics ? Formatted("%7.1f", row.score) : QString(),
                                       row.statistics ? Formatted("%4d", row.type) : QString(),
                                       row.partners ? Formatted("%11.5f", row.mass1) : QString(),
                                       row.partners ? Formatted("%11.5f", row.mass2) : QString(),
                                       names};
      for (int c = 0; c < kColumns; ++c) setItem(i, c, new QTableWidgetItem(cells[c]));
      item(i, 0)->setData(kMassRole, row.mass);
    }
  }
  setShowGrid(true);
  horizontalHeader()->setSectionsMovable(true);
  // Rows are back in mass order; the directions stay for the next click.
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  setUpdatesEnabled(true);
}

void CMyListView::SortByColumn(int column) {
  if (column < 0 || column >= static_cast<int>(sortDirection_.size()) || column >= columnCount()) return;
  unsigned& direction = sortDirection_[static_cast<std::size_t>(column)];
  direction = direction == 0 ? 1 : 0;
  const bool ascending = direction == 1;

  const int n = rowCount();
  std::vector<double> values(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) values[static_cast<std::size_t>(r)] = NumberOf(item(r, column));
  std::vector<int> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  // Equal values keep their order, so sorting by a column of names (all 0)
  // moves nothing.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const double va = values[static_cast<std::size_t>(a)], vb = values[static_cast<std::size_t>(b)];
    return ascending ? va < vb : va > vb;
  });

  std::vector<bool> selected(static_cast<std::size_t>(n), false);
  for (const QModelIndex& index : selectionModel()->selectedRows()) selected[static_cast<std::size_t>(index.row())] = true;
  std::vector<std::vector<QTableWidgetItem*>> taken(static_cast<std::size_t>(n));
  const int columns = columnCount();
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < columns; ++c) taken[static_cast<std::size_t>(r)].push_back(takeItem(r, c));
  clearSelection();
  for (int r = 0; r < n; ++r) {
    const std::size_t from = static_cast<std::size_t>(order[static_cast<std::size_t>(r)]);
    for (int c = 0; c < columns; ++c) setItem(r, c, taken[from][static_cast<std::size_t>(c)]);
    if (selected[from])
      selectionModel()->select(model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  horizontalHeader()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  viewport()->update();
}

double CMyListView::MassOfRow(int row) const {
  const QTableWidgetItem* cell = item(row, 0);
  if (!cell) return 0.0;
  const QVariant mass = cell->data(kMassRole);
  return mass.isValid() ? mass.toDouble() : NumberOf(cell);
}

std::vector<UnimodEntry> CMyListView::Matches(double deltaMass) const {
  std::vector<UnimodEntry> hits;
  unimod_.LookupModifications(deltaMass, doc_->Settings().unimodTolerance, hits);
  return hits;
}

std::unique_ptr<CModInfoDlg> CMyListView::ModInfoForRow(int row) {
  if (row < 0 || row >= rowCount()) return nullptr;
  const double mass = MassOfRow(row);
  std::vector<UnimodEntry> hits = Matches(mass);
  if (hits.empty()) return nullptr;
  return std::make_unique<CModInfoDlg>(std::move(hits), mass, this);
}

void CMyListView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("Export as TSV..."), this, &CMyListView::ExportAsTsv);
  menu.exec(event->globalPos());
}

void CMyListView::ExportAsTsv() {
  const QString written =
      desktop::ExportTableAsTsv(this, *this, QStringLiteral("Export list as TSV"), QStringLiteral("mass_shifts.tsv"));
  if (!written.isEmpty()) emit StatusMessage(QStringLiteral("List saved as %1").arg(written));
}

void CMyListView::OpenModInfo(int row) {
  if (std::unique_ptr<CModInfoDlg> dialog = ModInfoForRow(row)) dialog->exec();
}

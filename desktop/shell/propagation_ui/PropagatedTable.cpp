#include "desktop/shell/propagation_ui/PropagatedTable.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "desktop/shell/core/TableExport.h"
#include "resultfiles/unimod/UnimodTable.h"

QString UnimodNames(const CUnimodTable& unimod, double shift, double tolerance) {
  std::vector<UnimodEntry> hits;
  unimod.Lookup(shift, tolerance, hits);
  // The lookup adds the entries of the opposite sign, which name the
  // reverse change; only those of this shift's own sign count.
  std::vector<const UnimodEntry*> near;
  for (const UnimodEntry& hit : hits) {
    if (std::fabs(hit.monoMass - shift) <= tolerance) near.push_back(&hit);
  }
  std::stable_sort(near.begin(), near.end(), [shift](const UnimodEntry* a, const UnimodEntry* b) {
    return std::fabs(a->monoMass - shift) < std::fabs(b->monoMass - shift);
  });
  QStringList names;
  for (const UnimodEntry* hit : near) {
    const QString name = QString::fromStdString(hit->psiMsName.empty() ? hit->interimName : hit->psiMsName);
    if (!name.isEmpty() && !names.contains(name)) names << name;
  }
  return names.join(QStringLiteral("; "));
}

namespace {

// The window's width where the screen allows it.
constexpr int kWindowWidth = 1250;
constexpr int kNarrowestTextColumn = 90;

// Narrows the widest of the text columns until the table fits `width`, so
// that the scores at its right end are in sight without scrolling; a cut
// text stays whole in its tooltip and in the saved table.
void FitColumns(QTableView* view, int width) {
  using Model = CPropagatedTableModel;
  const int shrinkable[] = {Model::kSpectrum, Model::kPeptide, Model::kModifications, Model::kSource, Model::kUnimod};
  int total = 0;
  for (int column = 0; column < Model::kColumns; ++column) total += view->columnWidth(column);
  int excess = total - width;
  while (excess > 0) {
    int widest = -1;
    for (int column : shrinkable)
      if (view->columnWidth(column) > kNarrowestTextColumn &&
          (widest < 0 || view->columnWidth(column) > view->columnWidth(widest)))
        widest = column;
    if (widest < 0) return;
    // Down to the next widest at most, so that the cut is shared.
    int next = kNarrowestTextColumn;
    for (int column : shrinkable)
      if (column != widest) next = std::max(next, std::min(view->columnWidth(column), view->columnWidth(widest)));
    const int cut = std::min(excess, std::max(view->columnWidth(widest) - next, 1));
    view->setColumnWidth(widest, view->columnWidth(widest) - cut);
    excess -= cut;
  }
}

}  // namespace

QString UnimodPath() {
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Unimod_xml/Unimod_mono.xml"));
}

CPropagatedTableModel::CPropagatedTableModel(std::vector<CTransferRow> rows, const CUnimodTable& unimod,
                                             QObject* parent)
    : QAbstractTableModel(parent), rows_(std::move(rows)) {
  for (const CTransferRow& row : rows_)
    unimod_.push_back(row.has_shift ? UnimodNames(unimod, row.shift) : QString());
}

int CPropagatedTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CPropagatedTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant CPropagatedTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return QVariant();
  const CTransferRow& row = rows_[static_cast<std::size_t>(index.row())];
  const double none = std::numeric_limits<double>::infinity();
  if (role == kSortRole) {
    switch (index.column()) {
      case kShift: return row.has_shift ? row.shift : none;
      case kScore: return row.scored ? row.score : -none;
      case kQValue: return row.scored ? row.q_value : none;
      default: return data(index, Qt::DisplayRole);
    }
  }
  if (role == Qt::ToolTipRole && !row.scored && (index.column() == kScore || index.column() == kQValue))
    return QStringLiteral("No score: %1").arg(QString::fromStdString(row.not_scored));
  // Texts a narrowed column cuts are read whole in the tooltip.
  if (role == Qt::ToolTipRole && index.column() != kShift && index.column() != kScore && index.column() != kQValue)
    return data(index, Qt::DisplayRole);
  if (role == Qt::TextAlignmentRole && (index.column() == kShift || index.column() == kScore ||
                                        index.column() == kQValue))
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return QVariant();
  switch (index.column()) {
    case kSpectrum: return QString::fromStdString(row.spectrum);
    case kPeptide: return QString::fromStdString(row.sequence);
    case kModifications: return QString::fromStdString(row.modifications);
    case kRoute: return QString::fromStdString(row.route);
    case kSource: return QString::fromStdString(row.source);
    case kShift: return row.has_shift ? QString::number(row.shift, 'f', 4) : QString();
    case kUnimod: return unimod_[static_cast<std::size_t>(index.row())];
    case kScore: return row.scored ? QString::number(row.score, 'f', 2) : QStringLiteral("NA");
    case kQValue: return row.scored ? QString::number(row.q_value, 'f', 4) : QStringLiteral("NA");
    default: return QVariant();
  }
}

QVariant CPropagatedTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return QVariant();
  // The names of `propagate --table`'s columns, so that a table saved here
  // and one the program wrote join and read alike.
  static const char* const kTitles[kColumns] = {"spectrum", "sequence", "modifications", "route", "source",
                                                 "shift", "unimod", "score", "q_value"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

CPropagatedTableDlg::CPropagatedTableDlg(std::vector<CTransferRow> rows, const QString& summary,
                                         QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Propagated identifications"));
  CUnimodTable unimod;
  // Without the file the Unimod column stays empty; the rest still serves.
  unimod.Load(UnimodPath().toStdString());
  model_ = new CPropagatedTableModel(std::move(rows), unimod, this);
  auto* proxy = new QSortFilterProxyModel(this);
  proxy->setSourceModel(model_);
  proxy->setSortRole(CPropagatedTableModel::kSortRole);

  auto* layout = new QVBoxLayout(this);
  auto* said = new QLabel(summary, this);
  said->setObjectName(QStringLiteral("summaryLabel"));
  said->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(said);

  view_ = new QTableView(this);
  view_->setObjectName(QStringLiteral("propagatedTable"));
  view_->setModel(proxy);
  view_->setSortingEnabled(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->verticalHeader()->hide();
  view_->sortByColumn(CPropagatedTableModel::kQValue, Qt::AscendingOrder);
  view_->resizeColumnsToContents();
  layout->addWidget(view_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* save = buttons->addButton(QStringLiteral("Save as TSV..."), QDialogButtonBox::ActionRole);
  save->setObjectName(QStringLiteral("saveTsvButton"));
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  connect(save, &QPushButton::clicked, this, [this] {
    desktop::ExportTableAsTsv(this, *view_, QStringLiteral("Save propagated identifications"),
                              QStringLiteral("propagated.tsv"));
  });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(buttons);

  int width = kWindowWidth;
  if (const QScreen* screen = parent ? parent->screen() : this->screen())
    width = std::min(width, screen->availableGeometry().width() - 30);
  const QMargins margins = layout->contentsMargins();
  // Long modification lists and Unimod names would push the scores out of
  // sight.
  FitColumns(view_, width - margins.left() - margins.right() - 2 * view_->frameWidth() -
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  resize(width, 600);
}

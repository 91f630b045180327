#include "desktop/shell/views/ModInfoDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

CModInfoDlg::CModInfoDlg(std::vector<UnimodEntry> hits, double deltaMass, QWidget* parent)
    : QDialog(parent), hits_(std::move(hits)), deltaMass_(deltaMass), table_(new QTableWidget(this)) {
  setWindowTitle(QStringLiteral("Mod information by Unimod"));
  // "Difference": how far the delta mass lies from the entry's mass, both
  // taken without sign (a loss matches as a gain does).
  const QStringList titles = {QStringLiteral("#"),           QStringLiteral("Mass (Da)"),
                              QStringLiteral("Difference (Da)"), QStringLiteral("PSI-MS Name"),
                              QStringLiteral("Interim Name"), QStringLiteral("Description")};
  const int widths[] = {20, 50, 50, 100, 100, 150};
  table_->setColumnCount(titles.size());
  table_->setHorizontalHeaderLabels(titles);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->setWordWrap(false);
  table_->setShowGrid(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);

  table_->setRowCount(static_cast<int>(hits_.size()));
  for (int i = 0; i < static_cast<int>(hits_.size()); ++i) {
    const UnimodEntry& hit = hits_[static_cast<std::size_t>(i)];
    const QString cells[] = {QString::number(i + 1), QString::fromStdString(hit.monoMassText),
                             QString::asprintf("%lf", std::fabs(deltaMass_) - std::fabs(hit.monoMass)),
                             QString::fromStdString(hit.psiMsName), QString::fromStdString(hit.interimName),
                             QString::fromStdString(hit.description)};
    for (int c = 0; c < 6; ++c) table_->setItem(i, c, new QTableWidgetItem(cells[c]));
  }
  // The widths are the least each column gets; masses and names are not cut.
  int total = 0;
  for (int c = 0; c < titles.size(); ++c) {
    table_->resizeColumnToContents(c);
    table_->setColumnWidth(c, std::max(widths[c], table_->columnWidth(c)));
    total += table_->columnWidth(c);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addWidget(buttons);
  resize(std::min(total + 60, 1000), 260);
}

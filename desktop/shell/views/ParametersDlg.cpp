#include "desktop/shell/views/ParametersDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/Numbers.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"

namespace {

QString Format(const char* format, double value) { return QString::asprintf(format, value); }

// A bar wider than this hides its neighbours at any window size.
constexpr int kWidestBar = 100;
// A wider window matches most of Unimod to any mass.
constexpr double kWidestTolerance = 10.0;

}  // namespace

CParametersDlg::CParametersDlg(CTesseraDoc* doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Parameters"));
  const CHistogramSettings& settings = doc_->Settings();

  // Digits, point, minus sign; backspace works in any line edit.
  auto* numeric = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.\\-]*")), this);
  auto field = [&](const QString& text, const char* name) {
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(numeric);
    return edit;
  };
  massLowEdit = field(Format("%.3f", settings.massLow), "massLow");
  massHighEdit = field(Format("%.3f", settings.massHigh), "massHigh");
  peakWidthEdit = field(QString::number(settings.peakWidth), "peakWidth");
  toleranceEdit = field(Format("%.3f", settings.unimodTolerance), "unimodTolerance");
  histogramFilterEdit = field(QString::number(settings.histogramFilter), "histogramFilter");
  annotationFilterEdit = field(QString::number(settings.annotationFilter), "annotationFilter");

  auto* range = new QHBoxLayout;
  range->addWidget(massLowEdit);
  range->addWidget(new QLabel(QStringLiteral("-"), this));
  range->addWidget(massHighEdit);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Mass range (Da)"), range);
  form->addRow(QStringLiteral("Peak width (pixels)"), peakWidthEdit);
  form->addRow(QStringLiteral("Tolerance (Da)"), toleranceEdit);
  form->addRow(QString(), new QLabel(QStringLiteral("used for searching Unimod"), this));
  form->addRow(QStringLiteral("Histogram filtering (pairs)"), histogramFilterEdit);
  form->addRow(QStringLiteral("Annotation filtering (pairs)"), annotationFilterEdit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CParametersDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  connect(histogramFilterEdit, &QLineEdit::textChanged, this, [this](const QString& t) {
    // Labels are never asked for bars that are not drawn.
    int filter = 0, annotation = 0;
    if (desktop::ReadWhole(t, filter) &&
        (!desktop::ReadWhole(annotationFilterEdit->text(), annotation) || annotation < filter))
      annotationFilterEdit->setText(QString::number(filter));
  });
}

bool CParametersDlg::Apply() {
  CHistogramSettings next = doc_->Settings();
  QStringList problems;
  const bool massesRead =
      desktop::ReadDecimal(massLowEdit->text(), next.massLow) && desktop::ReadDecimal(massHighEdit->text(), next.massHigh);
  if (!massesRead)
    problems << QStringLiteral("Mass range: both ends must be numbers of Da.");
  else if (next.massLow >= next.massHigh)
    problems << QStringLiteral("Mass range: %1 to %2 Da is empty; the first end must lie below the second.")
                    .arg(massLowEdit->text(), massHighEdit->text());
  if (!desktop::ReadWhole(peakWidthEdit->text(), next.peakWidth) || next.peakWidth < 1 || next.peakWidth > kWidestBar)
    problems << QStringLiteral("Peak width must be a whole number of pixels from 1 to %1: \"%2\"")
                    .arg(kWidestBar)
                    .arg(peakWidthEdit->text());
  if (!desktop::ReadDecimal(toleranceEdit->text(), next.unimodTolerance) || next.unimodTolerance < 0.0 ||
      next.unimodTolerance > kWidestTolerance)
    problems << QStringLiteral("Tolerance must be a number of Da from 0 to %1: \"%2\"")
                    .arg(kWidestTolerance)
                    .arg(toleranceEdit->text());
  if (!desktop::ReadWhole(histogramFilterEdit->text(), next.histogramFilter) || next.histogramFilter < 0)
    problems << QStringLiteral("Histogram filtering must be a whole number of pairs, 0 or more: \"%1\"")
                    .arg(histogramFilterEdit->text());
  if (!desktop::ReadWhole(annotationFilterEdit->text(), next.annotationFilter) || next.annotationFilter < 0)
    problems << QStringLiteral("Annotation filtering must be a whole number of pairs, 0 or more: \"%1\"")
                    .arg(annotationFilterEdit->text());
  if (!problems.isEmpty()) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(), problems.join(QLatin1Char('\n')));
    return false;
  }
  doc_->Settings() = next;
  desktop::RememberHistogramSettings(next);
  return true;
}

void CParametersDlg::accept() {
  if (Apply()) QDialog::accept();
}

#include "desktop/shell/views/ParametersDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "common/TextUtil.h"
#include "desktop/shell/core/TesseraDoc.h"

namespace {

QString Format(const char* format, double value) { return QString::asprintf(format, value); }

double Number(const QString& text) { return text::AtoF(text.toStdString()); }
int Whole(const QString& text) { return text::AtoI(text.toStdString()); }

}  // namespace

CParametersDlg::CParametersDlg(CTesseraDoc* doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Parameters"));
  CHistogramSettings& settings = doc_->Settings();

  // Digits, point, minus sign; backspace works in any line edit.
  auto* numeric = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.\\-]*")), this);
  auto field = [&](const QString& text) {
    auto* edit = new QLineEdit(text, this);
    edit->setValidator(numeric);
    return edit;
  };
  massLowEdit = field(Format("%.3f", settings.massLow));
  massHighEdit = field(Format("%.3f", settings.massHigh));
  peakWidthEdit = field(QString::number(settings.peakWidth));
  toleranceEdit = field(Format("%.3f", settings.unimodTolerance));
  histogramFilterEdit = field(QString::number(settings.histogramFilter));
  annotationFilterEdit = field(QString::number(settings.annotationFilter));

  auto* range = new QHBoxLayout;
  range->addWidget(massLowEdit);
  range->addWidget(new QLabel(QStringLiteral("-"), this));
  range->addWidget(massHighEdit);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Mass range"), range);
  form->addRow(QStringLiteral("Peak width"), peakWidthEdit);
  form->addRow(QStringLiteral("Tolerance"), toleranceEdit);
  form->addRow(QString(), new QLabel(QStringLiteral("used for searching Unimod"), this));
  form->addRow(QStringLiteral("Histrogram filtering"), histogramFilterEdit);
  form->addRow(QStringLiteral("Annotation filtering"), annotationFilterEdit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  connect(massLowEdit, &QLineEdit::textChanged, this, [this](const QString& t) { doc_->Settings().massLow = Number(t); });
  connect(massHighEdit, &QLineEdit::textChanged, this,
          [this](const QString& t) { doc_->Settings().massHigh = Number(t); });
  connect(peakWidthEdit, &QLineEdit::textChanged, this,
          [this](const QString& t) { doc_->Settings().peakWidth = Whole(t); });
  connect(toleranceEdit, &QLineEdit::textChanged, this,
          [this](const QString& t) { doc_->Settings().unimodTolerance = Number(t); });
  connect(annotationFilterEdit, &QLineEdit::textChanged, this,
          [this](const QString& t) { doc_->Settings().annotationFilter = Whole(t); });
  connect(histogramFilterEdit, &QLineEdit::textChanged, this, [this](const QString& t) {
    const int filter = Whole(t);
    doc_->Settings().histogramFilter = filter;
    // Labels are never asked for bars that are not drawn.
    if (Whole(annotationFilterEdit->text()) < filter) annotationFilterEdit->setText(QString::number(filter));
  });
}

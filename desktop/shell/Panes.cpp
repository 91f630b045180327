#include "desktop/shell/Panes.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <functional>

#include "desktop/shell/core/TesseraDoc.h"

namespace {

// A read-only text view that rewrites itself from the document whenever the
// document changes.
QWidget* TextPane(CTesseraDoc* doc, QWidget* parent, const char* name,
                  std::function<QString(const CTesseraDoc&)> render) {
  auto* view = new QPlainTextEdit(parent);
  view->setObjectName(QLatin1String(name));
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto refresh = [view, doc, render] { view->setPlainText(render(*doc)); };
  QObject::connect(doc, &CTesseraDoc::Changed, view, refresh);
  refresh();
  return view;
}

}  // namespace

QWidget* CreateHistogramPane(CTesseraDoc* doc, QWidget* parent) {
  return TextPane(doc, parent, "histogramPane", [](const CTesseraDoc& d) {
    if (d.HistogramPoints().empty()) return QStringLiteral("No mass-shift table loaded.");
    QString text = QStringLiteral("  delta mass (Da)   spectrum pairs\n");
    for (const CHistogramPoint& point : d.HistogramPoints())
      text += QString::asprintf("%17.4f %16d\n", point.mass, point.count);
    return text;
  });
}

QWidget* CreateResultListPane(CTesseraDoc* doc, QWidget* parent) {
  return TextPane(doc, parent, "resultListPane", [](const CTesseraDoc& d) {
    QString text;
    for (const CResultRow& row : d.ResultRows()) text += QString::fromStdString(row.text);
    return text;
  });
}

#include "desktop/shell/core/TableExport.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QSaveFile>
#include <QStringList>
#include <QTableView>

#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/core/UserMessage.h"

namespace desktop {
namespace {

QString Cell(QString text) {
  for (QChar& c : text)
    if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
  return text.trimmed();
}

}  // namespace

QString TableAsTsv(const QTableView& view) {
  const QAbstractItemModel* model = view.model();
  if (!model) return QString();
  const QHeaderView* header = view.horizontalHeader();
  QList<int> columns;
  for (int visual = 0; visual < header->count(); ++visual) {
    const int logical = header->logicalIndex(visual);
    if (!header->isSectionHidden(logical)) columns << logical;
  }
  QStringList lines;
  QStringList titles;
  for (int column : columns) titles << Cell(model->headerData(column, Qt::Horizontal).toString());
  lines << titles.join(QLatin1Char('\t'));
  for (int row = 0; row < model->rowCount(); ++row) {
    QStringList cells;
    for (int column : columns) cells << Cell(model->index(row, column).data().toString());
    lines << cells.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool WriteTableAsTsv(const QTableView& view, const QString& path, QString& error) {
  QSaveFile file(path);
  const QByteArray text = TableAsTsv(view).toUtf8();
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    error = QStringLiteral("Can not save file: ") + path;
    return false;
  }
  return true;
}

QString ExportTableAsTsv(QWidget* parent, const QTableView& view, const QString& title,
                         const QString& suggestedName) {
  FileChoice choice;
  choice.kind = ChooserKind::SaveFile;
  choice.title = title;
  choice.filter = QStringLiteral("Tab-separated text (*.tsv);;All files (*)");
  choice.defaultSuffix = QStringLiteral("tsv");
  choice.proposed = suggestedName;
  choice.memoryKey = QStringLiteral("export");
  const QString path = ChooseFile(parent, choice).value_or(QString());
  if (path.isEmpty()) return QString();
  QString error;
  if (!WriteTableAsTsv(view, path, error)) {
    ShowMessage(parent, MessageKind::Error, title, error);
    return QString();
  }
  return path;
}

}  // namespace desktop

#pragma once
// Tables of the desktop program saved as tab-separated text, for a
// spreadsheet or a script: the annotated mass-shift list, and any other
// table view the program shows (the same two calls serve each).

#include <QString>

class QTableView;
class QWidget;

namespace desktop {

// The view's columns in the order shown, a header line of their titles,
// then one line per row in the order shown. Cells lose blanks at their ends;
// tabs and line breaks inside a cell become blanks, so every row stays one
// line of the same number of fields.
QString TableAsTsv(const QTableView& view);

// Writes TableAsTsv whole or not at all (an older file of that name stays
// as it was on failure); false with `error` set when it cannot.
bool WriteTableAsTsv(const QTableView& view, const QString& path, QString& error);

// Asks for a ".tsv" name (proposing `suggestedName` in the folder last used
// for exports), writes the table there and says when it cannot. Answers the
// path written; empty when nothing was.
QString ExportTableAsTsv(QWidget* parent, const QTableView& view, const QString& title,
                         const QString& suggestedName);

}  // namespace desktop

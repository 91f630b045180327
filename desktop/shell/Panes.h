#pragma once
// The two panes of the main window. The main window knows them only through
// these two functions, the document's Changed signal, and an optional
// StatusMessage(QString) signal of a pane, which it shows in the status bar.

class CTesseraDoc;
class QWidget;

// Upper pane: the mass-shift histogram of the loaded table.
QWidget* CreateHistogramPane(CTesseraDoc* doc, QWidget* parent);
// Lower pane: the loaded table's rows, by ascending mass.
QWidget* CreateResultListPane(CTesseraDoc* doc, QWidget* parent);

#pragma once
// The desktop's histogram pane paints the document's table with the shared
// histogram painting: the document's points, settings and view state become
// the plain data and ranges that the painting takes.

#include "desktop/plot/HistogramPlot.h"

class CTesseraDoc;

// Paints the document into the client rectangle. With data loaded and view
// state 0, the ranges are taken from the data and the settings first (and
// the filters from the 31st point, once). Answers whether data were drawn.
bool PaintDocumentHistogram(CHistogramPlot& plot, QPainter& painter, const QRect& client, CTesseraDoc& doc);

#pragma once
// The two panes of the main window and how they talk to each other.

#include "desktop/shell/views/MyListView.h"
#include "desktop/shell/views/TesseraView.h"

// After every repaint with data the histogram asks the list to refill itself.
void ConnectViews(CTesseraView* histogram, CMyListView* list);

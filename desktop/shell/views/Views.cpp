#include "desktop/shell/views/Views.h"

void ConnectViews(CTesseraView* histogram, CMyListView* list) {
  // Repaints come in bursts (resizing, dragging); the list refills once per
  // burst.
  QObject::connect(histogram, &CTesseraView::RefreshRequested, list, &CMyListView::ScheduleRefill);
}

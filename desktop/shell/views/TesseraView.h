#pragma once
// The upper pane: the histogram of the last job's mass differences. A dragged
// rectangle zooms in, "Zoom Back" (Backspace) steps back one zoom and
// "Refresh" back to the whole data, the mouse position is read out in the
// status bar, and the picture can be saved as BMP, JPEG, PNG or TIFF.

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <vector>

#include "desktop/plot/HistogramPlot.h"

class CTesseraDoc;
class QRubberBand;

class CTesseraView : public QWidget {
  Q_OBJECT

 public:
  explicit CTesseraView(CTesseraDoc* doc, QWidget* parent = nullptr);

  // The picture as the pane would show it at that size, painted off-screen.
  QImage RenderImage(const QSize& size);

  // Zooms to the rectangle dragged from start to end (client coordinates);
  // answers false, changing nothing, for a drag shorter than 20 pixels either
  // way or narrower than 5 Da.
  bool ZoomTo(const QPoint& start, const QPoint& end);

  // The status-bar text for a cursor at x: the drawn bar nearest to the
  // mass there, or empty when none lies within half a bar width.
  QString ReadoutAt(int x) const;

  const CHistogramPlot& Plot() const { return plot_; }
  // How many zooms "Zoom Back" can step back through.
  int ZoomDepth() const { return static_cast<int>(zoomHistory_.size()); }

 public slots:
  // Ranges return to the data and the settings.
  void Refresh();
  // The ranges before the last zoom; after the first zoom, those of the
  // data (as Refresh). Answers false when there is no zoom to undo.
  bool ZoomBack();
  void SaveToPictures();
  void EditParameters();

 signals:
  void StatusMessage(const QString& text);
  // After every repaint with data: the result list should refill itself.
  void RefreshRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct ZoomState {
    double lowMass, highMass;
    int lowCount, highCount;
    int viewState;
  };

  CTesseraDoc* doc_;
  CHistogramPlot plot_;
  bool dragging_ = false;
  QPoint dragStart_;
  QRubberBand* rubberBand_ = nullptr;
  QString lastReadout_;
  std::vector<ZoomState> zoomHistory_;
};

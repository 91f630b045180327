#include "desktop/shell/views/TesseraView.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <cmath>
#include <cstdio>

#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"
#include "desktop/shell/views/DocumentHistogram.h"
#include "desktop/shell/views/ParametersDlg.h"
#include "desktop/shell/views/PictureExport.h"

CTesseraView::CTesseraView(CTesseraDoc* doc, QWidget* parent)
    : QWidget(parent), doc_(doc), rubberBand_(new QRubberBand(QRubberBand::Rectangle, this)) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
  setFocusPolicy(Qt::StrongFocus);
  connect(doc_, &CTesseraDoc::Changed, this, [this] {
    // New data: the zooms of the old data mean nothing for it.
    zoomHistory_.clear();
    update();
  });
}

void CTesseraView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (PaintDocumentHistogram(plot_, painter, rect(), *doc_)) emit RefreshRequested();
}

QImage CTesseraView::RenderImage(const QSize& size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  // The picture follows the pane's ranges but not its layout: the pane keeps
  // converting mouse positions for its own size.
  CHistogramPlot plot = plot_;
  PaintDocumentHistogram(plot, painter, QRect(QPoint(0, 0), size), *doc_);
  return image;
}

bool CTesseraView::ZoomTo(const QPoint& start, const QPoint& end) {
  if (std::abs(end.x() - start.x()) < 20 || std::abs(end.y() - start.y()) < 20) return false;
  const double width = plot_.MassAt(end.x()) - plot_.MassAt(start.x());
  if (width > -5.0 && width < 5.0) return false;

  const int upper = std::min(start.y(), end.y()), lower = std::max(start.y(), end.y());
  const int leftX = std::min(start.x(), end.x()), rightX = std::max(start.x(), end.x());
  const int highCount = static_cast<int>(plot_.CountAt(upper));
  const int lowCount = static_cast<int>(plot_.CountAt(lower));
  const double lowMass = plot_.MassAt(leftX), highMass = plot_.MassAt(rightX);
  zoomHistory_.push_back({plot_.lowMass, plot_.highMass, plot_.lowCount, plot_.highCount, doc_->ViewState()});
  plot_.highCount = highCount;
  plot_.lowCount = lowCount;
  plot_.lowMass = lowMass;
  plot_.highMass = highMass;
  doc_->SetViewState(1);
  update();
  return true;
}

QString CTesseraView::ReadoutAt(int x) const {
  const auto& points = doc_->HistogramPoints();
  if (!doc_->DataLoaded() || points.empty() || plot_.right <= plot_.left) return QString();
  const CHistogramSettings& settings = doc_->Settings();
  const double mass = plot_.MassAt(x);
  const double daPerPixel = (plot_.highMass - plot_.lowMass) / (plot_.right - plot_.left);
  const double reach = std::max(settings.peakWidth, 1) / 2.0 * std::fabs(daPerPixel);

  const CHistogramPoint* nearest = nullptr;
  for (const CHistogramPoint& point : points) {
    // Only drawn bars can be under the cursor.
    if (point.count <= settings.histogramFilter || plot_.XOf(point.mass) < 0) continue;
    if (nearest == nullptr || std::fabs(point.mass - mass) < std::fabs(nearest->mass - mass)) nearest = &point;
  }
  if (nearest == nullptr || std::fabs(nearest->mass - mass) > reach) return QString();
  char text[128];
  std::snprintf(text, sizeof text, "Mass: %f Da    Spectrum pairs: %d", nearest->mass, nearest->count);
  return QString::fromLatin1(text);
}

void CTesseraView::Refresh() {
  zoomHistory_.clear();
  doc_->SetViewState(0);
  update();
}

bool CTesseraView::ZoomBack() {
  if (zoomHistory_.empty()) return false;
  const ZoomState before = zoomHistory_.back();
  zoomHistory_.pop_back();
  plot_.lowMass = before.lowMass;
  plot_.highMass = before.highMass;
  plot_.lowCount = before.lowCount;
  plot_.highCount = before.highCount;
  doc_->SetViewState(before.viewState);
  update();
  return true;
}

void CTesseraView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
    ZoomBack();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CTesseraView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  dragging_ = true;
  dragStart_ = event->position().toPoint();
  rubberBand_->setGeometry(QRect(dragStart_, QSize()));
  rubberBand_->show();
}

void CTesseraView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (dragging_) rubberBand_->setGeometry(QRect(dragStart_, at).normalized());
  const QString readout = ReadoutAt(at.x());
  if (readout != lastReadout_) {
    lastReadout_ = readout;
    emit StatusMessage(readout);
  }
}

void CTesseraView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  rubberBand_->hide();
  ZoomTo(dragStart_, event->position().toPoint());
}

void CTesseraView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* back = menu.addAction(QStringLiteral("Zoom Back"), this, &CTesseraView::ZoomBack);
  back->setEnabled(!zoomHistory_.empty());
  menu.addAction(QStringLiteral("Refresh"), this, &CTesseraView::Refresh);
  menu.addSeparator();
  menu.addAction(QStringLiteral("Save to pictures..."), this, &CTesseraView::SaveToPictures);
  menu.addAction(QStringLiteral("Setting parameters..."), this, &CTesseraView::EditParameters);
  menu.exec(event->globalPos());
}

void CTesseraView::EditParameters() {
  CParametersDlg dialog(doc_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  // New ranges and filters: the view starts again from the data.
  zoomHistory_.clear();
  doc_->SetViewState(0);
  update();
}

void CTesseraView::SaveToPictures() {
  int position = -1;
  desktop::FileChoice choice;
  choice.kind = desktop::ChooserKind::SaveFile;
  choice.title = QStringLiteral("Save to pictures");
  choice.filter = desktop::PictureFilters();
  choice.filterIndex = &position;
  choice.memoryKey = QStringLiteral("pictures");
  const QString chosen = desktop::ChooseFile(this, choice).value_or(QString());
  if (chosen.isEmpty()) return;
  const int format = desktop::PictureFilterIndex(position);
  const QString path = desktop::PicturePath(chosen, format);
  // The dialog asked about the name typed; the extension may have made it
  // another file.
  if (path != chosen && QFileInfo::exists(path) &&
      !desktop::ShowMessage(this, desktop::MessageKind::Question, QStringLiteral("Save to pictures"),
                            path + QStringLiteral(" already exists. Replace it?")))
    return;
  if (!desktop::SavePicture(RenderImage(size()), path, format))
    desktop::ShowMessage(this, desktop::MessageKind::Error, QStringLiteral("Save to pictures"),
                         QStringLiteral("Can not save file: ") + path);
}

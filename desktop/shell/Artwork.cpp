#include "desktop/shell/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace art {
namespace {

const QColor kInk(0x24, 0x3b, 0x55);
const QColor kAccent(0xd9, 0x5d, 0x39);
const QColor kTeal(0x2a, 0x9d, 0x8f);
const QColor kGold(0xe9, 0xc4, 0x6a);

void DrawAxes(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(r.left(), r.top()), QPointF(r.left(), r.bottom()));
  p.drawLine(QPointF(r.left(), r.bottom()), QPointF(r.right(), r.bottom()));
}

void DrawShiftscan(QPainter& p) {
  DrawAxes(p, QRectF(12, 10, 50, 50));
  // Two spots of pairs over (mass shift, time shift), each a Gaussian.
  const struct {
    QPointF centre;
    double rx, ry;
    QColor colour;
  } spots[] = {{QPointF(30, 42), 11, 7, kTeal}, {QPointF(48, 24), 9, 9, kAccent}};
  for (const auto& spot : spots) {
    QRadialGradient glow(spot.centre, std::max(spot.rx, spot.ry));
    QColor inner = spot.colour;
    QColor outer = spot.colour;
    outer.setAlpha(0);
    glow.setColorAt(0, inner);
    glow.setColorAt(1, outer);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(spot.centre, spot.rx + 4, spot.ry + 4);
  }
  p.setBrush(kInk);
  const QPointF dots[] = {{20, 50}, {27, 45}, {33, 40}, {36, 44}, {45, 22}, {50, 27}, {52, 20}, {40, 52}, {56, 48}};
  for (const QPointF& dot : dots) p.drawEllipse(dot, 2, 2);
}

void DrawClustering(QPainter& p) {
  const struct {
    QPointF centre;
    double radius;
    QColor colour;
  } groups[] = {{QPointF(22, 24), 14, kTeal}, {QPointF(50, 26), 12, kAccent}, {QPointF(36, 52), 13, kGold}};
  for (const auto& g : groups) {
    QColor fill = g.colour;
    fill.setAlpha(70);
    p.setPen(QPen(g.colour.darker(130), 2.5));
    p.setBrush(fill);
    p.drawEllipse(g.centre, g.radius, g.radius);
    // A small stick spectrum inside each cluster.
    p.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap));
    const double base = g.centre.y() + g.radius * 0.45;
    const double heights[] = {0.5, 1.0, 0.35, 0.75};
    for (int i = 0; i < 4; ++i) {
      const double x = g.centre.x() - g.radius * 0.5 + i * g.radius * 0.33;
      p.drawLine(QPointF(x, base), QPointF(x, base - heights[i] * g.radius * 0.9));
    }
  }
}

void DrawNode(QPainter& p, const QPointF& at, bool identified) {
  p.setPen(QPen(kInk, 2.5));
  p.setBrush(identified ? QBrush(kAccent) : QBrush(Qt::white));
  p.drawEllipse(at, 8, 8);
}

void DrawArrow(QPainter& p, QPointF from, QPointF to) {
  const QLineF line(from, to);
  QLineF shaft(from, to);
  shaft.setLength(line.length() - 10);
  shaft = QLineF(shaft.pointAt(10 / line.length()), shaft.p2());
  p.setPen(QPen(kTeal, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(shaft);
  const double angle = std::atan2(-shaft.dy(), shaft.dx());
  const QPointF tip = shaft.p2();
  QPolygonF head;
  head << tip << tip - QPointF(std::sin(angle + M_PI / 3) * 7, std::cos(angle + M_PI / 3) * 7)
       << tip - QPointF(std::sin(angle + M_PI - M_PI / 3) * 7, std::cos(angle + M_PI - M_PI / 3) * 7);
  p.setPen(Qt::NoPen);
  p.setBrush(kTeal);
  p.drawPolygon(head);
}

void DrawPropagation(QPainter& p) {
  const QPointF source(18, 36), a(52, 16), b(54, 56), c(36, 36);
  DrawArrow(p, source, c);
  DrawArrow(p, c, a);
  DrawArrow(p, c, b);
  DrawNode(p, source, true);
  DrawNode(p, c, false);
  DrawNode(p, a, false);
  DrawNode(p, b, false);
}

void DrawPairLink(QPainter& p) {
  // Two stick spectra, the second shifted, their peaks joined by dashes.
  p.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap));
  const double upper[] = {0.6, 1.0, 0.4, 0.8, 0.3};
  for (int i = 0; i < 5; ++i) {
    const double x = 10 + i * 8;
    p.drawLine(QPointF(x, 32), QPointF(x, 32 - upper[i] * 20));
    p.drawLine(QPointF(x + 14, 62), QPointF(x + 14, 62 - upper[i] * 20));
  }
  p.setPen(QPen(kAccent, 2.5, Qt::DashLine, Qt::RoundCap));
  p.drawLine(QPointF(18, 34), QPointF(32, 44));
  p.drawLine(QPointF(34, 34), QPointF(48, 44));
}

void DrawAbout(QPainter& p) {
  p.setPen(QPen(kInk, 3));
  p.setBrush(QColor(0xf4, 0xf1, 0xde));
  p.drawEllipse(QPointF(36, 36), 26, 26);
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawEllipse(QPointF(36, 22), 4, 4);
  p.drawRoundedRect(QRectF(32, 31, 8, 22), 3, 3);
}

QImage Draw(ToolbarImage image) {
  QImage canvas(kToolbarImageSize, kToolbarImageSize, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  QPainter p(&canvas);
  p.setRenderHint(QPainter::Antialiasing);
  switch (image) {
    case ToolbarImage::Shiftscan: DrawShiftscan(p); break;
    case ToolbarImage::Clustering: DrawClustering(p); break;
    case ToolbarImage::Propagation: DrawPropagation(p); break;
    case ToolbarImage::PairLink: DrawPairLink(p); break;
    case ToolbarImage::About: DrawAbout(p); break;
  }
  return canvas;
}

}  // namespace

QPixmap ToolbarPixmap(ToolbarImage image, ImageState state) {
  QImage picture = Draw(image);
  if (state == ImageState::Hot) {
    // The hot form sits on a soft highlight.
    QImage hot(picture.size(), QImage::Format_ARGB32_Premultiplied);
    hot.fill(Qt::transparent);
    QPainter p(&hot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xe8, 0xa3, 150));
    p.drawRoundedRect(QRectF(2, 2, kToolbarImageSize - 4, kToolbarImageSize - 4), 10, 10);
    p.drawImage(0, 0, picture);
    p.end();
    picture = hot;
  } else if (state == ImageState::Disabled) {
    for (int y = 0; y < picture.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
      for (int x = 0; x < picture.width(); ++x) {
        const int grey = qGray(line[x]);
        const int alpha = qAlpha(line[x]) / 2;
        line[x] = qPremultiply(qRgba(grey, grey, grey, alpha));
      }
    }
  }
  return QPixmap::fromImage(picture);
}

QIcon ToolbarIcon(ToolbarImage image) {
  QIcon icon;
  icon.addPixmap(ToolbarPixmap(image, ImageState::Normal), QIcon::Normal);
  icon.addPixmap(ToolbarPixmap(image, ImageState::Hot), QIcon::Active);
  icon.addPixmap(ToolbarPixmap(image, ImageState::Disabled), QIcon::Disabled);
  return icon;
}

QPixmap SplashPicture() {
  const QSize size(520, 320);
  QPixmap picture(size);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, QColor(0x1d, 0x35, 0x57));
  sky.setColorAt(1, QColor(0x45, 0x7b, 0x9d));
  p.fillRect(picture.rect(), sky);

  // A stick spectrum across the lower half, peaks of a pseudo-random height.
  const double base = 270;
  unsigned seed = 7;
  for (int x = 24; x < size.width() - 24; x += 9) {
    seed = seed * 1103515245u + 12345u;
    const double height = 8 + (seed >> 16) % 52 * ((x % 5 == 0) ? 1.0 : 0.45);
    p.setPen(QPen(QColor(0xf1, 0xfa, 0xee, 170), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x, base), QPointF(x, base - height));
  }
  p.setPen(QPen(QColor(0xe6, 0x39, 0x46), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(24, base), QPointF(size.width() - 24, base));

  // Tesserae: a band of small tiles under the name.
  const QColor tiles[] = {kAccent, kTeal, kGold, QColor(0xa8, 0xda, 0xdc)};
  for (int i = 0; i < 16; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(tiles[i % 4]);
    p.drawRoundedRect(QRectF(40 + i * 27, 120, 22, 22), 3, 3);
  }

  QFont title = p.font();
  title.setPointSize(40);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(40, 30, size.width() - 80, 80), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tessera"));
  QFont small = p.font();
  small.setPointSize(12);
  small.setBold(false);
  p.setFont(small);
  p.drawText(QRectF(40, 150, size.width() - 80, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Version 1.0"));
  p.drawText(QRectF(40, 174, size.width() - 80, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Spectrum clusters, modification shifts, propagation"));
  return picture;
}

QIcon ApplicationIcon() {
  QPixmap picture(64, 64);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor tiles[] = {kAccent, kTeal, kGold, kInk};
  for (int i = 0; i < 4; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(tiles[i]);
    p.drawRoundedRect(QRectF(4 + (i % 2) * 30, 4 + (i / 2) * 30, 26, 26), 5, 5);
  }
  return QIcon(picture);
}

}  // namespace art

#include "desktop/plot/PictureFile.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

#include "common/PathUtil.h"
#include "common/PlotProgram.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace plot {

std::string PictureKind(const std::string& path) { return plotprogram::PictureKind(path); }

bool WritePicture(const std::string& path, int width, int height, const Painting& paint, std::string& error) {
  const std::string kind = PictureKind(path);
  if (kind.empty()) {
    error = path + ": a picture is written as .png or .svg";
    return false;
  }
  const QRect area(0, 0, width, height);
  QByteArray bytes;
  if (kind == "png") {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      paint(painter, area);
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
      error = path + ": the PNG could not be made";
      return false;
    }
  } else {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(width, height));
    svg.setViewBox(area);
    QPainter painter(&svg);
    painter.fillRect(area, Qt::white);
    paint(painter, area);
  }
  if (safefile::WriteWholeFile(path, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())), &error))
    return true;
  error = path + ": " + error;
  return false;
}

}  // namespace plot

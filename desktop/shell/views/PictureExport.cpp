#include "desktop/shell/views/PictureExport.h"

#include <QSaveFile>
#include <QStringList>

namespace desktop {
namespace {

struct FormatInfo {
  const char* filter;
  const char* writer;
  QStringList extensions;  // the first is appended
};

const FormatInfo& Info(int format) {
  static const FormatInfo formats[] = {
      {"bmp files(*.bmp)", "BMP", {".bmp"}},
      {"jpg files(*.jpg)", "JPEG", {".jpg", ".jpeg"}},
      {"png files(*.png)", "PNG", {".png"}},
      {"tiff files(*.tiff)", "TIFF", {".tiff", ".tif"}},
  };
  return formats[(format >= kBmp && format <= kTiff ? format : kTiff) - 1];
}

}  // namespace

QString PictureFilters() {
  QStringList filters;
  for (int format = kBmp; format <= kTiff; ++format) filters << QString::fromLatin1(Info(format).filter);
  return filters.join(QStringLiteral(";;"));
}

int PictureFilterIndex(int position) {
  const int format = kBmp + position;
  return format >= kBmp && format <= kTiff ? format : kTiff;
}

QString PicturePath(const QString& chosen, int format) {
  const QStringList& extensions = Info(format).extensions;
  for (const QString& extension : extensions)
    if (chosen.endsWith(extension, Qt::CaseInsensitive)) return chosen;
  return chosen + extensions.front();
}

bool SavePicture(const QImage& image, const QString& path, int format) {
  // The picture is written beside the target and takes its name only when
  // complete.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (image.isNull() || !image.save(&file, Info(format).writer)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace desktop

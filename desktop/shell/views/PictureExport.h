#pragma once
// Pictures of the histogram: the four formats of the save dialog, the path a
// chosen name becomes, and a write that leaves no file behind when it fails.

#include <QImage>
#include <QString>

namespace desktop {

enum PictureFormat { kBmp = 1, kJpeg = 2, kPng = 3, kTiff = 4 };

// The save dialog's filters, in format order.
QString PictureFilters();
// Format of the filter at a position of PictureFilters(); TIFF for anything else.
int PictureFilterIndex(int position);

// The chosen path as it is when it already ends in the format's extension
// (any case; ".jpeg" and ".tif" count too), else with the extension appended.
QString PicturePath(const QString& chosen, int format);

// Writes the image at path in the format. On failure nothing is left at path
// (an older file there stays as it was) and the answer is false.
bool SavePicture(const QImage& image, const QString& path, int format);

}  // namespace desktop

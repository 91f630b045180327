#pragma once
// Writes what a painting function paints as a PNG (white background) or SVG
// file, told by the file's extension; the file is written under a
// temporary name and renamed, so that a failed write leaves none.

#include <functional>
#include <string>

class QPainter;
class QRect;

namespace plot {

using Painting = std::function<void(QPainter&, const QRect&)>;

// "png" or "svg" for a name with that extension (any case), else "".
std::string PictureKind(const std::string& path);

bool WritePicture(const std::string& path, int width, int height, const Painting& paint, std::string& error);

}  // namespace plot

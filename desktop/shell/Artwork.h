#pragma once
// The program's pictures, drawn when first needed: the five toolbar images
// (normal, hot and disabled forms), the splash picture and the window icon.

#include <QIcon>
#include <QPixmap>

namespace art {

inline constexpr int kToolbarImageSize = 72;

enum class ToolbarImage {
  Shiftscan = 0,    // two Gaussian spots over mass and retention-time shifts
  Clustering = 1,   // spectra gathered into clusters
  Propagation = 2,  // an identification handed on along pairs
  PairLink = 3,     // two spectra linked by a mass shift
  About = 4,
};

enum class ImageState { Normal, Hot, Disabled };

QPixmap ToolbarPixmap(ToolbarImage image, ImageState state);
// All three states, as QIcon's Normal, Active and Disabled modes.
QIcon ToolbarIcon(ToolbarImage image);

QPixmap SplashPicture();
QIcon ApplicationIcon();

}  // namespace art

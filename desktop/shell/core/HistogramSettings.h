#pragma once
// Settings of the mass-difference histogram and of the Unimod annotation,
// owned by the document and edited in the parameters dialog.

struct CHistogramSettings {
  double massLow = 0.0;
  double massHigh = 200.0;
  int peakWidth = 3;              // bar width in pixels
  double unimodTolerance = 0.01;  // Da, used when the list looks up Unimod
  // Kept for the layout of the settings; no operation reads them.
  double reservedTolerance = 0.01;
  double reservedRange = 5.0;
  int reservedFlag = 1;
  int histogramFilter = 1;   // bars with fewer pairs are not drawn
  int annotationFilter = 2;  // bars with fewer pairs are not labelled
};

#pragma once
// Enumerations shared by the clustering engine, the spectrum readers and the
// desktop program. Each is a 32-bit integer in memory and in parameter files.

#include <cstdint>

enum Tolerance_Type : std::int32_t {
  TOLERANCE_DA = 0,
  TOLERANCE_PPM = 1,
};

enum Similar_Method : std::int32_t {
  SIMILAR_INTENSITY_SCORE = 0,
  SIMILAR_DOT_PRODUCT = 1,
  SIMILAR_DOT_PRODUCT_MOD = 2,
  SIMILAR_DOT_PRODUCT_HALF = 3,
  SIMILAR_DOT_PRODUCT_X = 4,
  SIMILAR_PEAK_COUNT = 5,
  SIMILAR_BONANZA = 6,
  SIMILAR_COMPREHENSIVE = 7,
};

// Index of the desktop program's data-type list; the spectrum readers give it
// its meaning.
enum MS2FormatType : std::int32_t {
  MS2_FORMAT_DTA = 0,
  MS2_FORMAT_DTAS = 1,
  MS2_FORMAT_MGF = 2,
  MS2_FORMAT_PKL = 3,
  MS2_FORMAT_MZML = 4,  // mzML and mzXML
  MS2_FORMAT_MS2 = 5,
  MS2_FORMAT_RAW = 6,
};

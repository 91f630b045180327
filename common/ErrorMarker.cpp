#include "common/ErrorMarker.h"

#include <cstdio>

#include "common/PathUtil.h"

namespace marker {

bool CreateErrorMarker() {
  std::FILE* f = std::fopen(kErrorMarkerFile, "w");
  if (!f) return false;
  return std::fclose(f) == 0;
}

bool ErrorMarkerExists() { return path::Exists(kErrorMarkerFile); }

void RemoveErrorMarker() { path::RemoveFile(kErrorMarkerFile); }

}  // namespace marker

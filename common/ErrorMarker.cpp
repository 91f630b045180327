#include "common/ErrorMarker.h"

#include "common/PathUtil.h"
#include "common/SafeFile.h"

namespace marker {

bool CreateErrorMarker() { return safefile::TouchWithoutFollowing(kErrorMarkerFile); }

bool ErrorMarkerExists() { return path::Exists(kErrorMarkerFile); }

void RemoveErrorMarker() { path::RemoveFile(kErrorMarkerFile); }

}  // namespace marker

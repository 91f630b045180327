#pragma once
// The marker file by which a back end tells the desktop program that its job
// left no result.

#include <string>

namespace marker {

inline constexpr const char* kErrorMarkerFile = "error_happened.error";

// Creates "error_happened.error" in the working directory; false if it
// could not be created.
bool CreateErrorMarker();
bool ErrorMarkerExists();
void RemoveErrorMarker();

}  // namespace marker

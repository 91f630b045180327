#pragma once
// The peak arrays of one scan, checked as they stand in the file before
// MSToolkit decodes them. MSToolkit decodes text that is not base64 into
// numbers all the same and reads past an m/z array shorter than its scan
// (peaks at m/z 0 and -1e36 follow); a scan whose arrays are damaged is
// refused instead.
//
// No MSToolkit here: the checks read the XML text of the scan themselves,
// so that they can be tested and fuzzed on their own.

#include <cstdio>
#include <string>
#include <string_view>

namespace mzreader {

// `text` starts with an mzML <spectrum> start tag and holds the element
// whole. "" when its arrays are sound or cannot be judged from the element
// alone (precision or compression kept in a referenced parameter group,
// numpress coding); else what is wrong, for example "the m/z array is not
// base64" or "the m/z array holds 2 values where the spectrum has 4 peaks".
std::string CheckMzmlSpectrum(std::string_view text);

// `text` starts with an mzXML <scan> start tag and holds at least its
// <peaks> element. The same answers for its interleaved m/z-intensity array.
std::string CheckMzxmlScan(std::string_view text);

// The whole file's arrays, checked before MSToolkit opens it: opening
// already decodes some, and a count no array could hold (or an array outside
// any scan, which MSToolkit decodes with a length no scan gave it) fills
// gigabytes of memory before anything else is seen. "" when every mzXML
// <scan> and mzML <spectrum> passes the checks above and every array lies in
// one; else "scan N (id): what is wrong" (N as MSToolkit numbers scans: the
// mzXML num, the mzML id's scan=N, else index + 1), or "a peak array outside
// any scan at byte N".
std::string CheckFileArrays(std::FILE* file);

}  // namespace mzreader

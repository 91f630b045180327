#pragma once
// Tells a run's spectra from a parameter or configuration file, so that a
// program given a run where it expects its settings says so instead of
// reading thousands of lines of peaks as unknown keys.

#include <string>

namespace spectrumfile {

// True when `path` is a file of spectra: named as one (mzML, mzXML, MGF, MS2,
// DTA, DTAS, PKL, RAW, any case) or, whatever its name, beginning as one (an
// XML document whose root is mzML, indexedmzML or mzXML; "BEGIN IONS"; MS2
// header lines). A folder, a missing file or a settings file gives false.
bool IsSpectrumFile(const std::string& path);

}  // namespace spectrumfile

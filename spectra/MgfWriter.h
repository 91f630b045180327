#pragma once
// Writes spectra as one Mascot generic format (MGF) file, the form search
// engines take a whole run or a set of consensus spectra in.
//
// Each spectrum becomes one block:
//   BEGIN IONS
//   TITLE=<the spectrum's name>
//   PEPMASS=<precursor m/z>
//   CHARGE=<z>+                  (when the charge is known)
//   RTINSECONDS=<seconds>        (when the retention time is known)
//   SCANS=<first>[-<last>]       (when the scan numbers are known)
//   CLUSTER=<number>             (cluster output only)
//   CLUSTER_SIZE=<members>       (cluster output only)
//   <m/z> <intensity>            (one line per peak)
//   END IONS
// The title is the spectrum's own name, so that our MGF importer and the
// readers of search results map each block back to the same spectrum.

#include <ostream>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace spectra {

// The cluster a consensus or representative spectrum stands for.
struct CMgfCluster {
  int number = 0;  // the cluster number of the cluster file
  int size = 0;    // how many spectra the cluster holds
};

// Writes one block; `cluster` adds the two cluster fields.
void WriteMgfSpectrum(std::ostream& out, const msdata::CSpectrum& spectrum,
                      const CMgfCluster* cluster = nullptr);

// Writes every spectrum to `path`, replacing it whole or not at all (under a
// temporary name renamed when complete; a device, a FIFO or a descriptor
// such as "/dev/stdout" is written in place: common/SafeFile.h). `clusters`,
// when given, holds one entry per spectrum in the same order. False with
// `error` set ("Cannot write file: <path> (<reason>)") when the file cannot be
// written whole or the two lists differ in length; an earlier file is then
// left as it was.
bool WriteMgfFile(const std::string& path, const std::vector<msdata::CSpectrum>& spectra,
                  std::string& error, const std::vector<CMgfCluster>* clusters = nullptr);

}  // namespace spectra

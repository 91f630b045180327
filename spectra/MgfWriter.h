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
//   CLUSTER_MEMBERS=<m>\t<m>...  (cluster output with provenance: every
//                                member in load order, by its MGF title,
//                                else its spectrum name, or by its USI when
//                                the run was given an accession; tab
//                                separated: tabs and other control
//                                characters in titles are written as "_")
//   CLUSTER_FILES=<f>\t<f>...    (the members' source files, each once, in
//                                member order: the input file, or each DTA
//                                file of a DTA folder)
//   CLUSTER_MEMBERS_IN=<table>   (in place of either list when its line
//   CLUSTER_FILES_IN=<table>     would be longer than kLongestListLine: the
//                                table that lists every member in full)
//   SOURCE_FILE=<file>           (a member written as itself, a lone
//                                spectrum or a copied representative: its own
//                                source file; its SCANS are its own scans.
//                                A consensus spectrum has none)
//   <m/z> <intensity>            (one line per peak)
//   END IONS
// The title is the spectrum's own name, so that our MGF importer and the
// readers of search results map each block back to the same spectrum.
//
// Search engines read MGF lines into buffers of fixed size: Comet 2019.01
// (Debian's) takes a line in pieces of 1023 characters and reads a piece
// that begins with a digit as a peak, failing the whole file ("Malformed
// MGF spectrum entry"). A cluster of a few dozen members fills such a line,
// so the member lists are written only while their lines stay within
// kLongestListLine characters; a longer list points to its table instead.

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace spectra {

// The longest line of a member list, line end not counted.
inline constexpr std::size_t kLongestListLine = 1000;

// The cluster a consensus or representative spectrum stands for.
struct CMgfCluster {
  int number = 0;  // the cluster number of the cluster file
  int size = 0;    // how many spectra the cluster holds
  // Provenance, each written only when not empty (fields above).
  std::string members;
  std::string member_files;
  std::string source_file;
  // Where the lists are in full when too long for their lines (a name
  // without a folder: it lies beside the cluster file); "" for nowhere.
  std::string members_table;
};

// Writes one block; `cluster` adds the cluster fields.
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

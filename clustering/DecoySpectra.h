#pragma once
// Decoy spectra of the spectral pair search: a spectrum whose fragment peaks
// are all moved by one offset, its precursor mass and charge kept. A decoy
// falls in the same mass windows as its spectrum, keeps its peak spacing,
// intensities and peak count, and meets an unrelated spectrum's peaks only by
// chance, so that target-against-decoy pairs above the threshold estimate how
// many of the pairs found are chance.
//
// The offset is k steps of 1.000495 Da, the mean spacing of peptide
// fragment masses per nominal dalton, so that moved peaks stay on the bands
// of mass defect real fragments occupy (a fractional offset would put them
// between bands and, at fine tolerances, meet fewer peaks than an unrelated
// spectrum does). k is 3 to 15, up or down: beyond the tolerance and the
// isotope spacings (1 and 2 Da), below the neutral losses of ammonia and
// water (17, 18 Da) and the a/b spacing of CO (28 Da) that would line a
// decoy up with a related spectrum's own loss peaks, and below the smallest
// residue (glycine, 57 Da) that would line up fragment ladders; small
// enough that a decoy keeps nearly all of its m/z range.
//
// The offset is drawn from a fixed seed and the spectrum's name alone, so a
// run is reproducible and a spectrum has the same decoy in every run,
// whatever the order, the other spectra or the thread count.

#include <string>

#include "common/Spectrum.h"

namespace decoy {

constexpr int kLeastSteps = 3;
constexpr int kMostSteps = 15;
constexpr double kStep = 1.000495;

// The offset (daltons, either sign) of the decoy of the spectrum `name`.
double Offset(const std::string& name);

// Moves every m/z of `peaks` by `offset`; intensities and order stay.
void Move(msdata::PeakList& peaks, double offset);

// The decoy of `spectrum`: its fragment peaks moved by Offset(its name);
// name, precursor mass and charge kept.
msdata::CSpectrum Of(const msdata::CSpectrum& spectrum);

}  // namespace decoy

#pragma once
// Inner propagation: each cluster of similar spectra takes the
// identification its identified members agree on.

#include <string>

#include "propagation/PropagationState.h"
#include "resultfiles/ResultFile.h"

// Works through the clusters numbered 1 to their count (a number in that
// range that `clusters` lacks is an empty cluster), on the identifications
// in `state.results`:
// - members naming two or more peptides make a conflict, reported and dropped;
// - a single spectrum keeps its identification under its own name;
// - a cluster of two or more that agrees gives its identification to its
//   label (peptide_text::ClusterLabel), and its unidentified members count
//   as identified through the cluster.
// Appends the "_InnerPropagate.txt" report to `report` and fills
// `cluster_results` with the cluster-keyed identifications (the caller
// installs them as the job's results); records cluster sizes and members
// in `state` and counts into `state.summary`.
void PropagateWithinClusters(const ClusterMap& clusters, CPropagationState& state,
                             std::string& report, ResultMap& cluster_results);

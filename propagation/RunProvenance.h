#pragma once
// Which run a spectrum of a propagation job came from, and what the
// clustering's table says of it: identifications cross runs when several
// runs are clustered together, and the tables trace each one back.

#include <map>
#include <string>

// The run of a spectrum named as the importers name them
// ("BSA1.00565.00565.2.dta" is of run "BSA1"); "" for another name.
std::string RunOfSpectrum(const std::string& name);

// A spectrum's source record as the cluster table ("clusters.tsv") states it.
struct CSpectrumOrigin {
  std::string native_id;
  std::string retention_time;  // seconds, as the table writes them
};

// Upper-cased spectrum name -> its origin, from the table beside
// `cluster_file`, joined with the cluster file's names by cluster number
// and charge (a member the two cannot tell apart from another of its
// cluster and charge is left out). Empty without a table or cluster file.
std::map<std::string, CSpectrumOrigin> SpectrumOriginsOfJob(const std::string& cluster_file);

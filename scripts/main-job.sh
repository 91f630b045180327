#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs every back end on a
# real LC-MS/MS run: spectrum clustering, spectral pair search, modification
# detection and identification propagation. Prints a short summary.
#
# Usage: scripts/main-job.sh [run file] [identifications (.spectra or .tagram)] [results folder]
# Defaults: the BSA1 run that ships with OpenMS (package openms-doc), its OMSSA
# identifications in data/BSA/, and results/ in the project folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
run=$(realpath -m "${1:-/usr/share/doc/openms/examples/BSA/BSA1.mzML}")
ids=$(realpath -m "${2:-$root/data/BSA/BSA1_OMSSA.spectra}")
out=$(realpath -m "${3:-$root/results}")

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target cluster Shiftscan Gannet propagate dtaexport >/dev/null
bin=$root/build/bin

[ -f "$run" ] || { echo "No such run: $run" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cd "$out"
base=$(basename "$run"); base=${base%.*}

fail() { echo "main job: $*" >&2; exit 1; }

# Cluster parameter file: type, data type, data path, output folder, result file, method, threshold.
write_cluster_para() {
  cat > "$1" <<PARA
[clustername]
cluster_name=
[file]
data_type=$3
data_directory=$4
out_directory=$5
cluster_result=$6
[preprocessing]
small_peaks_count_filter=10
peak_select_method=2
whole_top_peak_num=50
part_top_peak_num=5
part_top_peak_per_num=100
scale=sqrt
[similarity]
similar_method=$7
fragment_ion_tol=0.50
fragment_ion_tol_type=Da
[cluster]
cluster_type=$2
cluster_method=0
precursor_ion_tol=20.00
precursor_ion_tol_type=ppm
consensus_type=0
consensus_fragment_tol=0.400000
consensus_fragment_tol_type=Da
threshold=$8
[modification]
lower_mass=6
upper_mass=200
cluster_masses_tol=0.010000
PARA
}

echo "== 1. Spectra of $run as DTA files"
"$bin/dtaexport" "$run" "$out/spectra" | tee dtaexport.log

echo "== 2. Spectrum clustering"
write_cluster_para clustering.para 0 0 "$out/spectra" "$out/consensus" "$out/clusters.csv" 1 0.60
"$bin/cluster" clustering.para > clustering.log || fail "clustering failed (see $out/clustering.log)"
[ ! -e error_happened.error ] || fail "clustering left the error marker"

echo "== 3. Spectral pair search on the consensus and single spectra"
# Propagation knows clustered spectra by their cluster's consensus name, so
# the pairs are searched among the clustering's output spectra.
write_cluster_para pairsearch.para 1 0 "$out/consensus" "$out/consensus" "$out/spectral_pairs.csv" 2 0.60
"$bin/cluster" pairsearch.para > pairsearch.log || fail "pair search failed (see $out/pairsearch.log)"
[ -e temp.temp ] || fail "pair search wrote no mass-shift table"
mv temp.temp spectral_pair_shifts.csv

echo "== 4. Modification detection (Shiftscan)"
cat > shiftscan.cfg <<CFG
[data]
filepath=$run
filetype=raw
[modification]
modmasslower=1
modmassupper=200
[pair]
findpair=1
ppthres=0.98
dtaname=$base
pairpath=$out/shiftscan_pairs
[other]
maxndata=5000
CFG
"$bin/Shiftscan" shiftscan.cfg < /dev/null > shiftscan.log
[ ! -e error_happened.error ] || fail "Shiftscan left the error marker (see $out/shiftscan.log)"
[ -e temp.temp ] || fail "Shiftscan wrote no result table"
mv temp.temp shiftscan_modifications.csv

echo "== 5. Identification propagation"
cat > propagation.para <<PARA
PairFile=$out/spectral_pairs.csv
ResultFile=$ids
ClusterFile=$out/clusters.csv
DTAPath=$out/consensus
ModCounT=1
IsModSiteDetermined=1
IsDirectory=0
PARA
"$bin/propagate" propagation.para --sites > propagation.log || fail "propagation failed (see $out/propagation.log)"

# Summary ---------------------------------------------------------------
loaded=$(ls "$out/spectra" | wc -l)
clusters=$(cut -d, -f3 clusters.csv | sort -u | wc -l)
clustered=$(cut -d, -f3 clusters.csv | sort | uniq -c | awk '$1 >= 2 { n += $1 } END { print n + 0 }')
rows=$(wc -l < clusters.csv)
pairs=$(wc -l < spectral_pairs.csv)
echo
echo "Summary of $run"
echo "  spectra loaded:                   $loaded"
echo "  clusters:                         $clusters"
awk -v c="$clustered" -v n="$rows" 'BEGIN { printf "  spectra in clusters of 2 or more:  %d (%.1f%%)\n", c, n ? 100 * c / n : 0 }'
echo "  spectral pairs:                   $pairs"
echo "  ten most frequent mass shifts of the spectral pairs (delta mass, pairs):"
head -n 10 spectral_pair_shifts.csv | awk -F, '{ printf "    %10.4f  %d\n", $1, $2 }'
echo "  Shiftscan modifications (delta mass, pairs, delta time, d-score, type), most pairs first:"
head -n 10 shiftscan_modifications.csv | awk -F, '{ printf "    %s %5d %s %s %s\n", $1, $2, $3, $4, $5 }'
echo "  propagation:"
sed 's/^/    /' propagation.log
echo "Results are in $out (see README.md, 'Output files')."

#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs every back end on a
# real LC-MS/MS run: spectrum clustering, spectral pair search, modification
# detection and identification propagation. Prints a short summary.
#
# Usage: scripts/main-job.sh [--fasta FILE] [run file] [identifications] [results folder]
#
# Identifications: a search engine's result file (.pep.xml, .pepXML, .mzid,
# .mzIdentML, read at 1% FDR) or a Kiln (.spectra) or Tagram (.tagram) list.
# Without one, the run is searched with Comet (Debian package comet-ms) when
# a FASTA file is given (--fasta); otherwise propagation is skipped.
# Defaults: the BSA1 run that ships with OpenMS (package openms-doc),
# searched with Comet against the BSA protein database of the same package,
# and results/ in the project folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bsa=/usr/share/doc/openms/examples/BSA/BSA1.mzML
bsa_fasta=/usr/share/doc/openms/examples/TOPPAS/data/BSA_Identification/18Protein_SoCe_Tr_detergents_trace.fasta
fasta=
if [ "${1:-}" = "--fasta" ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [--fasta FILE] [run file] [identifications] [results folder]" >&2; exit 2; }
  fasta=$(realpath -m "$2")
  shift 2
fi
run=$(realpath -m "${1:-$bsa}")
ids=${2:-}
out=$(realpath -m "${3:-$root/results}")
[ -z "$ids" ] || ids=$(realpath -m "$ids")
# The bundled run is searched against its own database unless told otherwise;
# a run of the user's own never falls back to the BSA identifications.
if [ -z "$ids" ] && [ -z "$fasta" ] && [ "$run" = "$bsa" ]; then fasta=$bsa_fasta; fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target cluster Shiftscan Gannet propagate idlist dtaexport >/dev/null
bin=$root/build/bin

[ -f "$run" ] || { echo "No such run: $run" >&2; exit 1; }
[ -z "$ids" ] || [ -f "$ids" ] || { echo "No such identification file: $ids" >&2; exit 1; }
[ -z "$fasta" ] || [ -f "$fasta" ] || { echo "No such FASTA file: $fasta" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cd "$out"
base=$(basename "$run"); base=${base%.*}

fail() { echo "main job: $*" >&2; exit 1; }

# Cluster parameter file, written by the program's own writer: file, type
# (clusters or pairs), DTA folder, output folder, result file, similarity
# method, threshold.
write_cluster_para() {
  local extra=()
  # The pair search keeps its score log (score.txt), small on one run, and
  # names its method; clustering always scores "Dot Product".
  [ "$2" = pairs ] && extra=(--score-log --similar-method "$6")
  "$bin/cluster" --write-para "$1" --type "$2" "$3" --out-directory "$4" --cluster-result "$5" \
    --threshold "$7" --lower-mass 6 --upper-mass 200 "${extra[@]}" > /dev/null \
    || fail "cannot write the parameter file $1"
}

echo "== 1. Spectra of $run as DTA files"
"$bin/dtaexport" "$run" "$out/spectra" | tee dtaexport.log

echo "== 2. Spectrum clustering"
write_cluster_para clustering.para clusters "$out/spectra" "$out/consensus" "$out/clusters.csv" 1 0.60
"$bin/cluster" clustering.para > clustering.log || fail "clustering failed (see $out/clustering.log)"
[ ! -e error_happened.error ] || fail "clustering left the error marker"

echo "== 3. Spectral pair search on the consensus and single spectra"
# Propagation knows clustered spectra by their cluster's consensus name, so
# the pairs are searched among the clustering's output spectra.
write_cluster_para pairsearch.para pairs "$out/consensus" "$out/consensus" "$out/spectral_pairs.csv" 2 0.60
"$bin/cluster" pairsearch.para > pairsearch.log || fail "pair search failed (see $out/pairsearch.log)"
[ -e temp.temp ] || fail "pair search wrote no mass-shift table"
mv temp.temp spectral_pair_shifts.csv

echo "== 4. Modification detection (Shiftscan)"
# The configuration file is written by Shiftscan itself, the one writer of
# its format; the run then reads it as the desktop program's runs do.
# The precursor window and the thresholds of the configuration file's own
# defaults (the options form offers the dialog's wider ones).
"$bin/Shiftscan" --write-config shiftscan.cfg "$run" --file-type raw --shift-lower 1 --shift-upper 200 \
  --mass-lower 400 --mass-upper 6000 --time-upper 100000 --t-d-score 20 --t-delta-c 0.4 \
  --find-pairs --pp-threshold 0.98 --dta-name "$base" --pair-folder "$out/shiftscan_pairs" --max-data 5000 \
  > /dev/null || fail "Shiftscan could not write its configuration"
"$bin/Shiftscan" shiftscan.cfg < /dev/null > shiftscan.log
[ ! -e error_happened.error ] || fail "Shiftscan left the error marker (see $out/shiftscan.log)"
[ -e temp.temp ] || fail "Shiftscan wrote no result table"
mv temp.temp shiftscan_modifications.csv

echo "== 5. Identifications"
searched=0
if [ -z "$ids" ] && [ -n "$fasta" ]; then
  echo "   searching $run against $fasta with Comet"
  mkdir -p search
  (cd search && comet-ms -p > /dev/null)
  # Comet makes reversed decoys named DECOY_ unless the database has its
  # own (named with one of the prefixes the readers know).
  decoy_search=1
  if grep -q -m1 -E '^>(DECOY_|rev_|XXX_)' "$fasta"; then decoy_search=0; fi
  sed -e "s#^database_name = .*#database_name = $fasta#" \
      -e "s/^decoy_search = .*/decoy_search = $decoy_search/" \
      -e "s/^num_threads = .*/num_threads = $(nproc)/" \
      -e "s/^num_output_lines = .*/num_output_lines = 1/" \
      search/comet.params.new > search/comet.params
  comet-ms -Psearch/comet.params -N"$out/search/$base" "$run" > search/comet.log 2>&1 \
    || fail "the Comet search failed (see $out/search/comet.log)"
  ids=$out/search/$base.pep.xml
  [ -f "$ids" ] || fail "Comet wrote no $ids (see $out/search/comet.log)"
  searched=1
fi

if [ -z "$ids" ]; then
  echo "   no identification file and no FASTA file: propagation skipped"
  echo "   (give a search result file, or --fasta to search the run with Comet)"
  echo "Propagation skipped: no identifications for $run" > propagation.log
else
  echo "== 6. Identification propagation"
  cat > propagation.para <<PARA
PairFile=$out/spectral_pairs.csv
ResultFile=$ids
ClusterFile=$out/clusters.csv
DTAPath=$out/consensus
ModCounT=1
IsModSiteDetermined=1
IsDirectory=0
PARA
  "$bin/propagate" propagation.para --sites --quiet --added propagated.tsv > propagation.log 2>&1 \
    || fail "propagation failed (see $out/propagation.log)"
fi

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
if [ -f propagated.tsv ] && [ "$searched" = 1 ]; then
  # What Comet itself says of the spectra that propagation identified: its
  # best hit at any score, decoys included.
  "$bin/idlist" --all "$ids" > search/best_hits.tsv 2> /dev/null || fail "cannot list the Comet hits"
  identified=$(sed -n 's/^Identified before propagation: //p' propagation.log)
  added=$(wc -l < propagated.tsv)
  echo "  Comet identified $identified spectra at 1% FDR; propagation identified $added more."
  awk -F'\t' '
    function peptide(id) { sub(/ .*/, "", id); gsub(/L/, "I", id); return id }
    function share(a, n) { return sprintf("%d of %d (%.1f%%)", a, n, n ? 100 * a / n : 0) }
    FNR == NR { best[$1] = peptide($2); next }
    { n[$3]++; total++
      if (!($1 in best)) none++
      else if (best[$1] == peptide($2)) { agree[$3]++; all++ } }
    END {
      printf "  Comet'"'"'s own best hit (any score) agrees with propagation for %s;\n", share(all, total)
      printf "    within clusters %s, through spectral pairs %s; %d spectra have no Comet hit.\n",
             share(agree["cluster"], n["cluster"]), share(agree["pairs"], n["pairs"]), none
    }' search/best_hits.tsv propagated.tsv
fi
echo "Results are in $out (see README.md, 'Output files')."

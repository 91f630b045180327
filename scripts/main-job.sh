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
cmake --build "$root/build" -j"$(nproc)" --target cluster Shiftscan Gannet propagate idlist dtaexport \
  tessera-plot tessera-report >/dev/null
bin=$root/build/bin

[ -f "$run" ] || { echo "No such run: $run" >&2; exit 1; }
[ -z "$ids" ] || [ -f "$ids" ] || { echo "No such identification file: $ids" >&2; exit 1; }
[ -z "$fasta" ] || [ -f "$fasta" ] || { echo "No such FASTA file: $fasta" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cd "$out"
base=$(basename "$run"); base=${base%.*}

fail() { echo "main job: $*" >&2; exit 1; }

# Runs Comet (arguments after the first two) with its console in the file
# LOG; a search takes minutes, so what Comet reports of its progress (its
# "Search progress" percentages, never above 100%) is printed every few
# seconds as "   LABEL: 42% searched", and a last line says how long it took.
# Answers Comet's exit status.
comet_search() {
  local log=$1 label=$2
  shift 2
  local start=$SECONDS shown= now=
  comet-ms "$@" > "$log" 2>&1 &
  local pid=$!
  while kill -0 "$pid" 2> /dev/null; do
    sleep 3
    now=$(tr '\b\r' '\n\n' < "$log" | grep -o '[0-9]*%' | tail -n 1 || true)
    if [ -n "$now" ] && [ "$now" != "$shown" ]; then
      echo "   $label: $now searched"
      shown=$now
    fi
  done
  local status=0
  wait "$pid" || status=$?
  if [ "$status" = 0 ]; then
    echo "   $label: done in $((SECONDS - start)) s"
  fi
  return "$status"
}

# Cluster parameter file, written by the program's own writer: file, type
# (clusters or pairs), DTA folder, output folder, result file, similarity
# method, threshold.
write_cluster_para() {
  local extra=()
  # The pair search keeps its score log (score.txt), small on one run,
  # names its method and counts the pairs it finds with decoy spectra (the
  # expected false pairs); clustering always scores "Dot Product".
  [ "$2" = pairs ] && extra=(--score-log --decoy-pairs --similar-method "$6")
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
"$bin/tessera-plot" sizes clusters.csv cluster_sizes.png || fail "cannot draw the cluster sizes"

echo "== 3. Spectral pair search on the consensus and single spectra"
# Propagation knows clustered spectra by their cluster's consensus name, so
# the pairs are searched among the clustering's output spectra.
write_cluster_para pairsearch.para pairs "$out/consensus" "$out/consensus" "$out/spectral_pairs.csv" 2 0.60
"$bin/cluster" pairsearch.para > pairsearch.log || fail "pair search failed (see $out/pairsearch.log)"
[ -e temp.temp ] || fail "pair search wrote no mass-shift table"
mv temp.temp spectral_pair_shifts.csv
"$bin/tessera-plot" histogram spectral_pair_shifts.csv spectral_pair_shifts.png \
  || fail "cannot draw the mass shifts of the spectral pairs"

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
"$bin/tessera-plot" histogram shiftscan_modifications.csv shiftscan_modifications.png \
  || fail "cannot draw Shiftscan's mass shifts"

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
  comet_search search/comet.log "Comet search of $base" -Psearch/comet.params -N"$out/search/$base" "$run" \
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
  # The table scores every propagated identification on the spectrum's own
  # file (the clustered spectra are in spectra/, the consensus ones in the
  # data path) against decoys, for its q-value.
  "$bin/propagate" propagation.para --sites --quiet --table propagated.tsv --score-spectra "$out/spectra" \
    > propagation.log 2>&1 || fail "propagation failed (see $out/propagation.log)"
fi

echo "== 7. Spectral network"
# Nodes are the pair search's spectra (clusters where they stand for one),
# with what the search and propagation said of them; edges the pairs.
network_ids=()
[ ! -f propagated.tsv ] || network_ids=(--ids "$ids" --propagated "$out/propagated.tsv")
"$bin/cluster" --network "$out/network.graphml" --pairs "$out/spectral_pairs.csv" --spectra "$out/consensus" \
  --clusters "$out/clusters.csv" "${network_ids[@]}" --run "$run" > network.log 2>&1 \
  || fail "cannot write the spectral network (see $out/network.log)"

shiftaware=0
if [ -f propagated.tsv ] && [ "$searched" = 1 ]; then
  echo "== 8. Shift-aware Comet search"
  # The shifts that pairs carried, on the residues propagation placed them
  # on, become variable modifications. Comet takes eight besides the
  # oxidation of M (variable_mod02 to 09), so the shifts are searched in
  # batches of eight, the shifts of one identification always together and
  # the most frequent first (search/shift_mods.txt: batch, pairs, residue,
  # mass), each search on the spectra propagation identified (their rank-1
  # hits do not depend on the other spectra of the run).
  # Comet puts at most one variable modification on a residue, so shifts
  # that propagation placed on the same residue are searched as their sum
  # (search/shift_sites.txt: per identification, its residues and masses).
  awk -F'\t' '
    BEGIN {
      # A shift that would leave its residue (cysteine with its static
      # carbamidomethyl group) a negative mass cannot be searched: Comet
      # fails on it.
      split("A 71.037 C 160.031 D 115.027 E 129.043 F 147.068 G 57.021 H 137.059 I 113.084 K 128.095 " \
            "L 113.084 M 131.040 N 114.043 P 97.053 Q 128.059 R 156.101 S 87.032 T 101.048 V 99.068 " \
            "W 186.079 Y 163.063", table, " ")
      for (i = 1; i < 40; i += 2) residue_mass[table[i]] = table[i + 1]
    }
    NR > 1 && $4 == "pairs" {
      n = split($3, item, " "); sites = 0; split("", at); split("", order)
      for (i = 1; i <= n; i++) {
        if (split(item[i], f, ",") != 3 || f[1] < 0) continue
        if (!(f[1] in at)) order[++sites] = f[1]
        at[f[1]] += f[2]
      }
      line = ""
      for (j = 1; j <= sites; j++) {
        r = substr($2, order[j] + 1, 1); mass = at[order[j]]
        if (!(r in residue_mass) || residue_mass[r] + mass <= 0) continue
        line = line (line == "" ? "" : ",") r " " sprintf("%.6f", mass)
      }
      if (line != "") print line
    }' propagated.tsv > search/shift_sites.txt
  awk -F, '
    {
      set = ""
      for (i = 1; i <= NF; i++) {
        split($i, f, " "); key = f[1] " " sprintf("%.2f", f[2])
        count[key]++
        if (index(" " set " ", " " key " ") == 0) set = set (set == "" ? "" : ",") key
      }
      sets[set]++
    }
    END {
      for (k in sets) {
        n = split(k, keys, ","); weight = 0
        for (i = 1; i <= n; i++) weight += count[keys[i]]
        printf "%d\t%s\n", weight * 1000 + sets[k], k
      }
    }' search/shift_sites.txt | sort -t$'\t' -k1,1nr -k2,2 | awk -F'\t' '
    # First fit: a set of shifts goes into the first batch it fits in.
    { n = split($2, keys, ","); placed = 0
      for (b = 0; b < batches && !placed; b++) {
        more = 0
        for (i = 1; i <= n; i++) if (!((b, keys[i]) in member)) more++
        if (size[b] + more <= 8) placed = 1
      }
      if (!placed) b = batches++; else b--
      for (i = 1; i <= n; i++) if (!((b, keys[i]) in member)) { member[b, keys[i]] = 1; size[b]++; order[b, size[b]] = keys[i] }
    }
    END { for (b = 0; b < batches; b++) for (i = 1; i <= size[b]; i++) print b, order[b, i] }' > search/shift_batches.txt
  awk -F, '{ for (i = 1; i <= NF; i++) { split($i, f, " "); key = f[1] " " sprintf("%.2f", f[2]); count[key]++; sum[key] += f[2] } }
    END { for (k in count) printf "%s %d %.6f\n", k, count[k], sum[k] / count[k] }' search/shift_sites.txt > search/shift_means.txt
  # batch, pairs, residue, mass
  awk 'FNR == NR { pairs[$1 " " $2] = $3; mass[$1 " " $2] = $4; next }
       { k = $2 " " $3; print $1, pairs[k], $2, mass[k] }' search/shift_means.txt search/shift_batches.txt \
    > search/shift_mods.txt
  mkdir -p search/shifts
  # The propagated spectra as one MS2 file named like the run, so that
  # Comet names them as the table does.
  : > "search/shifts/$base.ms2"
  awk -F'\t' 'NR > 1 { print $1 }' propagated.tsv | sort -u | while read -r name; do
    file=$(find "$out/spectra" "$out/consensus" -maxdepth 1 -iname "$name" | head -n 1)
    [ -n "$file" ] || continue
    scan=$(echo "$name" | awk -F. '{ print $(NF-2) }')
    awk -v scan="$scan" 'NR == 1 { printf "S\t%d\t%d\t%.6f\nZ\t%d\t%.6f\n", scan, scan, ($1 + ($2 - 1) * 1.00727646688) / $2, $2, $1; next }
      NF >= 2 { print $1 "\t" $2 }' "$file" >> "search/shifts/$base.ms2"
  done
  # At most two of a shift and three modifications in all per peptide: the
  # propagated peptides carry one or two shifts, and every further one
  # multiplies the search's time.
  batches=$(awk 'END { print NR ? $1 + 1 : 0 }' search/shift_mods.txt)
  : > search/shift_hits.tsv
  for ((b = 0; b < batches; b++)); do
    sed -e "s/^max_variable_mods_in_peptide = .*/max_variable_mods_in_peptide = 3/" \
        search/comet.params > "search/shifts/comet_$b.params"
    slot=2
    while read -r batch pairs residue mass; do
      sed -i "s/^variable_mod0$slot = .*/variable_mod0$slot = $mass $residue 0 2 -1 0 0 0.0/" "search/shifts/comet_$b.params"
      slot=$((slot + 1))
    done < <(awk -v b="$b" '$1 == b' search/shift_mods.txt)
    comet_search "search/shifts/comet_$b.log" "shift-aware search $((b + 1)) of $batches" \
      -P"search/shifts/comet_$b.params" -N"$out/search/shifts/${base}_$b" "search/shifts/$base.ms2" \
      || fail "the shift-aware Comet search failed (see $out/search/shifts/comet_$b.log)"
    [ -f "search/shifts/${base}_$b.pep.xml" ] || fail "Comet wrote no search/shifts/${base}_$b.pep.xml"
    # Rank-1 hits at any score, their modifications weighed so that the
    # searches compare by mass.
    "$bin/idlist" --all --masses "search/shifts/${base}_$b.pep.xml" 2> /dev/null >> search/shift_hits.tsv \
      || fail "cannot list the shift-aware Comet hits"
  done
  echo "   $(awk '{ print $3, $4 }' search/shift_mods.txt | sort -u | wc -l) shifts searched as variable modifications in $batches searches of at most 8"
  "$bin/idlist" --masses "$ids" > search/first_ids.tsv 2> /dev/null || fail "cannot list the Comet identifications"
  shiftaware=1
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
sed -n 's/^Pairs above the threshold: [0-9]*; expected false pairs (decoys): \(.*\)\.$/  expected false pairs (decoys):    \1/p' pairsearch.log
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
  added=$(($(wc -l < propagated.tsv) - 1))
  echo "  Comet identified $identified spectra at 1% FDR; propagation identified $added more."
  echo "  The closed search's own best hit measures agreement without the pairs' shifts, which a closed"
  echo "  search cannot see; the shift-aware search below measures whether the shifted peptide is right."
  awk -F'\t' '
    function peptide(id) { sub(/ .*/, "", id); gsub(/L/, "I", id); return id }
    function share(a, n) { return sprintf("%d of %d (%.1f%%)", a, n, n ? 100 * a / n : 0) }
    FNR == NR { best[toupper($1)] = peptide($2); next }
    FNR == 1 { next }
    { name = toupper($1); n[$4]++; total++
      if (!(name in best)) none++
      else if (best[name] == peptide($2)) { agree[$4]++; all++ } }
    END {
      printf "  Closed search: Comet'"'"'s own best hit (any score) agrees with propagation for %s;\n", share(all, total)
      printf "    within clusters %s, through spectral pairs %s; %d spectra have no Comet hit.\n",
             share(agree["cluster"], n["cluster"]), share(agree["pairs"], n["pairs"]), none
    }' search/best_hits.tsv propagated.tsv
fi
if [ "$shiftaware" = 1 ]; then
  # Confirmed: the shift-aware search's rank-1 hit is the propagated
  # sequence (I = L) and weighs, beyond the modifications the first search
  # gave the peptide, the propagated shift within 0.02 Da.
  awk -F'\t' '
    function peptide(s) { gsub(/L/, "I", s); return s }
    function weight(items,   n, i, f, w, item) {
      n = split(items, item, " "); w = 0
      for (i = 1; i <= n; i++) { if (split(item[i], f, ",") != 2 || f[2] ~ /\?/) return "?"; w += f[2] }
      return w
    }
    function base(sequence, items,   n, i, f, text, item) {
      n = split(items, item, " "); text = sequence
      for (i = 1; i <= n; i++) if (split(item[i], f, ",") == 2) text = text " " item[i]
      return text
    }
    function band(q) {
      if (q == "NA") return "no score"
      return q <= 0.01 ? "q <= 1%" : q <= 0.05 ? "1% < q <= 5%" : q <= 0.2 ? "5% < q <= 20%" : "q > 20%"
    }
    function share(a, n) { return sprintf("%d of %d (%.1f%%)", a, n, n ? 100 * a / n : 0) }
    FILENAME ~ /first_ids/ { first[$2] = weight($3); next }
    FILENAME ~ /shift_hits/ { k = toupper($1); m = ++hits[k]; hit[k, m] = $2; hit_weight[k, m] = weight($3); next }
    FNR == 1 { next }
    {
      route = $4; name = toupper($1); n[route]++
      confident = $8 != "NA" && $8 <= 0.01
      if (confident) sure[route]++
      ok = 0
      b = base($2, $3)
      shift = $6 == "" ? 0 : $6
      # Rank 1 of any of the searches (each was told its own eight shifts).
      for (m = 1; m <= hits[name] && !ok; m++) {
        h = hit[name, m]; sub(/ .*/, "", h)
        if (peptide(h) == peptide($2) && (b in first) && first[b] != "?" && hit_weight[name, m] != "?") {
          d = hit_weight[name, m] - first[b] - shift
          ok = d <= 0.02 && d >= -0.02
        }
      }
      if (ok) { confirmed[route]++; if (confident) both[route]++ }
      b2 = band($8); in_band[b2]++; if (ok) ok_band[b2]++
    }
    END {
      print "  Shift-aware search (Comet told the pairs'"'"' shifts): rank-1 hit is the propagated peptide with its shift"
      split("cluster pairs", routes, " ")
      label["cluster"] = "within clusters"; label["pairs"] = "through pairs"
      for (r = 1; r <= 2; r++) {
        k = routes[r]
        printf "    %s: %d propagated, %d confident at 1%% transfer FDR, %s confirmed; of the confident %s\n",
               label[k], n[k], sure[k], share(confirmed[k], n[k]), share(both[k], sure[k])
      }
      printf "    together: %d propagated, %d confident at 1%% transfer FDR, %s confirmed; of the confident %s\n",
             n["cluster"] + n["pairs"], sure["cluster"] + sure["pairs"],
             share(confirmed["cluster"] + confirmed["pairs"], n["cluster"] + n["pairs"]),
             share(both["cluster"] + both["pairs"], sure["cluster"] + sure["pairs"])
      printf "    confirmed by transfer q-value:"
      split("q <= 1%|1% < q <= 5%|5% < q <= 20%|q > 20%|no score", bands, "|")
      for (b = 1; b <= 5; b++) if (in_band[bands[b]]) printf " %s %s;", bands[b], share(ok_band[bands[b]], in_band[bands[b]])
      printf "\n"
    }' search/first_ids.tsv search/shift_hits.tsv propagated.tsv
fi
"$bin/tessera-report" "$out" -o report.html --run "$run" \
  --picture "Mass shifts of the spectral pairs=spectral_pair_shifts.png" \
  --picture "Mass shifts of precursor pairs (Shiftscan)=shiftscan_modifications.png" \
  --picture "Clusters by size=cluster_sizes.png" > /dev/null || fail "cannot write the report"
echo "  report: $out/report.html; spectral network: $out/network.graphml (GraphML, for Cytoscape)"
echo "Results are in $out (see README.md, 'Output files')."

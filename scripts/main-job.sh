#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs the study pipeline
# (workflows/study.smk) on LC-MS/MS runs: per run a Comet search, the
# spectra and Shiftscan; pooled over the runs spectrum clustering, the
# spectral pair search, identification propagation across runs, the
# shift-aware confirmation, the spectral network and the report. Prints the
# per-run and pooled counts at the end.
#
# Usage:
#   scripts/main-job.sh                                  the three BSA runs of openms-doc
#   scripts/main-job.sh [--fasta FILE] [-o FOLDER] RUN...  a study of your runs
#   scripts/main-job.sh --config STUDY.yaml [-o FOLDER]  a study from its config file
#   scripts/main-job.sh [--fasta FILE] [run] [identifications] [results folder]
#                                                        one run, as before
# Runs: mzML, mzXML, MGF or MS2 files. Identifications of one run: a search
# engine's result file (.pep.xml, .pepXML, .mzid, .mzIdentML, read at 1%
# FDR) or a Kiln (.spectra) or Tagram (.tagram) list. Without them each run
# is searched with Comet (Debian package comet-ms) when a FASTA file is
# given; the bundled runs are searched against the BSA database of
# openms-doc; otherwise propagation is skipped.
# Further options: --cores N (default: all), --slurm (run the steps as Slurm
# jobs through the profile workflows/slurm).
# The results folder (default: results/ in the project folder) keeps what
# is done: a second call continues where the first stopped. It holds one
# study: a call with other runs or settings is refused there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bsa_dir=/usr/share/doc/openms/examples/BSA
bsa_fasta=/usr/share/doc/openms/examples/TOPPAS/data/BSA_Identification/18Protein_SoCe_Tr_detergents_trace.fasta
usage="usage: $0 [--fasta FILE] [--config STUDY.yaml] [-o FOLDER] [--cores N] [--slurm] [RUN... | run [identifications] [results folder]]"

fasta= config= out= ids= cores=$(nproc) slurm=0
runs=()
while [ $# -gt 0 ]; do
  case $1 in
    --fasta|--config|-o|--output|--cores)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      case $1 in
        --fasta) fasta=$(realpath -m "$2") ;;
        --config) config=$(realpath -m "$2") ;;
        --cores) cores=$2 ;;
        *) out=$(realpath -m "$2") ;;
      esac
      shift 2 ;;
    --slurm) slurm=1; shift ;;
    -h|--help) echo "$usage"; exit 0 ;;
    -*) echo "$0: unknown option $1" >&2; echo "$usage" >&2; exit 2 ;;
    *)
      # A run, a run's identifications, or (last) the results folder.
      lower=$(echo "$1" | tr '[:upper:]' '[:lower:]')
      case $lower in
        *.mzml|*.mzxml|*.mgf|*.ms2) runs+=("$(realpath -m "$1")") ;;
        *.pep.xml|*.pepxml|*.mzid|*.mzidentml|*.spectra|*.tagram) ids=$(realpath -m "$1") ;;
        "") ;;  # an empty identifications argument of the one-run form
        *)
          [ -z "$out" ] || { echo "$0: two results folders: $out and $1" >&2; exit 2; }
          out=$(realpath -m "$1") ;;
      esac
      shift ;;
  esac
done
out=${out:-$root/results}
[[ $cores =~ ^[1-9][0-9]*$ ]] || { echo "$0: --cores takes a whole number, not $cores" >&2; exit 2; }
if [ -n "$config" ]; then
  [ ${#runs[@]} -eq 0 ] && [ -z "$ids$fasta" ] || { echo "$0: --config names the runs and the database itself" >&2; exit 2; }
  [ -f "$config" ] || { echo "No such study config: $config" >&2; exit 1; }
else
  # Identifications alone are of the first bundled run (the one-run form
  # with an empty run: "" data/BSA/BSA1_OMSSA.spectra).
  if [ ${#runs[@]} -eq 0 ] && [ -n "$ids" ]; then runs=("$bsa_dir/BSA1.mzML"); fi
  [ ${#runs[@]} -gt 0 ] || runs=("$bsa_dir/BSA1.mzML" "$bsa_dir/BSA2.mzML" "$bsa_dir/BSA3.mzML")
  [ -z "$ids" ] || [ ${#runs[@]} -eq 1 ] || { echo "$0: an identification file belongs to one run; give a config file (identifications per run) for several" >&2; exit 2; }
  [ -z "$ids" ] || [ -z "$fasta" ] || { echo "$0: give identifications or --fasta, not both" >&2; exit 2; }
  # The bundled runs are searched against their own database unless told
  # otherwise; a run of the user's own never falls back to it.
  if [ -z "$ids$fasta" ]; then
    bundled=1
    for run in "${runs[@]}"; do [[ $run == "$bsa_dir"/* ]] || bundled=0; done
    [ "$bundled" = 0 ] || fasta=$bsa_fasta
  fi
fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target cluster Shiftscan Gannet propagate idlist dtaexport \
  tessera-plot tessera-report tessera-search tessera-confirm >/dev/null

mkdir -p "$out"
# The config of this call, JSON (which YAML reads); runs and files by their
# absolute names, so the study reads the same from any folder.
json_string() { printf '"%s"' "$(printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g')"; }
new_config=$(mktemp)
trap 'rm -f "$new_config"' EXIT
if [ -n "$config" ]; then
  cp "$config" "$new_config"
else
  {
    printf '{\n  "runs": ['
    sep=
    for run in "${runs[@]}"; do printf '%s\n    %s' "$sep" "$(json_string "$run")"; sep=,; done
    printf '\n  ]'
    [ -z "$fasta" ] || printf ',\n  "fasta": %s' "$(json_string "$fasta")"
    if [ -n "$ids" ]; then
      base=$(basename "${runs[0]}"); base=${base%.*}
      printf ',\n  "identifications": {%s: %s}' "$(json_string "$base")" "$(json_string "$ids")"
    fi
    printf '\n}\n'
  } > "$new_config"
fi
if [ -f "$out/study.yaml" ] && ! cmp -s "$new_config" "$out/study.yaml"; then
  echo "$out holds the results of another study (its config: $out/study.yaml);" >&2
  echo "give another results folder (-o FOLDER), or remove that one first." >&2
  exit 1
fi
cp "$new_config" "$out/study.yaml"

echo "== Study pipeline into $out (config: $out/study.yaml)"
profile=(--cores "$cores")
[ "$slurm" = 0 ] || profile=(--profile "$root/workflows/slurm")
status=0
snakemake "${profile[@]}" --keep-going --rerun-incomplete -s "$root/workflows/study.smk" --directory "$out" \
  --configfile "$out/study.yaml" --config output="$out" bin="$root/build/bin" || status=$?
[ "$status" = 0 ] || echo "main job: some steps failed (named above); what finished is in $out, and a second call continues from there" >&2

"$root/build/bin/tessera-report" "$out" --text || true
[ ! -f "$out/report.html" ] || echo "  report: $out/report.html; spectral network: $out/network.graphml (GraphML, for Cytoscape)"
echo "Results are in $out (see README.md, 'Output files')."
exit "$status"

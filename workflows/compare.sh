#!/usr/bin/env bash
# Runs one job twice, as one `cluster` run and through the workflow with N
# parts, prints wall time and peak memory of both, and compares the files.
#
#   workflows/compare.sh [--build DIR] [--cores C] [--threads T] <spectra> <type 0|1> <parts> <folder>
#
# <spectra>: an MGF file; the job is the benchmarks' one (20 ppm, threshold
# 0.6, consensus spectra; type 1 "Dot Product Mod", 6 to 200 Da).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
cores=2
threads=2
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --cores) cores=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -ne 4 ]; then
  echo "usage: workflows/compare.sh [--build DIR] [--cores C] [--threads T] <spectra> <type 0|1> <parts> <folder>"
  exit 2
fi
data=$(realpath "$1") type=$2 parts=$3 dir=$4
bin="$build/bin"
rm -rf "$dir"
mkdir -p "$dir/one" "$dir/split"
dir=$(realpath "$dir")
para() {
  cat << EOF
[file]
data_type=2
data_directory=$data
out_directory=$1/out
cluster_result=$1/result.csv
[preprocessing]
small_peaks_count_filter=5
[similarity]
similar_method=$([ "$type" = 1 ] && echo 3 || echo 2)
fragment_ion_tol=0.5
[cluster]
cluster_type=$type
score_log=0
precursor_ion_tol=20
precursor_ion_tol_type=ppm
threshold=0.6
consensus_type=0
[modification]
lower_mass=6
upper_mass=200
EOF
}
para "$dir/one" > "$dir/one/job.para"
para "$dir/split" > "$dir/split/job.para"
timed() {  # timed <label> <folder> <command...>
  local label=$1 where=$2
  shift 2
  (cd "$where" && /usr/bin/time -f "%e %M" -o time.txt "$@" > run.log 2>&1) ||
    { echo "$label failed:"; tail -n 20 "$where/run.log"; exit 1; }
  read -r seconds kb < "$where/time.txt"
  echo "$label: ${seconds} s wall, peak $((kb / 1024)) MB (largest process)"
}
timed "one cluster run (--threads $threads)" "$dir/one" "$bin/cluster" --threads "$threads" job.para
timed "workflow, $parts parts on $cores cores" "$dir/split" snakemake --cores "$cores" \
  -s "$root/workflows/cluster.smk" --config para=job.para parts="$parts" workdir=work \
  cluster="$bin/cluster" partition_program="$bin/cluster" threads_per_part=1
grep -h "^Plan:" "$dir/split/work/plan.log"
cmp "$dir/one/result.csv" "$dir/split/result.csv"
if [ -d "$dir/one/out" ] || [ -d "$dir/split/out" ]; then diff -r -q "$dir/one/out" "$dir/split/out"; fi
if [ "$type" = 1 ]; then cmp "$dir/one/temp.temp" "$dir/split/temp.temp"; fi
echo "same files"

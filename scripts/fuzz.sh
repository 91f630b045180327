#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, address and undefined-behaviour
# sanitizers) in build-fuzz/ and runs each for the given number of seconds,
# starting from seed corpora made of the test data. A crash stops the script
# with the harness's report and a non-zero status; the crashing input is kept
# in build-fuzz/fuzz/.
# Usage: scripts/fuzz.sh [seconds per harness, default 15] [harness ...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-15}
shift || true

scripts/install-deps.sh
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_FUZZ=ON -DTESSERA_BUILD_TESTS=OFF \
  -DTESSERA_BUILD_BENCH=OFF -DTESSERA_BUILD_DESKTOP=OFF >/dev/null

# harness -> seed files (globs from the test data of the parser's module)
declare -A seeds=(
  [fuzz_mgf]="spectra/tests/data/*.mgf"
  [fuzz_dtas]="spectra/tests/data/*.dtas"
  [fuzz_pkl]="spectra/tests/data/*.pkl"
  [fuzz_mzml]="spectra/tests/data/*.mzML spectra/tests/data/*.mzXML rawreader/tests/data/*.mzML"
  [fuzz_ms2]="spectra/tests/data/*.ms2"
  [fuzz_mz_stream]=""  # made below by the reading program from the mzML/MS2 seeds
  [fuzz_mz_arrays]=""  # made below: the spectra and scans of the mzML/mzXML seeds
  [fuzz_dta]="spectra/tests/data/dtadir/* clustering/tests/data/cluster_in/*"
  [fuzz_cluster_para]="fuzz/seeds/*.para"
  [fuzz_shiftscan_inputs]="moddetect/tests/data/*"
  [fuzz_propagation_para]="propagation/tests/data/*.para propagation/tests/data/golden/*.para"
  [fuzz_option_tool]="data/aa.ini data/modify.ini"
  [fuzz_tagram]="resultfiles/tests/data/*.tagram propagation/tests/data/golden/*.tagram"
  [fuzz_spectra]="resultfiles/tests/data/*.spectra propagation/tests/data/golden/*.spectra"
  [fuzz_pair]="moddetect/tests/data/*.csv propagation/tests/data/golden/*pair*"
  [fuzz_pepxml]="fuzz/seeds/*.pep.xml"
  [fuzz_mzid]="fuzz/seeds/*.mzid"
  [fuzz_cluster]="clustering/tests/data/cluster_expected/* propagation/tests/data/golden/*cluster*"
)
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=($(printf '%s\n' "${!seeds[@]}" | sort))
fi
cmake --build build-fuzz -j"$(nproc)" --target "${harnesses[@]}"

for h in "${harnesses[@]}"; do
  corpus="build-fuzz/corpus/$h"
  mkdir -p "$corpus"
  for f in ${seeds[$h]:-}; do
    [ -f "$f" ] && [ "$(stat -c %s "$f")" -le 65536 ] && cp -f "$f" "$corpus/"
  done
  if [ "$h" = fuzz_mz_stream ]; then
    for f in spectra/tests/data/*.mzML spectra/tests/data/*.ms2; do
      kind=xml; [ "${f##*.}" = ms2 ] && kind=ms2
      ASAN_OPTIONS=detect_leaks=0 build-fuzz/bin/mzreader $kind "$f" > "$corpus/$(basename "$f").mzstream" 2>/dev/null || true
    done
  fi
  if [ "$h" = fuzz_mz_arrays ]; then
    python3 - "$corpus" spectra/tests/data/*.mzML spectra/tests/data/*.mzXML <<'PY'
import re, sys
corpus = sys.argv[1]
for n, path in enumerate(sys.argv[2:]):
    text = open(path, encoding="latin-1").read()
    xml = path.endswith(".mzXML")
    pattern = r"<scan .*?</peaks>" if xml else r"<spectrum .*?</spectrum>"
    for k, scan in enumerate(re.findall(pattern, text, re.S)):
        with open("%s/%d_%d.seed" % (corpus, n, k), "wb") as out:
            out.write((b"\x01" if xml else b"\x00") + scan.encode("latin-1"))
PY
  fi
  echo "== $h ($seconds s)"
  (cd build-fuzz/fuzz && "$root/build-fuzz/fuzz/$h" -max_total_time="$seconds" -max_len=65536 \
     -rss_limit_mb=1024 -timeout=10 -print_final_stats=1 "$root/$corpus" 2>"$h.log") || {
    tail -60 "build-fuzz/fuzz/$h.log"
    echo "fuzz: $h failed" >&2
    exit 1
  }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "build-fuzz/fuzz/$h.log" | tr '\n' ' '
  echo
done
echo "fuzz: ${#harnesses[@]} harnesses ran clean"

#!/usr/bin/env bash
# Runs, as written, every command block of the READMEs that is marked
#   <!-- tested example: run=PATH -->
# on the line before it: each block in a fresh folder of its own, where
# build/bin and data lead to this build's programs and the project's data,
# with $run set to PATH. A command that fails, or a block that leaves the
# error marker, fails the test and names the README and the line.
#
# Usage: readme_examples.sh SOURCE_DIR BIN_DIR
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 SOURCE_DIR BIN_DIR" >&2; exit 2; }
source_dir=$1
bin_dir=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/readme-examples.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0 blocks=0
while IFS= read -r readme; do
  # Block number, line number and run of every marked block; then its text.
  while IFS=$'\t' read -r line run; do
    blocks=$((blocks + 1))
    folder=$scratch/$blocks
    mkdir -p "$folder/build"
    ln -s "$bin_dir" "$folder/build/bin"
    ln -s "$source_dir/data" "$folder/data"
    # The block: indented lines right after the marker (a blank line may
    # follow it), four spaces of indent dropped.
    awk -v from="$line" 'NR <= from { next }
      !started && /^$/ { next }
      /^    / { started = 1; print substr($0, 5); next }
      { exit }' "$readme" > "$folder/example.sh"
    if [ ! -s "$folder/example.sh" ]; then
      echo "$readme:$line: the marker stands before no indented block" >&2
      failures=$((failures + 1))
      continue
    fi
    if ! (cd "$folder" && run=$run bash -e example.sh > output.txt 2>&1); then
      echo "$readme:$line: the example failed:" >&2
      sed 's/^/    /' "$folder/output.txt" | tail -n 20 >&2
      failures=$((failures + 1))
    elif [ -e "$folder/error_happened.error" ]; then
      echo "$readme:$line: the example left error_happened.error" >&2
      failures=$((failures + 1))
    fi
  done < <(grep -n -o '<!-- tested example: run=[^ ]* -->' "$readme" \
             | sed -E 's/^([0-9]+):<!-- tested example: run=([^ ]*) -->$/\1\t\2/')
done < <(find "$source_dir" -name README.md -not -path "*/build*" -not -path "*/.git/*" | sort)

echo "$blocks example blocks, $failures failed"
[ "$blocks" -gt 0 ] && [ "$failures" -eq 0 ]

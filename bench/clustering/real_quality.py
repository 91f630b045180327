#!/usr/bin/env python3
"""The quality of a clustering of real runs, judged by search-engine
identifications (only identified spectra can be judged).

    real_quality.py IDLIST PEPXML... -- tessera CLUSTERS.tsv
    real_quality.py IDLIST PEPXML... -- maracluster CLUSTERS.tsv

IDLIST is Tessera's idlist program: it reads each pepXML file as every
Tessera program does (1% FDR) and names the identified spectra. They are
matched to the clusterings by run and mzML native id number
("spectrum=2442" or "scan=2442"): Tessera's clusters.tsv carries the native
id, MaRaCluster's cluster file the same number as its scan.

Prints one line: clustered_ratio incorrect_ratio identified_clustered
- clustered ratio: spectra in clusters of two or more, over all spectra;
- incorrect ratio: identified spectra in such clusters whose peptide is not
  their cluster's majority, over the identified spectra in them.
Peptides by sequence, I and L alike.
"""
import collections
import os
import re
import subprocess
import sys


def run_of(path):
    return os.path.basename(path).split(".")[0]


def identifications(idlist, pepxmls):
    """(run, native number) -> peptide of every identified spectrum."""
    found = {}
    for path in pepxmls:
        native_of_scan = {}
        text = open(path).read()
        for m in re.finditer(r'spectrumNativeID="[^"]*?(\d+)"\s+start_scan="(\d+)"', text):
            native_of_scan[int(m.group(2))] = int(m.group(1))
        listed = subprocess.run([idlist, path], capture_output=True, text=True, check=True).stdout
        for line in listed.splitlines():
            fields = line.split("\t")
            if len(fields) < 2:
                continue
            name_parts = fields[0].split(".")
            scan = int(name_parts[-4]) if len(name_parts) >= 4 else -1
            if scan in native_of_scan:
                peptide = fields[1].split()[0].replace("I", "L")
                found[(name_parts[0], native_of_scan[scan])] = peptide
    return found


def tessera(path):
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        at_file, at_native, at_cluster = header.index("file"), header.index("native_id"), header.index("cluster")
        for line in f:
            fields = line.rstrip("\n").split("\t")
            number = re.search(r"(\d+)$", fields[at_native])
            if fields[at_cluster] and number:
                yield (run_of(fields[at_file]), int(number.group(1))), fields[at_cluster]


def maracluster(path):
    cluster = 0
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 2:
                cluster += 1
                continue
            yield (run_of(fields[0]), int(fields[1])), cluster


def figures(ids, assignment):
    members = collections.defaultdict(set)
    seen = set()
    for key, cluster in assignment:
        if key not in seen:
            seen.add(key)
            members[cluster].add(key)
    clustered = identified = incorrect = 0
    for keys in members.values():
        if len(keys) < 2:
            continue
        clustered += len(keys)
        counts = collections.Counter(ids[k] for k in keys if k in ids)
        if counts:
            identified += sum(counts.values())
            incorrect += sum(counts.values()) - counts.most_common(1)[0][1]
    total = len(seen)
    return (clustered / total if total else 0.0, incorrect / identified if identified else 0.0, identified)


def main(argv):
    if "--" not in argv or len(argv) < 6:
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    cut = argv.index("--")
    idlist, pepxmls = argv[1], argv[2:cut]
    kind, path = argv[cut + 1], argv[cut + 2]
    if kind not in ("tessera", "maracluster"):
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    ids = identifications(idlist, pepxmls)
    assignment = tessera(path) if kind == "tessera" else maracluster(path)
    print("%.6f %.6f %d" % figures(ids, assignment))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

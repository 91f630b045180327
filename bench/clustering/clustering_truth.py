#!/usr/bin/env python3
"""The quality of a clustering of simulated spectra, judged against the
simulator's truth table (every spectrum, not only identified ones).

    clustering_truth.py TRUTH.tsv tessera CLUSTER_FILE
    clustering_truth.py TRUTH.tsv mscrush FOLDER_OR_FILE...
    clustering_truth.py TRUTH.tsv maracluster CLUSTERS.tsv
    clustering_truth.py frontier POINTS.tsv

Prints one line: clustered_ratio incorrect_ratio completeness clusters

- clustered ratio: spectra in clusters of two or more, over all spectra;
- incorrect ratio: spectra of a peptide in clusters of two or more whose
  peptide is not their cluster's majority peptide, over the spectra of a
  peptide in such clusters (spectra of no peptide are left out, as
  identifications would leave them out);
- completeness: pairs of spectra of one peptide in one cluster, over all
  pairs of spectra of one peptide;
- clusters: clusters of two or more.
Peptides are told by sequence, I and L alike (oxidised and plain forms of a
sequence are one peptide).

With "frontier", POINTS.tsv holds one line per clustering, "tool<TAB>
clustered_ratio<TAB>incorrect_ratio"; it prints a table of each tool's
clustered ratio at the incorrect ratios of FRONTIER_AT: between the tool's
two settings around that ratio, read off the straight line joining them;
beyond its loosest setting, that setting's ratio marked "+" (the tool was
not run looser); below its strictest, "-".
"""
import collections
import glob
import os
import sys


def read_truth(path):
    by_name, by_scan = {}, {}
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        name_at, scan_at, peptide_at = header.index("name"), header.index("scan"), header.index("peptide")
        for line in f:
            fields = line.rstrip("\n").split("\t")
            peptide = fields[peptide_at].replace("I", "L")
            by_name[fields[name_at].upper()] = peptide
            by_scan[int(fields[scan_at])] = fields[name_at].upper()
    return by_name, by_scan


def tessera_clusters(path):
    """The cluster file: row,name,cluster,mass."""
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split(",")
            if len(fields) >= 3:
                yield fields[1].upper(), fields[2]


def mscrush_clusters(paths, by_scan):
    """msCRUSH's cluster files: a header line, then ID<TAB>TITLES with the
    titles of one cluster separated by '|'."""
    files = []
    for p in paths:
        files += sorted(glob.glob(os.path.join(p, "*"))) if os.path.isdir(p) else glob.glob(p + "*")
    for path in files:
        with open(path) as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) < 2 or fields[0] == "ID":
                    continue
                for title in fields[1].split("|"):
                    if title:
                        yield title.upper(), path + ":" + fields[0]


def maracluster_clusters(path, by_scan):
    """MaRaCluster's clusters file: file<TAB>scan<TAB>... lines, clusters
    separated by empty lines."""
    cluster = 0
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 2:
                cluster += 1
                continue
            yield by_scan[int(fields[1])], str(cluster)


def figures(truth, assignment):
    members = collections.defaultdict(list)
    seen = set()
    for name, cluster in assignment:
        if name in truth and name not in seen:
            seen.add(name)
            members[cluster].append(name)
    total = len(truth)
    clustered = identified = incorrect = clusters = together = 0
    for names in members.values():
        if len(names) < 2:
            continue
        clusters += 1
        clustered += len(names)
        counts = collections.Counter(truth[n] for n in names if truth[n])
        if counts:
            identified += sum(counts.values())
            incorrect += sum(counts.values()) - counts.most_common(1)[0][1]
        together += sum(k * (k - 1) // 2 for k in counts.values())
    per_peptide = collections.Counter(p for p in truth.values() if p)
    all_pairs = sum(k * (k - 1) // 2 for k in per_peptide.values())
    return (clustered / total if total else 0.0, incorrect / identified if identified else 0.0,
            together / all_pairs if all_pairs else 0.0, clusters)


FRONTIER_AT = (0.001, 0.005, 0.01)


def frontier_value(points, x):
    """The clustered ratio of a tool at incorrect ratio x, from its
    (incorrect, clustered) points: the best one at or below x, or the line
    from there towards the next looser point that clusters more."""
    points = sorted(points)
    below = [p for p in points if p[0] <= x]
    if not below:
        return "-"
    best = max(below, key=lambda p: p[1])
    above = [p for p in points if p[0] > x and p[1] > best[1]]
    if not above:
        return "%.4f%s" % (best[1], "+" if best == max(points, key=lambda p: p[1]) and x > points[-1][0] else "")
    nxt = min(above, key=lambda p: p[0])
    value = best[1] + (nxt[1] - best[1]) * (x - best[0]) / (nxt[0] - best[0])
    return "%.4f" % value


def frontier(path):
    tools = collections.OrderedDict()
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) == 3:
                tools.setdefault(fields[0], []).append((float(fields[2]), float(fields[1])))
    print("| tool | " + " | ".join("clustered at %g%% incorrect" % (100 * x) for x in FRONTIER_AT) + " |")
    print("|---|" + "---|" * len(FRONTIER_AT))
    for tool, points in tools.items():
        print("| %s | %s |" % (tool, " | ".join(frontier_value(points, x) for x in FRONTIER_AT)))


def main(argv):
    if len(argv) == 3 and argv[1] == "frontier":
        frontier(argv[2])
        return 0
    if len(argv) < 4 or argv[2] not in ("tessera", "mscrush", "maracluster"):
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    truth, by_scan = read_truth(argv[1])
    kind = argv[2]
    if kind == "tessera":
        assignment = tessera_clusters(argv[3])
    elif kind == "mscrush":
        assignment = mscrush_clusters(argv[3:], by_scan)
    else:
        assignment = maracluster_clusters(argv[3], by_scan)
    print("%.6f %.6f %.6f %d" % figures(truth, assignment))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

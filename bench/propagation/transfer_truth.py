#!/usr/bin/env python3
"""Propagated identifications and spectral pairs of simulated spectra,
judged against the simulator's truth table.

    transfer_truth.py table TRUTH.tsv PROPAGATED.tsv [LEVEL]
    transfer_truth.py pairs TRUTH.tsv PAIRS.csv [THRESHOLD...]

table: per route (cluster, pairs) the identifications propagated, how many
are wrong, how many are confident (q-value at or below LEVEL, default
0.01) and how many of those are wrong. A propagated identification is
right when its sequence is the spectrum's peptide, I and L alike; a
spectrum of no peptide is always wrong.

pairs: per similarity threshold (default 0.4 0.5 0.6 0.7) the pairs at or
above it and the share that join two different peptides (or a spectrum of
no peptide). A pair end that is a cluster label ("<scan>.<z>-...-....dta")
stands for its first member.
"""
import csv
import sys


def read_truth(path):
    by_scan = {}
    by_name = {}
    with open(path) as f:
        for row in csv.DictReader(f, delimiter='\t'):
            peptide = row['peptide'].replace('I', 'L')
            by_scan[int(row['scan'])] = peptide
            by_name[row['name'].upper()] = peptide
    return by_scan, by_name


def judge_table(truth_path, table_path, level):
    _, by_name = read_truth(truth_path)
    counts = {}
    with open(table_path) as f:
        for row in csv.DictReader(f, delimiter='\t'):
            peptide = by_name.get(row['spectrum'].upper(), '')
            wrong = not peptide or peptide != row['sequence'].replace('I', 'L')
            confident = row['q_value'] != 'NA' and float(row['q_value']) <= level
            c = counts.setdefault(row['route'], [0, 0, 0, 0])
            c[0] += 1
            c[1] += wrong
            c[2] += confident
            c[3] += confident and wrong
    for route in ('cluster', 'pairs'):
        n, wrong, confident, confident_wrong = counts.get(route, [0, 0, 0, 0])
        share = 100.0 * confident_wrong / confident if confident else 0.0
        print(f"{route}: {n} propagated, {wrong} wrong; q <= {level:g}: {confident} confident, "
              f"{confident_wrong} wrong ({share:.1f}%)")


def judge_pairs(truth_path, pairs_path, thresholds):
    by_scan, _ = read_truth(truth_path)

    def peptide(end):
        stem = end[:-4]
        scan = stem.split('-')[0].split('.')[0] if '-' in stem else stem.split('.')[1]
        return by_scan[int(scan)]

    pairs = []
    with open(pairs_path) as f:
        for line in f:
            fields = line.strip().split(',')
            if len(fields) >= 6:
                pairs.append((peptide(fields[0]), peptide(fields[2]), float(fields[5])))
    for t in thresholds:
        chosen = [p for p in pairs if p[2] >= t]
        wrong = sum(1 for a, b, _ in chosen if not a or not b or a != b)
        share = 100.0 * wrong / len(chosen) if chosen else 0.0
        print(f"similarity >= {t:.2f}: {len(chosen)} pairs, {share:.1f}% false")


def main(argv):
    if len(argv) < 4 or argv[1] not in ('table', 'pairs'):
        sys.stderr.write(__doc__)
        return 2
    if argv[1] == 'table':
        judge_table(argv[2], argv[3], float(argv[4]) if len(argv) > 4 else 0.01)
    else:
        judge_pairs(argv[2], argv[3], [float(t) for t in argv[4:]] or [0.4, 0.5, 0.6, 0.7])
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Writes the rank-1 target hits of a Comet pepXML file that pass a
target-decoy false discovery rate as a Kiln ".spectra" identification list,
named as Tessera names the spectra of the run (<base>.<scan>.<scan>.<charge>.dta).

usage: pepxml_to_kiln.py <search.pep.xml> <modify.ini> <out.spectra> [fdr, default 0.01]

Decoys are hits whose proteins all begin with DECOY_; q-values come from the
expect score (lower is better, equal scores form one cut, q = decoys /
targets, the running minimum from the worst cut). Modifications are named
after the record of modify.ini within 0.01 Da whose residues hold the
modified residue. Written as a second, independent reading of the same hits
for Tessera's tests.
"""
import os
import sys
import xml.etree.ElementTree as ET

NS = "{http://regis-web.systemsbiology.net/pepXML}"


def read_modify_ini(path):
    records, names = [], []
    for line in open(path):
        line = line.strip()
        if line.startswith("name") and "=" in line:
            names.append(line.split("=", 1)[1])
    for line in open(path):
        key, _, value = line.strip().partition("=")
        if key in names:
            fields = value.split()
            records.append((key, fields[0], float(fields[2])))
    return records


def mod_name(records, residue, mass):
    for name, residues, m in records:
        if abs(m - mass) <= 0.01 and (residue in residues or "[ALL]" in residues):
            return name
    return "Mod%+.4f" % mass


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    pepxml, modify_ini, out = sys.argv[1:4]
    fdr = float(sys.argv[4]) if len(sys.argv) == 5 else 0.01
    records = read_modify_ini(modify_ini)
    hits = []
    for run in ET.parse(pepxml).getroot().iter(NS + "msms_run_summary"):
        base = os.path.basename(run.get("base_name"))
        for query in run.iter(NS + "spectrum_query"):
            hit = next((h for h in query.iter(NS + "search_hit") if h.get("hit_rank") == "1"), None)
            if hit is None:
                continue
            proteins = [hit.get("protein")] + [a.get("protein") for a in hit.iter(NS + "alternative_protein")]
            decoy = all(p.startswith("DECOY_") for p in proteins)
            expect = next(float(s.get("value")) for s in hit.iter(NS + "search_score") if s.get("name") == "expect")
            seq = hit.get("peptide")
            mods = []
            for m in hit.iter(NS + "mod_aminoacid_mass"):
                pos = int(m.get("position"))
                for part in ("static", "variable"):
                    if m.get(part) and float(m.get(part)) != 0.0:
                        mods.append((pos, seq[pos - 1], mod_name(records, seq[pos - 1], float(m.get(part)))))
            mods.sort(key=lambda x: x[0])
            scan, charge = int(query.get("start_scan")), int(query.get("assumed_charge"))
            name = f"{base}.{scan}.{int(query.get('end_scan'))}.{charge}.dta"
            peptide = f"{hit.get('peptide_prev_aa')}.{seq}.{hit.get('peptide_next_aa')}"
            hits.append([expect, decoy, scan, name, charge, peptide, mods, None])

    order = sorted(range(len(hits)), key=lambda i: hits[i][0])
    rates, targets, decoys, k = [0.0] * len(order), 0, 0, 0
    while k < len(order):
        end = k
        while end < len(order) and hits[order[end]][0] == hits[order[k]][0]:
            if hits[order[end]][1]:
                decoys += 1
            else:
                targets += 1
            end += 1
        for j in range(k, end):
            rates[j] = decoys / targets if targets else (1.0 if decoys else 0.0)
        k = end
    running = float("inf")
    for j in reversed(range(len(order))):
        running = min(running, rates[j])
        hits[order[j]][7] = running

    with open(out, "w") as f:
        n = 0
        for expect, decoy, scan, name, charge, peptide, mods, q in hits:
            if decoy or q > fdr:
                continue
            n += 1
            f.write(f"{n},\t{scan}\t{name}\t{charge}\t0\n")
            items = "".join(f"\t{pos} {aa}({mod})" for pos, aa, mod in mods)
            f.write(f"*\t{peptide}{items}\t{expect}\n")


if __name__ == "__main__":
    main()

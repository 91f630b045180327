#!/usr/bin/env python3
"""Turns the OMSSA identifications of an OpenMS idXML file into a Kiln
".spectra" identification file whose spectrum names are the DTA-style names
Tessera gives the spectra of the matching mzML run.

usage: idxml_to_kiln.py <ids.idXML> <raw.data.temp of the run> <run base name> <out.spectra>

The precursor dump (written by Gannet for the run) gives each MS2 scan's
retention time (seconds), charge and m/z; an identification is placed on the
scan whose retention time and m/z agree within 0.05 s and 0.01.
Only the best hit of each identification is kept.
"""
import re
import sys
import xml.etree.ElementTree as ET


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    idxml, dump, base, out = sys.argv[1:]
    scans = []
    with open(dump) as f:
        next(f)
        for line in f:
            fields = line.split()
            if len(fields) == 9 and fields[1] == "MS2":
                scans.append((int(fields[0]), float(fields[2]), int(fields[6]), float(fields[8])))

    rows = []
    for pid in ET.parse(idxml).getroot().iter("PeptideIdentification"):
        rt, mz = float(pid.get("RT")), float(pid.get("MZ"))
        hits = pid.findall("PeptideHit")
        if not hits:
            continue
        hit = hits[0]
        charge = int(hit.get("charge"))
        match = [s for s in scans if abs(s[1] - rt) < 0.05 and abs(s[3] - mz) < 0.01]
        if not match:
            print(f"no scan for RT {rt} m/z {mz}", file=sys.stderr)
            continue
        scan = match[0][0]
        name = f"{base}.{scan}.{scan}.{charge}.dta"
        # "SHC(Carbamidomethyl)IAEVEK" -> residues and 1-based modified positions
        seq, mods = "", []
        for m in re.finditer(r"([A-Z])(\(([^)]*)\))?", hit.get("sequence")):
            seq += m.group(1)
            if m.group(3):
                mods.append((len(seq), m.group(1), m.group(3)))
        before = hit.get("aa_before") or "-"
        after = hit.get("aa_after") or "-"
        rows.append((scan, name, charge, mz, f"{before}.{seq}.{after}", mods, hit.get("score")))

    rows.sort()
    with open(out, "w") as f:
        # No comment lines: in this format a line starting with "#" is an
        # identification.
        for i, (scan, name, charge, mz, peptide, mods, score) in enumerate(rows, 1):
            f.write(f"{i},\t{scan}\t{name}\t{charge}\t{mz:.4f}\n")
            items = "".join(f"\t{pos} {aa}({mod})" for pos, aa, mod in mods)
            f.write(f"*\t{peptide}{items}\t{score}\n")


if __name__ == "__main__":
    main()

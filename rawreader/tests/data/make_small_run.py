#!/usr/bin/env python3
"""Writes small_run.mzML, the Vellum test run, from a real run.

Source: BSA1.mzML of the OpenMS examples (BSD licence), as installed by the
Debian package openms-doc at /usr/share/doc/openms/examples/BSA/BSA1.mzML.
Takes two full scans and three MS2 scans, five peaks each, in the order
MS1, MS2, MS2, MS1, MS2 (so that full scans lie between MS2 scans); removes
the precursor charge of the second MS2 scan and makes the third an ETD scan
of the Orbitrap analyser. Filter strings become the cvParam that MSToolkit
reads (msconvert writes them so).
Also writes small_run_ms1.mzML: the two full scans alone, without an index.
"""
import base64
import re
import struct
import sys

SOURCE = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/doc/openms/examples/BSA/BSA1.mzML"
PEAKS = 5

src = open(SOURCE, encoding="latin-1").read()
spectra = re.findall(r"<spectrum .*?</spectrum>", src, re.S)
levels = [int(re.search(r'name="ms level" value="(\d)"', s).group(1)) for s in spectra]
ms1 = [i for i, lv in enumerate(levels) if lv == 1][:2]
ms2 = [i for i, lv in enumerate(levels) if lv == 2][:3]
chosen = [ms1[0], ms2[0], ms2[1], ms1[1], ms2[2]]


def decode(array_xml):
    data = base64.b64decode(re.search(r"<binary>(.*?)</binary>", array_xml, re.S).group(1))
    fmt = "d" if "64-bit float" in array_xml else "f"
    return list(struct.unpack("<%d%s" % (len(data) // struct.calcsize(fmt), fmt), data))


def trim(spectrum_xml, new_index):
    arrays = re.findall(r"<binaryDataArray .*?</binaryDataArray>", spectrum_xml, re.S)
    out = spectrum_xml
    for array, accession, name in ((arrays[0], "MS:1000514", "m/z array"),
                                   (arrays[1], "MS:1000515", "intensity array")):
        values = decode(array)[:PEAKS]
        text = base64.b64encode(struct.pack("<%dd" % len(values), *values)).decode()
        out = out.replace(array, (
            '<binaryDataArray encodedLength="%d">\n'
            '\t\t\t\t\t\t<cvParam cvRef="MS" accession="%s" name="%s" />\n'
            '\t\t\t\t\t\t<cvParam cvRef="MS" accession="MS:1000523" name="64-bit float" />\n'
            '\t\t\t\t\t\t<cvParam cvRef="MS" accession="MS:1000576" name="no compression" />\n'
            '\t\t\t\t\t\t<binary>%s</binary>\n\t\t\t\t\t</binaryDataArray>') % (
                len(text), accession, name, text))
    out = re.sub(r'defaultArrayLength="\d+"', 'defaultArrayLength="%d"' % PEAKS, out)
    return re.sub(r'index="\d+"', 'index="%d"' % new_index, out, count=1)


body = []
for n, idx in enumerate(chosen):
    s = trim(spectra[idx], n)
    if idx == ms2[1]:
        s = re.sub(r'\s*<cvParam cvRef="MS" accession="MS:1000041" name="charge state" value="\d+" />',
                   "", s)
    if idx == ms2[2]:
        s = s.replace('accession="MS:1000133" name="collision-induced dissociation"',
                      'accession="MS:1000598" name="electron transfer dissociation"')
        s = s.replace("ITMS + c NSI d w Full ms2", "FTMS + c NSI d Full ms2").replace("@cid", "@etd")
    s = re.sub(r'<userParam name="filter string" type="xsd:string" value="([^"]*)"/>',
               r'<cvParam cvRef="MS" accession="MS:1000512" name="filter string" value="\1" />', s)
    body.append(s)

head = src[: src.find("<spectrumList")]
mzml = head[head.find("<mzML"):]
mzml += '<spectrumList count="%d" defaultDataProcessingRef="dp_sp_0">\n\t\t\t' % len(body)
offsets = []
for s in body:
    offsets.append((len(mzml), re.search(r'id="([^"]*)"', s).group(1)))
    mzml += s + "\n\t\t\t"
mzml += "</spectrumList>\n\t</run>\n</mzML>\n"

prefix = ('<?xml version="1.0" encoding="ISO-8859-1"?>\n'
          '<indexedmzML xmlns="http://psi.hupo.org/ms/mzml" '
          'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n')
out = prefix + mzml
index_at = len(out)
out += '<indexList count="1">\n\t<index name="spectrum">\n'
for off, sid in offsets:
    out += '\t\t<offset idRef="%s">%d</offset>\n' % (sid, off + len(prefix))
out += "\t</index>\n</indexList>\n<indexListOffset>%d</indexListOffset>\n" % index_at
out += "<fileChecksum>0</fileChecksum>\n</indexedmzML>\n"
open("small_run.mzML", "w", encoding="latin-1", newline="\n").write(out)

ms1_only = head[head.find("<mzML"):]
ms1_only += '<spectrumList count="2" defaultDataProcessingRef="dp_sp_0">\n\t\t\t'
ms1_only += "\n\t\t\t".join(body[i] for i in (0, 3))
ms1_only += "\n\t\t\t</spectrumList>\n\t</run>\n</mzML>\n"
open("small_run_ms1.mzML", "w", encoding="latin-1", newline="\n").write(
    '<?xml version="1.0" encoding="ISO-8859-1"?>\n' + ms1_only)

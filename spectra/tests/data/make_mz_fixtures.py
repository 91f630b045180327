#!/usr/bin/env python3
"""Writes the small mzML/mzXML fixtures of the spectra tests from a real run.

Source: BSA1.mzML of the OpenMS examples (BSD licence), as installed by the
Debian package openms-doc at /usr/share/doc/openms/examples/BSA/BSA1.mzML.
Takes the last two full scans before the first MS2 scan (the run lists all
its full scans first) and the first five MS2 scans; keeps four peaks per scan;
removes the charge of the second MS2 scan (to exercise spectra without a precursor charge).
Writes bsa_small.mzML (indexed), bsa_small_noindex.mzML and bsa_small.mzXML.
"""
import base64
import re
import struct
import sys
import zlib

SOURCE = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/doc/openms/examples/BSA/BSA1.mzML"
PEAKS = 4

src = open(SOURCE, encoding="latin-1").read()
spectra = re.findall(r"<spectrum .*?</spectrum>", src, re.S)
levels = [int(re.search(r'name="ms level" value="(\d)"', s).group(1)) for s in spectra]
first_ms2 = levels.index(2)
chosen = [first_ms2 - 2, first_ms2 - 1] + [i for i in range(first_ms2, len(levels)) if levels[i] == 2][:5]


def decode(array_xml):
    data = base64.b64decode(re.search(r"<binary>(.*?)</binary>", array_xml, re.S).group(1))
    if "zlib compression" in array_xml:
        data = zlib.decompress(data)
    fmt = "d" if "64-bit float" in array_xml else "f"
    return list(struct.unpack("<%d%s" % (len(data) // struct.calcsize(fmt), fmt), data))


def encode(values):
    return base64.b64encode(struct.pack("<%dd" % len(values), *values)).decode()


def trim(spectrum_xml, new_index):
    arrays = re.findall(r"<binaryDataArray .*?</binaryDataArray>", spectrum_xml, re.S)
    mz = decode(arrays[0])[:PEAKS]
    inten = decode(arrays[1])[:PEAKS]
    out = spectrum_xml
    for array, values, name in ((arrays[0], mz, "m/z array"), (arrays[1], inten, "intensity array")):
        text = encode(values)
        new_array = ('<binaryDataArray encodedLength="%d">\n'
                     '\t\t\t\t\t\t<cvParam cvRef="MS" accession="%s" name="%s" />\n'
                     '\t\t\t\t\t\t<cvParam cvRef="MS" accession="MS:1000523" name="64-bit float" />\n'
                     '\t\t\t\t\t\t<cvParam cvRef="MS" accession="MS:1000576" name="no compression" />\n'
                     '\t\t\t\t\t\t<binary>%s</binary>\n\t\t\t\t\t</binaryDataArray>') % (
            len(text), "MS:1000514" if name == "m/z array" else "MS:1000515", name, text)
        out = out.replace(array, new_array)
    out = re.sub(r'defaultArrayLength="\d+"', 'defaultArrayLength="%d"' % len(mz), out)
    out = re.sub(r'index="\d+"', 'index="%d"' % new_index, out, count=1)
    return out, mz, inten


head = src[: src.find("<spectrumList")]
body_spectra, scans = [], []
for n, idx in enumerate(chosen):
    s, mz, inten = trim(spectra[idx], n)
    if idx == chosen[3]:
        s = re.sub(r'\s*<cvParam cvRef="MS" accession="MS:1000041" name="charge state" value="\d+" />', "", s)
    body_spectra.append(s)
    scans.append((s, mz, inten))

mzml_body = head[head.find("<mzML"):]
mzml_body += '<spectrumList count="%d" defaultDataProcessingRef="dp_sp_0">\n\t\t\t' % len(chosen)
offsets_rel = []
for s in body_spectra:
    offsets_rel.append((len(mzml_body), re.search(r'id="([^"]*)"', s).group(1)))
    mzml_body += s + "\n\t\t\t"
mzml_body += "</spectrumList>\n\t</run>\n</mzML>\n"

decl = '<?xml version="1.0" encoding="ISO-8859-1"?>\n'
open("bsa_small_noindex.mzML", "w", encoding="latin-1", newline="\n").write(decl + mzml_body)

wrap = ('<indexedmzML xmlns="http://psi.hupo.org/ms/mzml" '
        'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n')
prefix = decl + wrap
indexed = prefix + mzml_body
index_at = len(indexed)
indexed += '<indexList count="1">\n\t<index name="spectrum">\n'
for off, sid in offsets_rel:
    indexed += '\t\t<offset idRef="%s">%d</offset>\n' % (sid, off + len(prefix))
indexed += "\t</index>\n</indexList>\n<indexListOffset>%d</indexListOffset>\n" % index_at
indexed += "<fileChecksum>0</fileChecksum>\n</indexedmzML>\n"
open("bsa_small.mzML", "w", encoding="latin-1", newline="\n").write(indexed)

# mzXML: the same scans, numbered 1.., peaks as 32-bit network-order pairs.
x = decl + ('<mzXML xmlns="http://sashimi.sourceforge.net/schema_revision/mzXML_3.2">\n'
            ' <msRun scanCount="%d">\n'
            '  <msInstrument>\n'
            '   <msManufacturer category="msManufacturer" value="Thermo Scientific"/>\n'
            '   <msModel category="msModel" value="LTQ Orbitrap XL"/>\n'
            '   <msIonisation category="msIonisation" value="nanoelectrospray"/>\n'
            '   <msMassAnalyzer category="msMassAnalyzer" value="orbitrap"/>\n'
            '   <msDetector category="msDetector" value="unknown"/>\n'
            '  </msInstrument>\n') % len(scans)
x_offsets = []
last_ms1 = 0
for num, (s, mz, inten) in enumerate(scans, start=1):
    level = int(re.search(r'name="ms level" value="(\d)"', s).group(1))
    rt = float(re.search(r'name="scan start time" value="([^"]+)"', s).group(1))
    flt = re.search(r'name="filter string" type="xsd:string" value="([^"]+)"', s).group(1)
    peaks = base64.b64encode(b"".join(struct.pack(">ff", a, b) for a, b in zip(mz, inten))).decode()
    x_offsets.append((len(x) + 2, num))
    x += ('  <scan num="%d" msLevel="%d" peaksCount="%d" polarity="+" retentionTime="PT%sS" '
          'centroided="1" filterLine="%s">\n') % (num, level, len(mz), repr(rt), flt)
    if level == 2:
        pmz = re.search(r'name="selected ion m/z" value="([^"]+)"', s).group(1)
        z = re.search(r'name="charge state" value="(\d+)"', s)
        charge = ' precursorCharge="%s"' % z.group(1) if z else ""
        x += ('   <precursorMz precursorScanNum="%d" precursorIntensity="0"%s '
              'activationMethod="CID">%s</precursorMz>\n') % (last_ms1, charge, pmz)
    else:
        last_ms1 = num
    x += ('   <peaks compressionType="none" compressedLen="0" precision="32" byteOrder="network" '
          'contentType="m/z-int">%s</peaks>\n  </scan>\n') % peaks
x += " </msRun>\n"
x_index = len(x) + 1
x += ' <index name="scan">\n'
for off, num in x_offsets:
    x += '  <offset id="%d">%d</offset>\n' % (num, off)
x += " </index>\n <indexOffset>%d</indexOffset>\n <sha1>0</sha1>\n</mzXML>\n" % x_index
open("bsa_small.mzXML", "w", encoding="latin-1", newline="\n").write(x)

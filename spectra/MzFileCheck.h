#pragma once
// What the mzML importer checks before MSToolkit sees a file: the kind of
// file by its content, and whether its offset index is one MSToolkit reads
// right; and, for a file without such an index, an indexed copy.
//
// Internal to the spectra library.

#include <cstdio>
#include <string>

#include "spectra/MzReaderProcess.h"

namespace spectra {

// The kind of a file from its first bytes (a byte-order mark and leading
// blanks allowed): XML with an mzML or mzXML root, or MS2 text.
MzFileKind KindFromContent(const std::string& head);

// Reads `length` bytes at `offset` (fewer at the end of the file).
std::string ReadFilePiece(std::FILE* f, long long offset, std::size_t length);

// True when the file ends with an offset that points at its index and every
// entry of the index points at a scan: the only layout MSToolkit reads right.
// (Wrong offsets make it drop or misread scans without a word.)
bool HasUsableIndex(const std::string& path, MzFileKind kind);

// Writes `content` (a whole mzML or mzXML file) with a fresh offset index to
// a temporary file named with the right extension; returns its path, or ""
// with `error` set.
std::string WriteIndexedCopy(const std::string& content, MzFileKind kind, std::string& error);

}  // namespace spectra

// Vellum: one run (mzML or mzXML) to its ".qdx" peak list.

#include <cstdio>

#include "rawreader/MzRawfile.h"
#include "rawreader/Vellum.h"

int main(int argc, char** argv) {
  CMzRawfile raw;
  return vellum::Main(argc, argv, raw, stdout, stderr);
}

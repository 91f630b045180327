// The checks mzreader makes on a scan's peak arrays before MSToolkit decodes
// them: sound arrays in every coding pass (compressed ones included),
// damaged ones are named.

#include <gtest/gtest.h>

#include <string>

#include "spectra/mzreader/ArrayCheck.h"

namespace {

struct Scan {
  const char* what;
  bool mzml;
  std::string text;
  const char* said;  // "" for a sound scan, else part of the answer
};

std::string MzmlArray(const char* accession, const char* precision, const char* compression,
                      const std::string& binary, const std::string& attributes = "") {
  return "<binaryDataArray encodedLength=\"0\"" + attributes + ">\n<cvParam cvRef=\"MS\" accession=\"" +
         accession + "\" name=\"x\"/>\n" + precision + compression + "<binary>" + binary +
         "</binary>\n</binaryDataArray>\n";
}

std::string MzmlSpectrum(int peaks, const std::string& arrays) {
  return "<spectrum id=\"scan=7\" index=\"0\" defaultArrayLength=\"" + std::to_string(peaks) +
         "\">\n<binaryDataArrayList count=\"2\">\n" + arrays + "</binaryDataArrayList>\n</spectrum>";
}

const std::string k64 = "<cvParam cvRef=\"MS\" accession=\"MS:1000523\" name=\"64-bit float\"/>\n";
const std::string k32 = "<cvParam cvRef=\"MS\" accession=\"MS:1000521\" name=\"32-bit float\"/>\n";
const std::string kPlain = "<cvParam cvRef=\"MS\" accession=\"MS:1000576\" name=\"no compression\"/>\n";
const std::string kZlib = "<cvParam cvRef=\"MS\" accession=\"MS:1000574\" name=\"zlib compression\"/>\n";
const std::string kNumpress = "<cvParam cvRef=\"MS\" accession=\"MS:1002312\" name=\"MS-Numpress linear\"/>\n";
// Two 64-bit values, three 32-bit values compressed, one 64-bit value.
const std::string kMz2 = "AAAAAAAgWUAAAAAAAAhpQA==", kIntensity2 = "AAAAAAAAJEAAAAAAAAA0QA==";
const std::string kMz3z = "eJxjYDjpxODg4czAMM0ZABBmArA=", kIntensity3z = "eJxjYGiwZ2BgcAAiBwAJQwGA";
const std::string kMz1 = "AAAAAAAgWUA=";

std::string MzxmlScan(int peaks, const std::string& peaks_attributes, const std::string& binary) {
  return "<scan num=\"7\" msLevel=\"2\" peaksCount=\"" + std::to_string(peaks) + "\">\n<precursorMz>500</precursorMz>\n<peaks " +
         peaks_attributes + ">" + binary + "</peaks>";
}

class ArrayCheck : public testing::TestWithParam<Scan> {};

TEST_P(ArrayCheck, SoundArraysPassAndDamagedOnesAreNamed) {
  const Scan& s = GetParam();
  const std::string said = s.mzml ? mzreader::CheckMzmlSpectrum(s.text) : mzreader::CheckMzxmlScan(s.text);
  if (std::string(s.said).empty()) {
    EXPECT_EQ(said, "") << s.what;
  } else {
    EXPECT_NE(said.find(s.said), std::string::npos) << s.what << ": " << said;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codings, ArrayCheck,
    testing::Values(
        Scan{"plain 64-bit", true,
             MzmlSpectrum(2, MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), kMz2) +
                                 MzmlArray("MS:1000515", k64.c_str(), kPlain.c_str(), kIntensity2)),
             ""},
        Scan{"zlib 32-bit", true,
             MzmlSpectrum(3, MzmlArray("MS:1000514", k32.c_str(), kZlib.c_str(), kMz3z) +
                                 MzmlArray("MS:1000515", k32.c_str(), kZlib.c_str(), kIntensity3z)),
             ""},
        Scan{"blanks inside the base64 text", true,
             MzmlSpectrum(2, MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), "AAAAAAAgWUAA\n  AAAAAAhpQA==") +
                                 MzmlArray("MS:1000515", k64.c_str(), kPlain.c_str(), kIntensity2)),
             ""},
        Scan{"no peaks", true,
             "<spectrum id=\"s\" defaultArrayLength=\"0\">\n" +
                 MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), "") + "</spectrum>",
             ""},
        Scan{"coding in a referenced group", true,
             MzmlSpectrum(4, MzmlArray("MS:1000514", "", "", kMz2) + MzmlArray("MS:1000515", "", "", kIntensity2)), ""},
        Scan{"numpress", true,
             MzmlSpectrum(4, MzmlArray("MS:1000514", k64.c_str(), kNumpress.c_str(), kMz2) +
                                 MzmlArray("MS:1000515", k64.c_str(), kPlain.c_str(), kIntensity2, " arrayLength=\"2\"")),
             ""},
        Scan{"not base64", true,
             MzmlSpectrum(2, MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), "!!not base64!!") +
                                 MzmlArray("MS:1000515", k64.c_str(), kPlain.c_str(), kIntensity2)),
             "the m/z array is not base64"},
        Scan{"m/z array shorter", true,
             MzmlSpectrum(2, MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), kMz1) +
                                 MzmlArray("MS:1000515", k64.c_str(), kPlain.c_str(), kIntensity2)),
             "the m/z array holds 1 value where the spectrum has 2 peaks"},
        Scan{"arrays of their own lengths that differ", true,
             MzmlSpectrum(9, MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), kMz1, " arrayLength=\"1\"") +
                                 MzmlArray("MS:1000515", k64.c_str(), kPlain.c_str(), kIntensity2, " arrayLength=\"2\"")),
             "the m/z array holds 1 value, the intensity array 2"},
        Scan{"a value cut in half", true,
             MzmlSpectrum(2, MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), "AAAAAAAAAAAAAAAA")),
             "ends in the middle of a value"},
        Scan{"not zlib data", true,
             MzmlSpectrum(2, MzmlArray("MS:1000514", k64.c_str(), kZlib.c_str(), kMz2)), "not zlib-compressed data"},
        Scan{"padding inside", true, MzmlSpectrum(2, MzmlArray("MS:1000514", k64.c_str(), kPlain.c_str(), "AA==AAAA")),
             "not base64"},
        Scan{"array cut off", true, "<spectrum defaultArrayLength=\"2\"><binaryDataArray><binary>AAAA", "cut off"},
        Scan{"mzXML pairs", false, MzxmlScan(2, "precision=\"32\" compressionType=\"none\"", "QskAAEEgAABDSEAAQaAAAA=="), ""},
        Scan{"mzXML zlib pairs", false,
             MzxmlScan(2, "precision=\"32\" compressionType=\"zlib\"", "eJxzOsnA4KjAwODs4cDguICBAQAc1wMZ"), ""},
        Scan{"mzXML short", false, MzxmlScan(3, "precision=\"32\"", "QskAAEEgAABDSEAAQaAAAA=="),
             "the peak array holds 4 values where the scan has 3 peaks (6 values)"},
        Scan{"mzXML not base64", false, MzxmlScan(2, "precision=\"32\"", "Q5YLck!!"), "not base64"},
        Scan{"mzXML without peaks", false, "<scan num=\"7\" peaksCount=\"0\">\n<peaks precision=\"32\"/>", ""}),
    [](const testing::TestParamInfo<Scan>& info) { return "Case" + std::to_string(info.index); });

}  // namespace

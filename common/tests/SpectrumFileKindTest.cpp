// Runs told from settings files by name or by their first bytes.

#include <gtest/gtest.h>

#include "common/SpectrumFileKind.h"
#include "tests/support/ScratchDir.h"

namespace {

using SpectrumFileKind = ScratchDirTest;

TEST_F(SpectrumFileKind, RunsByNameOrContentSettingsNot) {
  const std::pair<const char*, const char*> runs[] = {
      {"a.mzML", ""},  // named as a run even before it has content
      {"b.MGF", "x=1\n"},
      {"c.txt", "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<indexedmzML xmlns=\"x\">"},
      {"d", "<mzXML>"},
      {"e.cfg", "\n  BEGIN IONS\nTITLE=a\n"},
      {"f.cfg", "H\tCreationDate\t2024\n"},
  };
  for (const auto& [name, content] : runs) EXPECT_TRUE(spectrumfile::IsSpectrumFile(Write(name, content))) << name;

  const std::pair<const char*, const char*> settings[] = {
      {"s.cfg", "[Shiftscan]\nfiletype=raw\n"},
      {"c.para", "[cluster]\ndata_directory=/x/BSA1.mzML\n"},
      {"x.xml", "<?xml version=\"1.0\"?><unimod>mzML</unimod>"},
      {"empty", ""},
  };
  for (const auto& [name, content] : settings) EXPECT_FALSE(spectrumfile::IsSpectrumFile(Write(name, content))) << name;
  EXPECT_FALSE(spectrumfile::IsSpectrumFile(File("missing.mzML")));
  EXPECT_FALSE(spectrumfile::IsSpectrumFile(dir_.string()));
}

}  // namespace

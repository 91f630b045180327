#include <gtest/gtest.h>

#include "tests/support/ScratchDir.h"

#include <filesystem>
#include <string>
#include <unistd.h>

#include "common/OptionTool.h"
#include "scoring/Modification.h"
#include "scoring/ResidueTable.h"

namespace fs = std::filesystem;

namespace {

using TableFiles = ScratchDirTest;

}  // namespace

TEST(ResidueTable, BuiltInMassesAreTheSinglePrecisionValues) {
  CResidueTable table;
  const CResidue& c = table.Get('C');
  EXPECT_EQ(c.code, "Cys");
  EXPECT_EQ(c.name, "Cysteine");
  EXPECT_EQ(c.mono_mass, 103.00919342041016);
  EXPECT_EQ(c.avg_mass, 103.13880157470703);
  EXPECT_EQ(c.mono_int, 10300919);
  EXPECT_EQ(c.avg_int, 10313880);
  EXPECT_EQ(table.Get('r').mono_mass, 156.10110473632812);
  EXPECT_EQ(table.Get('R').avg_int, 15618750);
  EXPECT_EQ(table.Get('J').name, "Null");
  EXPECT_EQ(table.Get('U').mono_mass, 0.0);
  EXPECT_EQ(table.Get('X').mono_mass, table.Get('L').mono_mass);
  // Anything that is not a letter is massless.
  EXPECT_EQ(table.Get('1').mono_mass, 0.0);
  EXPECT_EQ(table.Get('\xff').mono_int, 0);
}

TEST_F(TableFiles, AaIniEntriesReplaceResiduesByTheirKeysFirstLetter) {
  const std::string p = Write("aa.ini",
                              "[aa]\r\n"
                              "total=4\r\n"
                              "name1=Cmod\r\n"
                              "name2=Null\r\n"
                              "name3=Wnull\r\n"
                              "name4=Kx\r\n"
                              "Cmod=Cmc Carbamidomethyl 160.030654 160.1901 7\r\n"
                              "Wnull=Null\r\n"
                              "Kx=Lyx Broken abc\r\n");
  CResidueTable table;
  table.LoadOverrides(p);
  const CResidue& c = table.Get('C');
  EXPECT_EQ(c.code, "Cmc");
  EXPECT_EQ(c.name, "Carbamidomethyl");
  EXPECT_EQ(c.mono_mass, 160.030654);
  EXPECT_EQ(c.avg_mass, 160.1901);
  EXPECT_EQ(c.extra, 7.0);
  EXPECT_EQ(c.mono_int, 16003065);
  EXPECT_EQ(table.Get('W').name, "Tryptophan");
  // Malformed numbers read as 0.
  EXPECT_EQ(table.Get('K').name, "Broken");
  EXPECT_EQ(table.Get('K').mono_mass, 0.0);
  EXPECT_EQ(table.Get('A').mono_mass, 71.037109375);

  // No "total": nothing changes. No file: the option reader's error.
  CResidueTable untouched;
  untouched.LoadOverrides(Write("empty.ini", "[aa]\nname1=Cmod\nCmod=Cmc X 1 1 0\n"));
  EXPECT_EQ(untouched.Get('C').name, "Cysteine");
  EXPECT_THROW(CResidueTable::FromDirectory((dir_ / "nowhere").string()), COptionToolException);
  EXPECT_EQ(CResidueTable::FromDirectory(dir_.string()).Get('C').code, "Cmc");
}

TEST_F(TableFiles, ModifyIniKeepsFileOrderSkipsNullAndExpandsAll) {
  const std::string p = Write("modify.ini",
                              "[modify]\n"
                              "total=5\n"
                              "name1=Phospho\n"
                              "name2=Null\n"
                              "name3=Acetyl\n"
                              "name4=Gone\n"
                              "name5=Short\n"
                              "Phospho=STY NONE 79.966331 79.9799 1 97.976896 97.9952\n"
                              "Acetyl=[all] PRO_N 42.010565 42.0367 0\n"
                              "Gone=Null\n"
                              "Short=K weird 1.5 2.5 2 10.0\n");
  const std::vector<CModification> mods = LoadModifications(p);
  ASSERT_EQ(mods.size(), 3u);
  EXPECT_EQ(mods[0].name, "Phospho");
  EXPECT_EQ(mods[0].residues, "STY");
  EXPECT_EQ(mods[0].terminal, MOD_TERMINAL_NONE);
  EXPECT_EQ(mods[0].mass, 79.966331);
  EXPECT_EQ(mods[0].second_mass, 79.9799);
  ASSERT_EQ(mods[0].loss_masses.size(), 1u);
  EXPECT_EQ(mods[0].loss_masses[0], 97.976896);
  EXPECT_EQ(mods[0].second_loss_masses[0], 97.9952);

  EXPECT_EQ(mods[1].name, "Acetyl");
  EXPECT_EQ(mods[1].residues, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(mods[1].terminal, MOD_TERMINAL_PRO_N);
  EXPECT_TRUE(mods[1].loss_masses.empty());

  // Unknown terminal word gives 0; a short loss list reads its gaps as 0.
  EXPECT_EQ(mods[2].terminal, MOD_TERMINAL_NONE);
  ASSERT_EQ(mods[2].loss_masses.size(), 2u);
  EXPECT_EQ(mods[2].loss_masses[0], 10.0);
  EXPECT_EQ(mods[2].second_loss_masses[0], 0.0);
  EXPECT_EQ(mods[2].loss_masses[1], 0.0);

  EXPECT_EQ(TerminalTypeFromWord("pep_c"), MOD_TERMINAL_PEP_C);
  EXPECT_EQ(TerminalTypeWord(MOD_TERMINAL_PRO_C), "PRO_C");
  EXPECT_THROW(LoadModificationsFromDirectory((dir_ / "nowhere").string()), COptionToolException);
}

TEST_F(TableFiles, CorruptCountsAndGarbageDoNotRunAway) {
  // A count of two billion must not mean two billion lookups.
  const std::string p = Write("modify.ini",
                              "[modify]\ntotal=2000000000\nname1=M1\n"
                              "M1=M NONE 1 1 2000000000 5 6\n");
  const std::vector<CModification> mods = LoadModifications(p);
  ASSERT_EQ(mods.size(), 1u);
  EXPECT_LE(mods[0].loss_masses.size(), 64u);
  EXPECT_EQ(mods[0].loss_masses[0], 5.0);

  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  EXPECT_TRUE(LoadModifications(Write("garbage.ini", garbage)).empty());
  CResidueTable table;
  table.LoadOverrides(Write("garbage_aa.ini", "[aa]\ntotal=3\nname1=\n" + garbage));
  EXPECT_EQ(table.Get('C').name, "Cysteine");
}

TEST_F(TableFiles, EntryNumbersBeyondTheLineCountAreStillFound) {
  // Four lines, but the one entry is number 40 of 40: every number up to
  // "total" is a valid key, however few lines the file has.
  CResidueTable table;
  table.LoadOverrides(Write("aa.ini", "[aa]\ntotal=40\nNAME40=Cmod\nCmod=Cmc X 160.5 160.6 0\n"));
  EXPECT_EQ(table.Get('C').mono_mass, 160.5);

  const std::vector<CModification> mods = LoadModifications(
      Write("modify.ini",
            "[modify]\ntotal=12\nname12=Late\nname3=Early\nname013=Padded\nname99=Beyond\n"
            "Late=K NONE 2 2 0\nEarly=M NONE 1 1 0\nPadded=K NONE 3 3 0\nBeyond=K NONE 4 4 0\n"));
  ASSERT_EQ(mods.size(), 2u);
  // Lookups run by number, not by line order; numbers above "total" are out.
  EXPECT_EQ(mods[0].name, "Early");
  EXPECT_EQ(mods[1].name, "Late");
}

TEST(BundledData, ModifyIniListsTheCommonModifications) {
  const std::vector<CModification> mods =
      LoadModificationsFromDirectory(std::string(TESSERA_SOURCE_DIR) + "/data");
  auto find = [&mods](const std::string& name) -> const CModification* {
    for (const CModification& m : mods)
      if (m.name == name) return &m;
    return nullptr;
  };
  for (const char* name : {"Oxidation", "Phospho", "Acetyl", "Carbamidomethyl", "Deamidated",
                           "Methyl", "Dimethyl", "Trimethyl", "Carbamyl", "Gln->pyro-Glu",
                           "Glu->pyro-Glu"}) {
    EXPECT_NE(find(name), nullptr) << name;
  }
  ASSERT_NE(find("Phospho"), nullptr);
  EXPECT_EQ(find("Phospho")->mass, 79.966331);
  ASSERT_EQ(find("Phospho")->loss_masses.size(), 1u);
  EXPECT_EQ(find("Phospho")->loss_masses[0], 97.976896);
  ASSERT_NE(find("Gln->pyro-Glu"), nullptr);
  EXPECT_EQ(find("Gln->pyro-Glu")->residues, "Q");
  EXPECT_EQ(find("Gln->pyro-Glu")->terminal, MOD_TERMINAL_PEP_N);
  EXPECT_EQ(find("Gln->pyro-Glu")->mass, -17.026549);

  // The bundled residue file keeps the built-in table.
  CResidueTable table = CResidueTable::FromDirectory(std::string(TESSERA_SOURCE_DIR) + "/data");
  EXPECT_EQ(table.Get('C').mono_mass, 103.00919342041016);
}

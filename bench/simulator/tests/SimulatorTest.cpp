#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <cmath>
#include <memory>
#include <set>

#include "bench/simulator/Calibration.h"
#include "bench/simulator/SimulatorOptions.h"
#include "bench/simulator/SpectrumSimulator.h"
#include "common/TextUtil.h"
#include "resultfiles/ResultFile.h"
#include "spectra/MS2Input.h"
#include "tests/support/ScratchDir.h"

namespace {

using simulator::CDigestRules;
using simulator::CPeptide;

// E. coli thrB, as the openms-doc FASTA has it, between two decoys and with
// one line in lower case.
const char* const kFasta =
    ">rev_VIMSS14148 decoy\n"
    "NELVRAGATDLRCIHVFGEQNQLYNKGLWDAVRQATEPKDCLAFLTPGSGSIGSAVAIEAVAQRAQRFGPLLRER\n"
    ">VIMSS14148 thrB homoserine kinase (NCBI) [Escherichia coli K12]\n"
    "MVKVYAPASSANMSVGFDVLGAAVTPVDGALLGDVVTVEAAETFSLNNLGRFADKLPSEP\n"
    "RENIVYQCWERFCQELGKQIPVAMTLEKNMPIGSGLGSSACSVVAALMAMNEHCGKPLND\n"
    "trllalmgelegrisgsihydnvapcflggmqlmieendiisqqvpgfdewlwvlaypgi\n"
    "KVSTAEARAILPAQYRRQDCIAHGRHLAGFIHACYSRQPELAAKLMKDVIAEPYRERLLP\n"
    "GFRQARQAVAEIGAVASGISGSGPTLFALCDKPETAQRVADWLGKNYLQNQEGFVHICRL\n"
    "DTAGARVLEN\n"
    ">Decoy_thrB shuffled\n"
    "MKKKKKKKKKKKKKRRRRRRRRRR\n";

std::vector<std::string> Sequences(const std::vector<CPeptide>& peptides) {
  std::vector<std::string> sequences;
  for (const CPeptide& p : peptides) sequences.push_back(p.sequence);
  return sequences;
}

TEST(SimulatorDigestTest, TrypsinRules) {
  // K before P is no site; "CC" is too short; one missed cleavage joins
  // neighbours.
  const std::string protein = "AAAAAAKPAAAAARGGGGGGGKWWWWWWWRCC";
  const std::vector<CPeptide> peptides = simulator::DigestTryptic(protein, CDigestRules());
  EXPECT_EQ(Sequences(peptides),
            (std::vector<std::string>{"AAAAAAKPAAAAAR", "AAAAAAKPAAAAARGGGGGGGK", "GGGGGGGK",
                                      "GGGGGGGKWWWWWWWR", "WWWWWWWR", "WWWWWWWRCC"}));
  EXPECT_EQ(peptides[0].before, '-');
  EXPECT_EQ(peptides[0].after, 'G');
  EXPECT_EQ(peptides[1].missed_cleavages, 1);
  EXPECT_EQ(peptides[5].after, '-');

  CDigestRules strict;
  strict.max_missed_cleavages = 0;
  strict.max_length = 10;
  EXPECT_EQ(Sequences(simulator::DigestTryptic(protein, strict)),
            (std::vector<std::string>{"GGGGGGGK", "WWWWWWWR"}));

  // A peptide met twice is kept once, where it first occurs; one with a
  // letter that is no residue is left out.
  EXPECT_EQ(Sequences(simulator::UniquePeptides({"GGGGGGGKAAXAAAAR", "SSSSSSSRGGGGGGGK"}, strict)),
            (std::vector<std::string>{"GGGGGGGK", "SSSSSSSR"}));
}

TEST(SimulatorMassTest, AgreesWithTheSearchEngine) {
  // Neutral masses Comet gives these peptides (BSA1_Comet.pep.xml; its
  // oxidation is 15.9949, Unimod's 15.994915), and PEPTIDE.
  struct Case {
    const char* sequence;
    int oxidised;
    double mass;
  };
  for (const Case& c : {Case{"PEPTIDE", -1, 799.359964}, Case{"LCVLHEK", -1, 897.474223},
                        Case{"NALMDPDAESR", 3, 1233.529551}}) {
    const double mass = simulator::NeutralPeptideMass(simulator::ModifiedResidueMasses(c.sequence, c.oxidised));
    EXPECT_NEAR(mass, c.mass, 2e-5) << c.sequence;
  }
  EXPECT_NEAR(simulator::IonMz(897.474223, 2), 449.744388, 1e-6);
}

// thrB's sequence: lines 3 to 8 of the FASTA text.
std::vector<std::string> ThrB() {
  const std::vector<std::string> lines = text::Split(kFasta, '\n');
  std::string sequence;
  for (std::size_t i = 3; i <= 8; ++i) sequence += text::ToUpper(lines[i]);
  return {sequence};
}

struct BadOptions {
  const char* name;
  std::vector<std::string> args;  // after the program's name
};

class SimulatorOptionsTest : public ::testing::TestWithParam<BadOptions> {};

TEST_P(SimulatorOptionsTest, RefusedNamingTheOption) {
  cli::CommandLine line("test", {""}, "");
  simulator::AddSimulatorOptions(line, simulator::CSimulatorOptions());
  ASSERT_EQ(line.Parse(GetParam().args), cli::Outcome::kRun);
  simulator::CSimulatorOptions options;
  std::string error;
  EXPECT_FALSE(simulator::ReadSimulatorOptions(line, options, error));
  EXPECT_NE(error.find(GetParam().args[0]), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Values, SimulatorOptionsTest,
    ::testing::Values(BadOptions{"NoSpectra", {"--count", "0"}},
                      BadOptions{"NegativeSeed", {"--seed", "-1"}},
                      BadOptions{"WordForNumber", {"--dropout", "often"}},
                      BadOptions{"FractionForWhole", {"--max-length", "1.5"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatorOptionsReadTest, SetsWhatIsGiven) {
  cli::CommandLine line("test", {""}, "");
  simulator::AddSimulatorOptions(line, simulator::CSimulatorOptions());
  ASSERT_EQ(line.Parse(std::vector<std::string>{"--count", "77", "--decoy-prefix", "A_,B_",
                                                "--min-length", "6", "--dropout", "0.5"}),
            cli::Outcome::kRun);
  simulator::CSimulatorOptions options;
  std::string error;
  ASSERT_TRUE(simulator::ReadSimulatorOptions(line, options, error)) << error;
  EXPECT_EQ(options.spectrum_count, 77u);
  EXPECT_EQ(options.decoy_prefixes, (std::vector<std::string>{"A_", "B_"}));
  EXPECT_EQ(options.digest.min_length, 6);
  EXPECT_EQ(options.dropout, 0.5);
  EXPECT_EQ(options.seed, 1u);  // untouched
}

TEST(SimulatorPlanTest, RefusesOptionsOutOfRange) {
  const std::vector<void (*)(simulator::CSimulatorOptions&)> breakers = {
      [](simulator::CSimulatorOptions& o) { o.dropout = 1.5; },
      [](simulator::CSimulatorOptions& o) { o.digest.max_length = 5; },
      [](simulator::CSimulatorOptions& o) { o.base_intensity = 0.0; },
      [](simulator::CSimulatorOptions& o) { o.rt_end = o.rt_start - 1.0; },
      [](simulator::CSimulatorOptions& o) { o.noise_peaks = -1.0; },
  };
  for (std::size_t i = 0; i < breakers.size(); ++i) {
    simulator::CSimulatorOptions options;
    breakers[i](options);
    simulator::CSpectrumSimulator simulation(options);
    std::string error;
    EXPECT_FALSE(simulation.PlanFromProteins(ThrB(), error)) << i;
    EXPECT_FALSE(error.empty()) << i;
  }
}

// One protein cannot give 4000 peptide spectra at n^-2.5: the exponent is
// lowered until it can, and every spectrum is still made. Without missed
// cleavages wanted, none is seen.
TEST(SimulatorPlanTest, FewPeptidesLowerTheExponent) {
  simulator::CSimulatorOptions options;
  options.spectrum_count = 5000;
  options.missed_cleavage_share = 0.0;
  simulator::CSpectrumSimulator simulation(options);
  std::string error;
  ASSERT_TRUE(simulation.PlanFromProteins(ThrB(), error)) << error;
  const simulator::CSimulationSummary& summary = simulation.Summary();
  EXPECT_LT(summary.replicate_exponent, 2.5);
  EXPECT_EQ(summary.peptide_spectra, 4000u);
  EXPECT_EQ(simulation.SpectrumCount(), 5000u);
  std::size_t made = 0;
  simulation.Generate([&](const msdata::CSpectrum&, const simulator::CSpectrumTruth& truth) {
    ++made;
    for (std::size_t i = 0; i + 1 < truth.peptide.size(); ++i) {
      const char c = truth.peptide[i];
      EXPECT_FALSE((c == 'K' || c == 'R') && truth.peptide[i + 1] != 'P') << truth.peptide;
    }
    return true;
  });
  EXPECT_EQ(made, 5000u);
}

// The hard cases: modified spectra carry their peptide's one variant
// modification (in their precursor and truth) and are never identified;
// related peptides are seen beside their originals and listed apart.
TEST(SimulatorPlanTest, ModifiedVariantsAndRelatedPeptides) {
  simulator::CSimulatorOptions options;
  options.spectrum_count = 3000;
  options.modified_share = 0.5;
  options.related_share = 0.5;
  simulator::CSpectrumSimulator simulation(options);
  std::string error;
  ASSERT_TRUE(simulation.PlanFromProteins(ThrB(), error)) << error;
  const std::vector<std::string> related = simulation.RelatedPeptides();
  ASSERT_FALSE(related.empty());
  EXPECT_EQ(simulation.Summary().related_peptides, related.size());
  std::size_t modified = 0, of_related = 0;
  simulation.Generate([&](const msdata::CSpectrum&, const simulator::CSpectrumTruth& truth) {
    if (std::find(related.begin(), related.end(), truth.peptide) != related.end()) ++of_related;
    if (!truth.variant) return true;
    ++modified;
    EXPECT_FALSE(truth.identified);
    EXPECT_NE(std::strchr(truth.variant->residues, truth.peptide[static_cast<std::size_t>(truth.variant_position)]),
              nullptr);
    EXPECT_NE(truth.Modifications().find(truth.variant->name), std::string::npos);
    std::vector<double> masses = simulator::ModifiedResidueMasses(truth.peptide, truth.oxidised_position);
    const double plain = simulator::IonMz(simulator::NeutralPeptideMass(masses), truth.charge);
    EXPECT_NEAR((truth.theoretical_mz - plain) * truth.charge, truth.variant->mass, 1e-6);
    return true;
  });
  EXPECT_GT(modified, 300u);
  EXPECT_GT(of_related, 100u);
}

// Spectra of one group count alike whatever the group's size: four copies
// of one spectrum (six pairs of cosine 1) weigh as much as two spectra that
// share half their peaks (one pair of cosine 0.5), so the lower quartile
// is 0.5.
TEST(SimulatorCalibrationTest, SameGroupPairsWeighEachSpectrumAlike) {
  simulator::CFigureCollector collector(100, 1);
  msdata::CSpectrum a;
  a.charge = 2;
  a.peaks = {{200.0, 100.0}, {300.0, 50.0}, {400.0, 10.0}};
  for (int i = 0; i < 4; ++i) collector.Add(a, {"AAAK/2", "AAAK"});
  msdata::CSpectrum b = a;
  b.peaks = {{200.0, 100.0}, {300.0, 100.0}};
  collector.Add(b, {"BBBK/2", "BBBK"});
  b.peaks = {{200.0, 100.0}, {500.0, 100.0}};
  collector.Add(b, {"BBBK/2", "BBBK"});
  collector.Add(b, {});  // unidentified: peaks only
  const simulator::CSetFigures figures = collector.Finish();
  EXPECT_EQ(figures.spectra, 7u);
  EXPECT_EQ(figures.same_pairs, 7u);
  EXPECT_EQ(figures.different_cosines.size(), 8u);
  const std::string table = simulator::FigureTable(figures, "x", figures, "y");
  EXPECT_NE(table.find("| cosine, same peptide, p10 / p25 / p50 / p75 / p90 | 0.50 / 0.50 / 1.00 / 1.00 / 1.00 |"),
            std::string::npos)
      << table;
}

class SimulatorFilesTest : public ScratchDirTest {
 protected:
  simulator::CSimulatorOptions Options(std::uint64_t seed, std::size_t count = 300) {
    simulator::CSimulatorOptions options;
    options.fasta = Write("thrB.fasta", kFasta);
    options.spectrum_count = count;
    options.seed = seed;
    options.oxidation_share = 0.5;  // thrB's peptides with M show both forms
    return options;
  }
  // Writes the three files of a run with `seed` under `stem`.
  simulator::CSimulationFiles Simulate(std::uint64_t seed, const std::string& stem,
                                       unsigned threads = 1, std::size_t count = 300) {
    simulator::CSpectrumSimulator simulation(Options(seed, count));
    std::string error;
    EXPECT_TRUE(simulation.Plan(error)) << error;
    const simulator::CSimulationFiles files{File(stem + ".mgf"), File(stem + ".tsv"),
                                            File(stem + ".spectra")};
    EXPECT_TRUE(simulator::WriteSimulation(simulation, files, error, threads)) << error;
    summary_ = simulation.Summary();
    return files;
  }
  simulator::CSimulationSummary summary_;
};

TEST_F(SimulatorFilesTest, SameSeedSameBytes) {
  // Enough spectra for several pieces of work per thread; threads change
  // nothing.
  const auto a = Simulate(5, "a", 1, 4000);
  const auto b = Simulate(5, "b", 3, 4000);
  const auto c = Simulate(6, "c", 1, 4000);
  EXPECT_EQ(summary_.proteins, 1u);
  EXPECT_EQ(summary_.decoys_skipped, 2u);
  for (auto file : {&simulator::CSimulationFiles::mgf, &simulator::CSimulationFiles::truth,
                    &simulator::CSimulationFiles::ids}) {
    const std::string first = testsupport::ReadFile(a.*file);
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, testsupport::ReadFile(b.*file));
    EXPECT_NE(first, testsupport::ReadFile(c.*file));
  }
}

TEST_F(SimulatorFilesTest, TruthTableDescribesTheMgfAsTesseraReadsIt) {
  const auto files = Simulate(11, "run");
  std::vector<msdata::CSpectrum> spectra;
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(MS2_FORMAT_MGF, false));
  ASSERT_TRUE(importer->Load(files.mgf, spectra, true)) << importer->LastError();

  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : text::Split(testsupport::ReadFile(files.truth), '\n'))
    if (!line.empty()) rows.push_back(text::Split(line, '\t'));
  ASSERT_EQ(rows.size(), spectra.size() + 1);
  EXPECT_EQ(testsupport::ReadFile(files.truth).substr(0, std::string(simulator::kTruthHeader).size()),
            simulator::kTruthHeader);

  const simulator::CSimulatorOptions options = Options(11);
  std::size_t no_peptide = 0;
  std::set<std::string> peptides;
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    const std::vector<std::string>& row = rows[i + 1];
    const msdata::CSpectrum& s = spectra[i];
    ASSERT_EQ(row.size(), 9u);
    EXPECT_EQ(row[0], s.name);
    EXPECT_EQ(row[0], "sim." + row[1] + "." + row[1] + "." + row[3] + ".dta");
    EXPECT_EQ(text::AtoI(row[1]), static_cast<int>(i + 1));  // run order, scans 1..N
    EXPECT_EQ(text::AtoI(row[3]), s.charge);
    EXPECT_GE(s.charge, 2);
    EXPECT_LE(s.charge, 4);
    EXPECT_DOUBLE_EQ(text::AtoF(row[4]), s.precursor_mz);
    if (i > 0) {
      EXPECT_LE(spectra[i - 1].retention_time, s.retention_time);
    }
    if (row[2].empty()) {
      ++no_peptide;
      continue;
    }
    peptides.insert(row[2]);
    // The theoretical m/z is the modified peptide's; the written one lies
    // within the stated error (three sds) of it.
    int site = -1;
    for (const std::string& item : text::Split(row[5]))
      if (!item.empty() && item[0] == 'M') site = text::AtoI(item.substr(1)) - 1;
    const double theoretical = simulator::IonMz(
        simulator::NeutralPeptideMass(simulator::ModifiedResidueMasses(row[2], site)), s.charge);
    EXPECT_NEAR(text::AtoF(row[6]), theoretical, 1e-6);
    EXPECT_LE(std::fabs(s.precursor_mz / theoretical - 1.0) * 1e6,
              3.0 * options.precursor_sd_ppm + 1e-3);
  }
  EXPECT_EQ(no_peptide, 60u);  // a fifth
  EXPECT_EQ(summary_.peptide_spectra, 240u);
  EXPECT_GT(peptides.size(), 5u);
}

TEST_F(SimulatorFilesTest, IdentificationListReadsBackAsTheTruth) {
  const auto files = Simulate(3, "run");
  ResultMap identified;
  std::string data_path;
  ModificationList modifications;
  std::unique_ptr<CResultFile> reader(CResultFileFactory().GetResult(files.ids));
  ASSERT_TRUE(reader);
  reader->LoadResult(files.ids, identified, data_path, modifications);

  std::size_t listed = 0, peptide_rows = 0;
  for (const std::string& line : text::Split(testsupport::ReadFile(files.truth), '\n')) {
    const std::vector<std::string> row = text::Split(line, '\t');
    if (row.size() < 9 || row[2].empty() || row[0] == "name") continue;
    ++peptide_rows;
    const auto found = identified.find(text::ToUpper(row[0]));
    ASSERT_EQ(found != identified.end(), row[8] == "1") << row[0];
    if (found == identified.end()) continue;
    ++listed;
    // The sequence, then one item per modification: its 0-based position
    // and the number of its name in the list.
    std::string expected = row[2];
    for (const std::string& item : text::Split(row[5])) {
      if (item.empty()) continue;
      const std::string name = item.substr(item.find(':') + 1);
      std::size_t number = 0;
      while (number < modifications.size() && modifications[number].first != name) ++number;
      ASSERT_LT(number, modifications.size()) << name;
      expected += " " + std::to_string(text::AtoI(item.substr(1)) - 1) + "," + std::to_string(number + 1);
    }
    EXPECT_EQ(found->second, expected);
  }
  EXPECT_EQ(listed, identified.size());
  // About the share asked for (0.3 of 240).
  EXPECT_GT(listed, peptide_rows / 6);
  EXPECT_LT(listed, peptide_rows / 2);
}

}  // namespace

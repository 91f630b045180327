// tessera-search and tessera-confirm as programs: a slice of the BSA1 run
// searched with the real Comet and two propagated identifications judged
// on it; and the failures each must name.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/Dta.h"
#include "resultfiles/Identifications.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfWriter.h"
#include "tests/support/Files.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;

namespace {

const std::string kBsa1 = "/usr/share/doc/openms/examples/BSA/BSA1.mzML";
const std::string kFasta =
    "/usr/share/doc/openms/examples/TOPPAS/data/BSA_Identification/18Protein_SoCe_Tr_detergents_trace.fasta";

struct Answer {
  int status = -1;
  std::string out;
};

// Runs a shell command line in `folder`; "{bin}" stands for the programs'
// folder. Standard output and error together.
Answer RunCommand(const fs::path& folder, std::string command) {
  for (std::size_t at; (at = command.find("{bin}")) != std::string::npos;) command.replace(at, 5, TESSERA_BIN_DIR);
  Answer answer;
  std::FILE* pipe = ::popen(("cd '" + folder.string() + "' && " + command + " 2>&1").c_str(), "r");
  if (!pipe) return answer;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) answer.out.append(buffer, n);
  const int raw = ::pclose(pipe);
  answer.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return answer;
}

bool HaveRealData() { return fs::exists(kBsa1) && fs::exists(kFasta) && fs::exists("/usr/bin/comet-ms"); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

class SearchAndConfirm : public ScratchDirTest {};

TEST_F(SearchAndConfirm, SliceOfBsa1) {
  if (!HaveRealData()) GTEST_SKIP() << "needs openms-doc and comet-ms";
  // About 80 spectra of a stretch of the run rich in identifications.
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(MS2_FORMAT_MZML, false));
  ASSERT_TRUE(importer);
  std::vector<msdata::CSpectrum> run, slice;
  ASSERT_TRUE(importer->Load(kBsa1, run, true)) << importer->LastError();
  for (msdata::CSpectrum& s : run)
    if (s.first_scan >= 1000 && s.first_scan <= 1130) slice.push_back(std::move(s));
  std::string error;
  ASSERT_TRUE(spectra::WriteMgfFile(File("BSA1.mgf"), slice, error)) << error;

  const Answer searched = RunCommand(dir_, "{bin}/tessera-search BSA1.mgf --fasta " + kFasta + " -o search --threads 2 -q");
  ASSERT_EQ(searched.status, 0) << searched.out;
  const std::string summary = testsupport::ReadFile(File("search/BSA1.summary.json"));
  EXPECT_NE(summary.find("\"kind\": \"search\""), std::string::npos) << summary;
  EXPECT_NE(summary.find("\"spectra_searched\": " + std::to_string(slice.size())), std::string::npos) << summary;
  EXPECT_NE(testsupport::ReadFile(File("search/comet.params")).find("\nnum_output_lines = 1\n"), std::string::npos);

  // Two identified spectra of different peptides become one propagated
  // within a cluster (its own peptide: confirmed) and one through a pair
  // with a shift its spectrum does not carry (not confirmed).
  CIdentificationFilter filter;
  filter.modify_ini_directory = TESSERA_BIN_DIR;
  CIdentifications ids;
  ASSERT_TRUE(LoadIdentifications(File("search/BSA1.pep.xml"), filter, ids, error)) << error;
  std::vector<const msdata::CSpectrum*> chosen;
  std::vector<std::string> texts;
  for (const msdata::CSpectrum& s : slice) {
    const auto id = ids.results.find(ResultSpectrumKey(s.name));
    if (id == ids.results.end() || !HasPeptide(id->second)) continue;
    const std::string sequence = id->second.substr(0, id->second.find(' '));
    if (!texts.empty() && texts[0].substr(0, texts[0].find(' ')) == sequence) continue;
    chosen.push_back(&s);
    texts.push_back(id->second);
    if (chosen.size() == 2) break;
  }
  ASSERT_EQ(chosen.size(), 2u) << "the slice's search identified too little";
  fs::create_directory(File("spectra"));
  std::string table = "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\n";
  const char* routes[] = {"cluster", "pairs"};
  const char* added[] = {"", " 1,14.015650,1"};
  const char* shift[] = {"", "14.015650"};
  const char* q[] = {"0.005000", "0.030000"};
  for (int i = 0; i < 2; ++i) {
    std::string upper = chosen[i]->name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(msdata::WriteDta(*chosen[i], File("spectra/" + upper)));  // found whatever the case
    const std::size_t space = texts[i].find(' ');
    const std::string sequence = texts[i].substr(0, space);
    const std::string items = space == std::string::npos ? "" : texts[i].substr(space);
    table += chosen[i]->name + "\t" + sequence + "\t" + items + added[i] + "\t" + routes[i] + "\tX.1.1.2.dta\t" +
             shift[i] + "\t3.000000\t" + q[i] + "\n";
  }
  Write("propagated.tsv", table);

  const Answer confirmed = RunCommand(dir_, "{bin}/tessera-confirm --propagated propagated.tsv --ids search/BSA1.pep.xml "
                                     "--fasta " + kFasta + " --spectra spectra -o confirm --threads 2 -q");
  ASSERT_EQ(confirmed.status, 0) << confirmed.out;
  EXPECT_NE(confirmed.out.find("   1 shifts searched as variable modifications in 1 searches of at most 8\n"),
            std::string::npos)
      << confirmed.out;
  EXPECT_NE(confirmed.out.find("    confirmed by transfer q-value: q <= 1% 1 of 1 (100.0%); 1% < q <= 5% 0 of 1 "
                               "(0.0%);\n"),
            std::string::npos)
      << confirmed.out;
  const std::vector<std::string> rows = Lines(testsupport::ReadFile(File("confirm/confirmation.tsv")));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "spectrum\tsequence\troute\tq_value\tband\tconfirmed\trank1_hit\tmass_delta");
  EXPECT_EQ(rows[1].rfind(chosen[0]->name + "\t", 0), 0u);
  EXPECT_NE(rows[1].find("\tcluster\t0.005000\tq <= 1%\tyes\t"), std::string::npos) << rows[1];
  EXPECT_NE(rows[2].find("\tpairs\t0.030000\t1% < q <= 5%\tno\t"), std::string::npos) << rows[2];
  const std::string sequence = texts[1].substr(0, texts[1].find(' '));
  EXPECT_EQ(testsupport::ReadFile(File("confirm/shift_mods.tsv")),
            std::string("batch\tpairs\tresidue\tmass\n1\t1\t") + sequence[1] + "\t14.015650\n");
  const std::string ms2 = testsupport::ReadFile(File("confirm/batches/1/propagated.ms2"));
  EXPECT_EQ(ms2.rfind("S\t1\t1\t", 0), 0u);
  EXPECT_TRUE(fs::exists(File("confirm/batches/1/propagated.pep.xml")));
  const std::string confirmation = testsupport::ReadFile(File("confirm/confirmation.summary.json"));
  EXPECT_NE(confirmation.find("\"kind\": \"confirmation\""), std::string::npos);
  EXPECT_NE(confirmation.find("\"BSA1\": {"), std::string::npos) << confirmation;
  EXPECT_NE(confirmation.find("\"run\": \"BSA1\",\n        \"band\": \"1% < q <= 5%\""), std::string::npos) << confirmation;
}

struct Failure {
  const char* name;
  const char* command;
  const char* message;
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

class ProgramFailure : public ScratchDirTest, public testing::WithParamInterface<Failure> {};

TEST_P(ProgramFailure, SaysWhyAndExitsNonZero) {
  Write("run.mzML", "<mzML/>\n");
  Write("damaged.mzML", testsupport::ReadFile(kBsa1).substr(0, 20000));
  Write("db.fasta", ">P1\nPEPTIDEK\n");
  Write("x.pep.xml", "<msms_pipeline_analysis/>\n");
  Write("bad.tsv", "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\nA.1.1.2.dta\tPEPK\n");
  const Answer answer = RunCommand(dir_, GetParam().command);
  EXPECT_EQ(answer.status, 1) << answer.out;
  EXPECT_NE(answer.out.find(GetParam().message), std::string::npos) << answer.out;
  EXPECT_FALSE(fs::exists(File("out/run.pep.xml")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramFailure,
    testing::Values(
        Failure{"no_comet", "env PATH=/nonexistent {bin}/tessera-search run.mzML --fasta db.fasta -o out",
                "Comet (comet-ms) is not installed: no comet-ms on PATH"},
        Failure{"comet_not_a_program", "{bin}/tessera-search run.mzML --fasta db.fasta -o out --comet db.fasta",
                "Comet (comet-ms) is not installed: db.fasta is not an executable file"},
        Failure{"missing_run", "{bin}/tessera-search nothere.mzML --fasta db.fasta -o out", "No such run: "},
        Failure{"missing_fasta", "{bin}/tessera-search run.mzML --fasta nothere.fasta -o out",
                "No such FASTA file: "},
        Failure{"damaged_run", "{bin}/tessera-search damaged.mzML --fasta db.fasta -o out -q",
                "Comet wrote no "},
        Failure{"confirm_missing_fasta",
                "{bin}/tessera-confirm --propagated bad.tsv --ids x.pep.xml --fasta nothere.fasta --spectra . -o out",
                "No such FASTA file: "},
        Failure{"confirm_bad_table",
                "{bin}/tessera-confirm --propagated bad.tsv --ids x.pep.xml --fasta db.fasta --spectra . -o out",
                "bad.tsv, line 2: not a row of 8 tab-separated fields"}),
    [](const testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Nothing came through pairs: nothing to search (no Comet needed), the
// files are written all the same and the program says so.
class NoPairRows : public ScratchDirTest {};

TEST_F(NoPairRows, WritesTheFilesAndSaysSo) {
  Write("propagated.tsv",
        "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\n"
        "BSA1.1016.1016.2.dta\tGACLLPK\t 2,1\tcluster\t1016.2-1064.2-1104.2.dta\t\t5.000000\t0.000000\n");
  Write("db.fasta", ">P1\nGACLLPK\n");
  const Answer answer = RunCommand(dir_, "env PATH=/nonexistent {bin}/tessera-confirm --propagated propagated.tsv "
                                         "--ids " TESSERA_SOURCE_DIR "/data/BSA/BSA1_Comet.pep.xml --fasta db.fasta "
                                         "--spectra . -o out");
  ASSERT_EQ(answer.status, 0) << answer.out;
  EXPECT_NE(answer.out.find("   no pair-propagated identifications: no shift-aware search\n"), std::string::npos)
      << answer.out;
  EXPECT_NE(answer.out.find("    through pairs: 0 propagated, 0 confident at 1% transfer FDR, 0 of 0 (0.0%) confirmed; "
                            "of the confident 0 of 0 (0.0%)\n"),
            std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(File("out/shift_mods.tsv")), "batch\tpairs\tresidue\tmass\n");
  EXPECT_NE(testsupport::ReadFile(File("out/confirmation.tsv")).find("\tcluster\t0.000000\tq <= 1%\tno\t\tNA\n"),
            std::string::npos);
  EXPECT_NE(testsupport::ReadFile(File("out/confirmation.summary.json")).find("\"searches\": 0"), std::string::npos);
}

}  // namespace

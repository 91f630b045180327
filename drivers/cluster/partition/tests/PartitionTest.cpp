// The partitioned job against one `cluster` run: the real programs, the
// files compared byte for byte.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "tests/support/Files.h"
#include "tests/support/SyntheticMgf.h"
#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "common/Dta.h"
#include "drivers/cluster/loading/JobLoading.h"
#include "drivers/cluster/partition/Partition.h"
#include "drivers/cluster/partition/PlanFiles.h"
#include "spectra/MS2Input.h"

namespace {

namespace fs = std::filesystem;

const std::string kBin = TESSERA_BIN_DIR;
const std::string kBsa = "/usr/share/doc/openms/examples/BSA/";

using testsupport::ReadFile;

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every file under `a` equals the one at the same place under `b`, and
// neither holds a file the other lacks.
void ExpectSameTree(const fs::path& a, const fs::path& b) {
  ASSERT_EQ(fs::exists(a), fs::exists(b)) << a << " / " << b;
  if (!fs::exists(a)) return;
  const std::vector<std::string> left = Listing(a);
  ASSERT_EQ(left, Listing(b)) << a << " / " << b;
  for (const std::string& name : left) {
    EXPECT_EQ(Shell("cmp -s '" + (a / name).string() + "' '" + (b / name).string() + "'"), 0)
        << name;
  }
}

enum class Data { kBsa, kSynthetic, kTinyOneBlock };

struct Case {
  Data data;
  int type;
  int parts;
  int consensus = REPRESENTATIVE_BOTH;
  bool forced = false;  // cut at a block boundary beside a spectrum within the tolerance
  bool workflow = false;  // through Snakemake's local executor on 2 cores
};

class Partition : public ::testing::TestWithParam<Case> {
 public:
  // The inputs: the three BSA runs pooled as a DTA folder (so that one run
  // copies spectrum files from it), synthetic MGF, and a tiny MGF of one
  // block. CTest runs every case as a process of its own, so they are made
  // once per build tree in the tests' own folder there, never in the
  // current folder; a finished set is moved into place in one step, so
  // that parallel cases never see half of one. Each case works in a
  // scratch folder of its own.
  static void SetUpTestSuite() {
    inputs_ = PARTITION_TEST_INPUTS;
    if (!fs::exists(inputs_)) {
      const fs::path fresh = inputs_.string() + "." + std::to_string(::getpid());
      fs::remove_all(fresh);
      if (MakeInputs(fresh)) {
        std::error_code ec;
        fs::rename(fresh, inputs_, ec);
      }
      fs::remove_all(fresh);
    }
    ready_ = fs::exists(inputs_ / "synthetic.mgf");
    scratch_ = std::make_unique<testsupport::CTempDir>("partition");
    root_ = scratch_->Path();
  }
  static void TearDownTestSuite() { scratch_.reset(); }

  static bool MakeInputs(const fs::path& where) {
    fs::create_directories(where / "bsa");
    std::vector<msdata::CSpectrum> pooled;
    std::unique_ptr<CMS2Input> mzml(CMS2InputFactory().GetImporter(MS2_FORMAT_MZML, false));
    for (const char* run : {"BSA1.mzML", "BSA2.mzML", "BSA3.mzML"}) {
      if (!mzml->Load(kBsa + run, pooled, false)) return false;
    }
    for (const msdata::CSpectrum& s : pooled) msdata::WriteDta(s, (where / "bsa" / s.name).string());
    std::vector<msdata::CSpectrum> templates;
    std::string error;
    if (!bench::LoadTemplates(kBsa + "BSA1.mzML", templates, error)) return false;
    if (!bench::WriteSyntheticMgf(templates, 4000, (where / "synthetic.mgf").string(), 7, error)) {
      return false;
    }
    // One charge, masses 0.05 Da apart: a single block at 5 Da.
    std::ofstream tiny(where / "tiny.mgf");
    for (int k = 0; k < 12; ++k) {
      tiny << "BEGIN IONS\nTITLE=tiny." << k + 1 << "." << k + 1 << ".2.dta\nPEPMASS="
           << 500 + 0.05 * k << "\nCHARGE=2+\n";
      for (int p = 0; p < 12; ++p) tiny << 100 + 37 * p + k * 0.01 << " " << 100 + p << "\n";
      tiny << "END IONS\n";
    }
    return static_cast<bool>(tiny);
  }

 protected:
  void SetUp() override {
    ASSERT_TRUE(ready_) << "the BSA runs of openms-doc are needed";
    dir_ = root_ / ("case_" + std::to_string(counter_++));
    fs::create_directories(dir_ / "one");
    fs::create_directories(dir_ / "split");
  }

  // A parameter file for the job run in `where`, writing into `where`.
  std::string WritePara(const Case& c, const fs::path& where) {
    CPara para;
    const bool bsa = c.data == Data::kBsa;
    const std::string data = bsa ? (inputs_ / "bsa").string()
                                 : (inputs_ / (c.data == Data::kTinyOneBlock ? "tiny.mgf"
                                                                           : "synthetic.mgf"))
                                       .string();
    para.SetDataClass(bsa ? MS2_FORMAT_DTA : MS2_FORMAT_MGF, data, (where / "out").string(),
                      (where / "result.csv").string(), 5);
    para.SetRepresentativeClass(static_cast<Representative_Spectra>(c.consensus), 0.4,
                                TOLERANCE_DA);
    // BSA in daltons, the synthetic set in ppm, as users run them.
    para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(),
                    static_cast<Cluster_Type>(c.type), bsa ? 1.5 : 20.0,
                    bsa ? TOLERANCE_DA : TOLERANCE_PPM, 0.55);
    if (c.data == Data::kTinyOneBlock) para.cluster->precursor_ion_tol = 5.0;
    if (c.data == Data::kTinyOneBlock) para.cluster->precursor_ion_tol_type = TOLERANCE_DA;
    para.SetSimilarMethod(c.type == 1 ? SIMILAR_DOT_PRODUCT_MOD : SIMILAR_DOT_PRODUCT, 0.5,
                          TOLERANCE_DA);
    para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    para.cluster->upper_mass = 120;
    para.cluster->score_log = false;  // a split pair search writes no log
    const std::string path = (where / "job.para").string();
    EXPECT_TRUE(para.WriteParaFile(path));
    return path;
  }

  // One run of `cluster` in `where`.
  void RunOne(const std::string& para, const fs::path& where) {
    ASSERT_EQ(Shell("cd '" + where.string() + "' && '" + kBin + "/cluster' --threads 2 '" + para +
                    "' > log.txt 2>&1"),
              0)
        << ReadFile(where / "log.txt");
  }

  // A start position of a part that lies at a block boundary whose next
  // spectrum is within the tolerance of the last one before it.
  std::size_t TightBoundary(const std::string& para_path) {
    CPara para;
    clusterjob::LoadedSpectra loaded;
    EXPECT_EQ(clusterjob::ReadJobParameters(para_path, false, para), "");
    EXPECT_EQ(clusterjob::LoadJobSpectra(para, para_path, clusterjob::LoadChoices(), loaded), "");
    const std::vector<msdata::CSpectrum>& spectra = para.spectra_process->spectra;
    const auto& engine = dynamic_cast<const CSimilarityCluster&>(*para.cluster);
    const auto blocks = engine.FindBlocks(spectra);
    for (std::size_t b = blocks.size() / 2; b < blocks.size(); ++b) {
      const std::size_t p = blocks[b].start;
      if (p > 0 && engine.JoinsBlock(spectra[p - 1], spectra[p])) return p;
    }
    ADD_FAILURE() << "no tight block boundary in the data";
    return 0;
  }

  std::string Plan(const std::string& args) {
    const std::string log = (dir_ / "plan.txt").string();
    EXPECT_EQ(Shell("cd '" + (dir_ / "split").string() + "' && '" + kBin +
                    "/cluster' --plan " + args + " > '" + log + "' 2>&1"),
              0)
        << ReadFile(log);
    return ReadFile(log);
  }

  // The plan, every part's `cluster` run in its folder, the merge.
  void PlanAndRunParts(const Case& c, const std::string& para, const fs::path& work);

  static std::unique_ptr<testsupport::CTempDir> scratch_;
  static fs::path inputs_;
  static fs::path root_;
  static bool ready_;
  static int counter_;
  fs::path dir_;
};

std::unique_ptr<testsupport::CTempDir> Partition::scratch_;
fs::path Partition::inputs_;
fs::path Partition::root_;
bool Partition::ready_ = false;
int Partition::counter_ = 0;

TEST_P(Partition, MergedFilesEqualOneRun) {
  const Case c = GetParam();
  const fs::path one = dir_ / "one";
  const fs::path split = dir_ / "split";
  RunOne(WritePara(c, one), one);

  const std::string para = WritePara(c, split);
  const fs::path work = split / "work";
  if (c.workflow) {
    if (Shell("snakemake --version > /dev/null 2>&1") != 0) {
      GTEST_SKIP() << "snakemake is not installed (scripts/install-deps.sh installs it)";
    }
    const std::string log = (split / "snakemake.txt").string();
    ASSERT_EQ(Shell("cd '" + split.string() + "' && snakemake --cores 2 -s '" +
                    TESSERA_SOURCE_DIR + "/workflows/cluster.smk' --config para=job.para parts=" +
                    std::to_string(c.parts) + " workdir=work cluster=" + kBin +
                    "/cluster partition_program=" + kBin + "/cluster > '" + log +
                    "' 2>&1"),
              0)
        << ReadFile(log);
  } else {
    PlanAndRunParts(c, para, work);
    if (HasFatalFailure()) return;
  }
  EXPECT_EQ(Shell("cmp '" + (one / "result.csv").string() + "' '" + (split / "result.csv").string() +
                  "'"),
            0);
  ExpectSameTree(one / "out", split / "out");
  if (c.type == 1) {
    EXPECT_GT(fs::file_size(one / "result.csv"), 0u);
    EXPECT_EQ(Shell("cmp '" + (one / "temp.temp").string() + "' '" +
                    (split / "temp.temp").string() + "'"),
              0);
  }
}

void Partition::PlanAndRunParts(const Case& c, const std::string& para, const fs::path& work) {
  const fs::path split = dir_ / "split";
  std::string args = std::to_string(c.parts) + " '" + para + "' '" + work.string() + "'";
  if (c.forced) args += " --cuts " + std::to_string(TightBoundary(para));
  const std::string log = Plan(args);

  partition::PlanInfo info;
  std::vector<partition::PartEntry> parts;
  std::string why;
  ASSERT_TRUE(partition::ReadPlanFiles(work.string(), info, parts, why)) << why;
  if (c.data == Data::kTinyOneBlock) {
    EXPECT_EQ(parts.size(), 1u);
    EXPECT_NE(log.find("they form one block. One part."), std::string::npos) << log;
    // Nor can a part be forced to start inside the block.
    const std::string refused = (dir_ / "refused.txt").string();
    EXPECT_NE(Shell("'" + kBin + "/cluster' --plan 2 '" + para + "' '" +
                    (dir_ / "refused").string() + "' --cuts 5 > '" + refused + "' 2>&1"),
              0);
    EXPECT_NE(ReadFile(refused).find("Cannot start a part at position 5"), std::string::npos)
        << ReadFile(refused);
  } else {
    EXPECT_EQ(parts.size(), static_cast<std::size_t>(c.parts)) << log;
  }
  for (const partition::PartEntry& p : parts) {
    const fs::path part = work / p.name;
    RunOne((part / partition::kPartPara).string(), part);
  }
  ASSERT_EQ(Shell("cd '" + split.string() + "' && '" + kBin +
                  "/cluster' --merge work > merge.txt 2>&1"),
            0)
      << ReadFile(split / "merge.txt");
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  const Case& c = info.param;
  static const char* const kData[] = {"Bsa", "Synthetic", "OneBlock"};
  return std::string(kData[static_cast<int>(c.data)]) + "_type" + std::to_string(c.type) +
         "_parts" + std::to_string(c.parts) + "_representatives" + std::to_string(c.consensus) +
         (c.forced ? "_forcedCut" : "") + (c.workflow ? "_snakemake" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Partition,
    ::testing::Values(Case{Data::kBsa, 0, 1}, Case{Data::kBsa, 0, 2}, Case{Data::kBsa, 0, 7},
                      Case{Data::kBsa, 0, 2, REPRESENTATIVE_CONSENSUS, true},
                      Case{Data::kBsa, 1, 1}, Case{Data::kBsa, 1, 2}, Case{Data::kBsa, 1, 7},
                      Case{Data::kSynthetic, 0, 2, REPRESENTATIVE_MOST_SIMILAR},
                      Case{Data::kSynthetic, 0, 7}, Case{Data::kSynthetic, 1, 7},
                      Case{Data::kSynthetic, 0, 2, REPRESENTATIVE_CONSENSUS, true},
                      Case{Data::kTinyOneBlock, 0, 4},
                      Case{Data::kBsa, 1, 2, REPRESENTATIVE_BOTH, false, true}),
    CaseName);

TEST(PartitionPlan, BalancesWorkAndRefusesBadInput) {
  // The largest run's work is as small as contiguous runs allow.
  EXPECT_EQ(partition::BalanceCuts({9, 1, 1, 1, 9, 1}, 2), (std::vector<std::size_t>{3}));
  EXPECT_EQ(partition::BalanceCuts({100}, 4), std::vector<std::size_t>{});
  EXPECT_EQ(partition::BalanceCuts({1, 1, 1, 1}, 9), (std::vector<std::size_t>{1, 2, 3}));

  std::ostringstream out;
  // Wrong command lines: the usage, status 2, whatever the option's place.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"0", "x.para", "w"}, {"2", "x.para"}, {"2", "--cuts", "1,x", "x.para", "w"},
        {"2", "x.para", "w", "--cut", "1"}}) {
    out.str("");
    EXPECT_EQ(partition::RunPlan(args, out), 2) << args[1];
    EXPECT_NE(out.str().find("usage: cluster --plan"), std::string::npos) << out.str();
  }
  out.str("");
  EXPECT_EQ(partition::RunMerge({"w", "--px", "nope"}, out), 2);
  EXPECT_EQ(partition::RunMerge({}, out), 2);
  EXPECT_EQ(partition::RunMerge({"/nonexistent/work"}, out), 1);
  EXPECT_NE(out.str().find("No plan in /nonexistent/work"), std::string::npos);
}

// A small job of its own for the checks of the plan and the merge: four
// groups of fifteen alike spectra 40 Da apart (four blocks; pairs across
// the groups for the pair search), written into `dir` with its parameter
// file, the job's results going into `dir` too.
class SmallJob {
 public:
  SmallJob(const fs::path& dir, int type) : dir_(dir) {
    std::ofstream mgf(dir / "small.mgf");
    for (int g = 0; g < 4; ++g) {
      for (int k = 0; k < 15; ++k) {
        const int scan = 100 * g + k + 1;
        mgf << "BEGIN IONS\nTITLE=small." << scan << "." << scan << ".2.dta\nPEPMASS=" << 300 + 20 * g + 0.005 * k
            << "\nCHARGE=2+\n";
        for (int p = 0; p < 20; ++p) mgf << 150 + 37 * p + 0.002 * k << " " << 100 + 7 * p + k << "\n";
        mgf << "END IONS\n";
      }
    }
    CPara para;
    para.SetDataClass(MS2_FORMAT_MGF, (dir / "small.mgf").string(), (dir / "out").string(),
                      (dir / "result.csv").string(), 1);
    para.SetRepresentativeClass(REPRESENTATIVE_BOTH, 0.4, TOLERANCE_DA);
    para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(), static_cast<Cluster_Type>(type),
                    0.5, TOLERANCE_DA, 0.3);
    para.SetSimilarMethod(type == 1 ? SIMILAR_DOT_PRODUCT_MOD : SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
    para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    para.cluster->lower_mass = 6;
    para.cluster->upper_mass = 200;
    para.cluster->score_log = false;  // a split pair search writes no log
    EXPECT_TRUE(para.WriteParaFile((dir / "job.para").string()));
    para.cluster->score_log = true;
    EXPECT_TRUE(para.WriteParaFile((dir / "logged.para").string()));
  }

  // `cluster` on `args` in the job's folder, `prefix` before it in a shell.
  int Cluster(const std::string& args, const std::string& log, const std::string& prefix = "") const {
    return Shell("cd '" + dir_.string() + "' && bash -c \"" + prefix + "exec '" + kBin + "/cluster' " + args +
                 "\" > '" + log + "' 2>&1");
  }
  int Plan(int parts, const std::string& work) const {
    return Cluster("--plan " + std::to_string(parts) + " job.para " + work, "plan.log");
  }
  // Every part of the plan in `work`, run in its folder.
  void RunParts(const std::string& work) const {
    partition::PlanInfo info;
    std::vector<partition::PartEntry> parts;
    std::string why;
    ASSERT_TRUE(partition::ReadPlanFiles((dir_ / work).string(), info, parts, why)) << why;
    for (const partition::PartEntry& p : parts) {
      const fs::path part = dir_ / work / p.name;
      ASSERT_EQ(Shell("cd '" + part.string() + "' && '" + kBin + "/cluster' part.para > log.txt 2>&1"), 0)
          << ReadFile(part / "log.txt");
    }
  }
  int Merge(const std::string& work, const std::string& prefix = "") const {
    return Cluster("--merge " + work, "merge.log", prefix);
  }
  std::string Log(const std::string& name) const { return ReadFile(dir_ / name); }

 private:
  fs::path dir_;
};

std::size_t LineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A plan removes the part folders an earlier plan made in its work folder,
// and no other folder, whatever its name.
TEST(PartitionPlan, RemovesOnlyThePartFoldersItMade) {
  testsupport::CTempDir scratch("plan_folders");
  const fs::path dir = scratch.Path();
  const SmallJob job(dir, 0);
  const fs::path work = dir / "work";
  fs::create_directories(work / "part_A_spectra");
  fs::create_directories(work / "part_of_thesis");
  testsupport::WriteFile((work / "part_A_spectra/s.1.1.2.dta").string(), "1000.0 2\n100 1\n");
  testsupport::WriteFile((work / "part_of_thesis/notes.txt").string(), "mine\n");
  testsupport::WriteFile((work / "part_x").string(), "mine\n");
  ASSERT_EQ(job.Plan(4, "work"), 0) << job.Log("plan.log");
  ASSERT_TRUE(fs::exists(work / "part_003"));
  ASSERT_EQ(job.Plan(1, "work"), 0) << job.Log("plan.log");
  EXPECT_TRUE(fs::exists(work / "part_000/part.para"));
  for (const char* gone : {"part_001", "part_002", "part_003"}) EXPECT_FALSE(fs::exists(work / gone)) << gone;
  EXPECT_EQ(ReadFile(work / "part_A_spectra/s.1.1.2.dta"), "1000.0 2\n100 1\n");
  EXPECT_EQ(ReadFile(work / "part_of_thesis/notes.txt"), "mine\n");
  EXPECT_EQ(ReadFile(work / "part_x"), "mine\n");

  // A folder in the way of a part that no plan made stops the plan.
  fs::create_directories(dir / "other/part_000");
  testsupport::WriteFile((dir / "other/part_000/mine.txt").string(), "mine\n");
  EXPECT_NE(job.Plan(2, "other"), 0);
  EXPECT_NE(job.Log("plan.log").find("holds part_000, which no plan made there"), std::string::npos)
      << job.Log("plan.log");
  EXPECT_EQ(Listing(dir / "other/part_000"), std::vector<std::string>{"mine.txt"});
}

// A pair search with the score log cannot be split: no merge could give the
// one-run log back.
TEST(PartitionPlan, RefusesAPairSearchThatWritesTheScoreLog) {
  testsupport::CTempDir scratch("plan_log");
  const SmallJob job(scratch.Path(), 1);
  EXPECT_NE(job.Cluster("--plan 2 logged.para work", "plan.log"), 0);
  EXPECT_NE(job.Log("plan.log").find("cannot be split into parts: set score_log=0"), std::string::npos)
      << job.Log("plan.log");
  EXPECT_FALSE(fs::exists(scratch.Path() / "work"));
}

enum class Damage { kCut, kEmpty, kPartOfAnotherPlan, kResultOfAnotherPart };

struct MergeCase {
  int type;
  Damage damage;
};

class PartitionMerge : public ::testing::TestWithParam<MergeCase> {};

// Every part is checked against the plan before anything is merged: a
// result cut short or empty, or a part (or result) of another plan, stops
// the merge and leaves the job's earlier result as it was.
TEST_P(PartitionMerge, TakesOnlyWholeResultsOfItsOwnParts) {
  const MergeCase c = GetParam();
  testsupport::CTempDir scratch("merge_checks");
  const fs::path dir = scratch.Path();
  const SmallJob job(dir, c.type);
  ASSERT_EQ(job.Plan(2, "work"), 0) << job.Log("plan.log");
  job.RunParts("work");
  ASSERT_EQ(job.Plan(4, "other"), 0) << job.Log("plan.log");
  job.RunParts("other");
  ASSERT_EQ(job.Merge("other"), 0) << job.Log("merge.log");
  const std::string earlier = ReadFile(dir / "result.csv");

  const fs::path part = dir / "work/part_001";
  const std::string result = ReadFile(part / "result.txt");
  ASSERT_GT(LineCount(result), 1u);
  switch (c.damage) {
    case Damage::kCut: {
      std::size_t end = 0;
      for (std::size_t line = 0; line < LineCount(result) / 2; ++line) end = result.find('\n', end) + 1;
      testsupport::WriteFile((part / "result.txt").string(), result.substr(0, end));
      break;
    }
    case Damage::kEmpty:
      testsupport::WriteFile((part / "result.txt").string(), "");
      break;
    case Damage::kPartOfAnotherPlan:
      fs::remove_all(part);
      fs::copy(dir / "other/part_001", part, fs::copy_options::recursive);
      break;
    case Damage::kResultOfAnotherPart:
      fs::copy_file(dir / "other/part_001/result.txt", part / "result.txt", fs::copy_options::overwrite_existing);
      break;
  }
  EXPECT_NE(job.Merge("work"), 0) << job.Log("merge.log");
  EXPECT_NE(job.Log("merge.log").find("part_001"), std::string::npos) << job.Log("merge.log");
  // Compared whole, not printed: the files run to thousands of lines.
  EXPECT_TRUE(ReadFile(dir / "result.csv") == earlier);
}

INSTANTIATE_TEST_SUITE_P(Damages, PartitionMerge,
                         ::testing::Values(MergeCase{0, Damage::kCut}, MergeCase{0, Damage::kEmpty},
                                           MergeCase{0, Damage::kPartOfAnotherPlan},
                                           MergeCase{0, Damage::kResultOfAnotherPart}, MergeCase{1, Damage::kCut},
                                           MergeCase{1, Damage::kEmpty}, MergeCase{1, Damage::kPartOfAnotherPlan},
                                           MergeCase{1, Damage::kResultOfAnotherPart}));

// A merge that cannot write its result whole (a file-size limit stands in
// for a full disk) fails and leaves no cut file under the result's name.
TEST(PartitionMergeWrites, AFullDiskLeavesNoMergedFile) {
  for (int type : {0, 1}) {
    testsupport::CTempDir scratch("merge_full");
    const fs::path dir = scratch.Path();
    const SmallJob job(dir, type);
    ASSERT_EQ(job.Plan(2, "work"), 0) << job.Log("plan.log");
    job.RunParts("work");
    EXPECT_NE(job.Merge("work", "trap '' XFSZ; ulimit -f 1; "), 0) << type;
    EXPECT_FALSE(fs::exists(dir / "result.csv")) << type << ": " << fs::file_size(dir / "result.csv");
  }
}

}  // namespace

// Provenance across runs: identifications of several result files joined,
// each propagated row naming its run and the run it came from, and the
// transfers between runs counted.

#include <gtest/gtest.h>

#include "propagation/PropagationSummary.h"
#include "propagation/RunProvenance.h"
#include "propagation/TransferConfidence.h"
#include "resultfiles/Identifications.h"
#include "tests/support/ScratchDir.h"

namespace {

using RunProvenance = ScratchDirTest;

TEST(RunProvenanceJoin, FilesJoinWithOneModificationListAndTheBetterScore) {
  CIdentifications a;
  a.modifications = {{"Oxidation", 15.99}};
  a.results = {{"A.1.1.2.DTA", "PEPMK 4,1"}, {"S.1.1.2.DTA", "AAAK"}};
  a.score_kind = 1;  // expect: lower is better
  a.scores = {{"A.1.1.2.DTA", 0.01}, {"S.1.1.2.DTA", 0.5}};
  CIdentifications b;
  b.modifications = {{"Phospho", 79.97}, {"Oxidation", 15.99}};
  b.results = {{"B.2.2.2.DTA", "SMK 0,1 1,2"}, {"S.1.1.2.DTA", "CCCK"}, {"A.1.1.2.DTA", "PEPMK 4,2"}};
  b.score_kind = 1;
  b.scores = {{"B.2.2.2.DTA", 0.02}, {"S.1.1.2.DTA", 0.001}, {"A.1.1.2.DTA", 0.01}};
  EXPECT_EQ(MergeIdentifications(a, b), 1);  // S differs; A is one peptide in both numberings
  EXPECT_EQ(a.modifications.size(), 2u);
  EXPECT_EQ(a.results["B.2.2.2.DTA"], "SMK 0,2 1,1");
  EXPECT_EQ(a.results["A.1.1.2.DTA"], "PEPMK 4,1");
  EXPECT_EQ(a.results["S.1.1.2.DTA"], "CCCK");  // the better expect
}

TEST_F(RunProvenance, RowsNameTheirRunsAndTheTableItsSpectra) {
  EXPECT_EQ(RunOfSpectrum("BSA2.00565.00565.2.dta"), "BSA2");
  EXPECT_EQ(RunOfSpectrum("12-14-20.dta"), "");
  Write("clusters.csv", "1,BSA1.10.10.2.dta,1,500.0\n1,BSA2.20.20.2.dta,1,500.1\n1,BSA2.21.21.2.dta,1,500.2\n"
                        "2,BSA2.30.30.3.dta,1,700.0\n");
  Write("clusters.tsv",
        "file\tscan\tnative_id\ttitle\tprecursor_mz\tcharge\trt_seconds\tcluster\tcluster_size\tis_representative\n"
        "BSA1.mzML\t10\tscan=10\t\t250.5\t2\t100.000\t1\t3\t0\n"
        "BSA2.mzML\t20\tscan=20\t\t250.5\t2\t200.000\t1\t3\t0\n"
        "BSA2.mzML\t21\tscan=21\t\t250.6\t2\t210.000\t1\t3\t0\n"
        "BSA2.mzML\t30\tscan=30\t\t233.6\t3\t300.000\t2\t1\t1\n");
  const auto origins = SpectrumOriginsOfJob(File("clusters.csv"));
  // Cluster 1 holds two spectra of charge 2 besides BSA1's: they cannot be told apart.
  ASSERT_EQ(origins.size(), 1u);
  EXPECT_EQ(origins.at("BSA2.30.30.3.DTA").native_id, "scan=30");
  EXPECT_EQ(origins.at("BSA2.30.30.3.DTA").retention_time, "300.000");

  CTransferRow row;
  row.spectrum = "BSA2.30.30.3.dta";
  row.sequence = "PEPK";
  row.route = "pairs";
  row.source = "BSA1.10.10.2.dta";
  row.run = "BSA2";
  row.source_run = "BSA1";
  row.native_id = "scan=30";
  row.retention_time = "300.000";
  EXPECT_EQ(TransferTableText({row}, CTransferSettings()),
            "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\trun\tsource_run\tnative_id\t"
            "retention_time\tisotope_of\talternative\talternative_shift\talternative_score\nBSA2.30.30.3.dta\tPEPK\t\t"
            "pairs\tBSA1.10.10.2.dta\t\tNA\tNA\tBSA2\tBSA1\tscan=30\t300.000\t\t\t\t\n");
}

TEST(RunTransfers, SaidOnlyBetweenTwoOrMoreRuns) {
  CPropagationSummary summary;
  summary.transfers_between_runs[{"BSA1", "BSA1"}] = {3, 3, 0, 0};
  EXPECT_EQ(RunTransfersText(summary), "");
  summary.transfers_between_runs[{"BSA1", "BSA2"}] = {12, 10, 2, 0};
  EXPECT_EQ(RunTransfersText(summary),
            "Transfers between runs:\n  BSA1 -> BSA1: 3 (within clusters 3, through pairs 0)\n"
            "  BSA1 -> BSA2: 12 (within clusters 10, through pairs 2)\n");
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "tests/support/ScratchDir.h"
#include "resultfiles/ResultFile.h"
#include "resultfiles/SearchResultFile.h"

namespace {

// Comet: fixed C and variable M in the header, both listed per hit with
// Comet's static/variable split; a variable N-terminal acetylation.
const char kComet[] = R"x(<?xml version="1.0" encoding="UTF-8"?>
<msms_pipeline_analysis xmlns="http://regis-web.systemsbiology.net/pepXML">
 <msms_run_summary base_name="/data/run1" raw_data=".mzML">
  <search_summary base_name="/data/run1" search_engine="Comet">
   <aminoacid_modification aminoacid="M" massdiff="15.994900" mass="147.035385" variable="Y" symbol="*"/>
   <aminoacid_modification aminoacid="C" massdiff="57.021464" mass="160.030649" variable="N"/>
   <terminal_modification terminus="n" massdiff="42.010565" mass="43.018390" variable="Y" protein_terminus="N"/>
  </search_summary>
  <spectrum_query spectrum="run1.00100.00100.2" start_scan="100" end_scan="100" assumed_charge="2" index="1">
   <search_result>
    <search_hit hit_rank="1" peptide="PEPCMK" protein="sp|P1|ONE">
     <modification_info mod_nterm_mass="43.018390" modified_peptide="n[43]PEPCM[147]K">
      <mod_aminoacid_mass position="4" mass="160.030649" static="57.021464"/>
      <mod_aminoacid_mass position="5" mass="147.035385" variable="15.994900"/>
     </modification_info>
     <search_score name="xcorr" value="3.1"/>
     <search_score name="expect" value="1.0E-05"/>
    </search_hit>
    <search_hit hit_rank="2" peptide="WRONG" protein="sp|P9">
     <search_score name="expect" value="1.0E-06"/>
    </search_hit>
   </search_result>
  </spectrum_query>
  <spectrum_query spectrum="run1.00200.00200.3" start_scan="200" end_scan="200" assumed_charge="3" index="2">
   <search_result>
    <search_hit hit_rank="1" peptide="DECOYPEP" protein="DECOY_sp|P2">
     <search_score name="expect" value="1.0E-03"/>
    </search_hit>
   </search_result>
  </spectrum_query>
  <spectrum_query spectrum="run1.00300.00301.2" start_scan="300" end_scan="301" assumed_charge="2" index="3">
   <search_result>
    <search_hit hit_rank="1" peptide="SHAREDK" protein="DECOY_sp|P3">
     <alternative_protein protein="sp|P3"/>
     <search_score name="expect" value="1.0E-04"/>
    </search_hit>
   </search_result>
  </spectrum_query>
  <spectrum_query spectrum="run1.00400.00400.2" start_scan="400" end_scan="400" assumed_charge="2" index="4">
   <search_result>
    <search_hit hit_rank="1" peptide="LATEK" protein="sp|P4">
     <search_score name="expect" value="1.0E-02"/>
    </search_hit>
   </search_result>
  </spectrum_query>
  <spectrum_query spectrum="run1.00500.00500.2" start_scan="500" end_scan="500" assumed_charge="2" index="5">
   <search_result>
   </search_result>
  </spectrum_query>
 </msms_run_summary>
</msms_pipeline_analysis>
)x";

// X!Tandem through Tandem2XML: masses only, a fixed C left to the header, a
// C-terminal modification, decoys marked "rev_", a charge taken from the
// spectrum name.
const char kTandem[] = R"x(<?xml version="1.0"?>
<msms_pipeline_analysis>
<msms_run_summary base_name="C:\runs\tandem.run" raw_data_type="raw">
<search_summary search_engine="X! Tandem (k-score)">
<aminoacid_modification aminoacid="C" massdiff="57.0215" mass="160.0307" variable="N"/>
<aminoacid_modification aminoacid="S" massdiff="79.9663" mass="166.9984" variable="Y"/>
<terminal_modification terminus="c" massdiff="-0.9840" mass="16.0187" variable="Y"/>
</search_summary>
<spectrum_query spectrum="tandem.run.7.7.3" start_scan="7" end_scan="7" index="1">
<search_result>
<search_hit hit_rank="1" peptide="ACSDKC" protein="sp|T1">
<modification_info mod_cterm_mass="16.0187">
<mod_aminoacid_mass position="3" mass="166.9984"/>
<mod_aminoacid_mass position="4" mass="129.0427"/>
<mod_aminoacid_mass position="5" mass="228.0950"/>
</modification_info>
<search_score name="hyperscore" value="40.5"/>
<search_score name="expect" value="0.001"/>
</search_hit>
</search_result>
</spectrum_query>
<spectrum_query spectrum="tandem.run.8.8.2" start_scan="8" end_scan="8" assumed_charge="2" index="2">
<search_result>
<search_hit hit_rank="1" peptide="REVK" protein="rev_sp|T2">
<search_score name="hyperscore" value="50.0"/>
<search_score name="expect" value="0.0001"/>
</search_hit>
</search_result>
</spectrum_query>
<spectrum_query spectrum="tandem.run.9.9.2" start_scan="9" end_scan="9" assumed_charge="2" index="3">
<search_result>
<search_hit hit_rank="1" peptide="WEAK" protein="sp|T3">
<search_score name="expect" value="0.5"/>
</search_hit>
</search_result>
</spectrum_query>
</msms_run_summary>
</msms_pipeline_analysis>
)x";

// MS-GF+, mzIdentML 1.1: decoy flags on the evidence, terminal and fixed
// modifications by location, scan from the native id or the cvParam.
const char kMsgf[] = R"x(<?xml version="1.0" encoding="UTF-8"?>
<MzIdentML id="MS-GF+" version="1.1.0" xmlns="http://psidev.info/psi/pi/mzIdentML/1.1">
<SequenceCollection>
<DBSequence id="DBSeq1" accession="sp|P02769|ALBU_BOVIN" searchDatabase_ref="SearchDB_1"/>
<DBSequence id="DBSeq2" accession="XXX_sp|P02769|ALBU_BOVIN" searchDatabase_ref="SearchDB_1"/>
<Peptide id="Pep1"><PeptideSequence>SHCIAEVEK</PeptideSequence>
<Modification monoisotopicMassDelta="42.010565" location="0"><cvParam cvRef="UNIMOD" accession="UNIMOD:1" name="Acetyl"/></Modification>
<Modification monoisotopicMassDelta="57.021464" location="3" residues="C"><cvParam cvRef="UNIMOD" accession="UNIMOD:4" name="Carbamidomethyl"/></Modification>
<Modification monoisotopicMassDelta="-0.984016" location="10"/>
</Peptide>
<Peptide id="Pep2"><PeptideSequence>KVEAICHS</PeptideSequence></Peptide>
<Peptide id="Pep3"><PeptideSequence>
  LVNELTEFAK
</PeptideSequence></Peptide>
<PeptideEvidence id="PE1" peptide_ref="Pep1" dBSequence_ref="DBSeq1" isDecoy="false"/>
<PeptideEvidence id="PE2" peptide_ref="Pep2" dBSequence_ref="DBSeq2" isDecoy="true"/>
<PeptideEvidence id="PE3" peptide_ref="Pep3" dBSequence_ref="DBSeq1" isDecoy="false"/>
</SequenceCollection>
<DataCollection>
<Inputs><SpectraData location="file:///data/BSA1.mzML" id="SID_1" name="BSA1.mzML"/></Inputs>
<AnalysisData><SpectrumIdentificationList id="SI_LIST_1">
<SpectrumIdentificationResult spectrumID="controllerType=0 controllerNumber=1 scan=581" spectraData_ref="SID_1" id="SIR_1">
<SpectrumIdentificationItem chargeState="3" peptide_ref="Pep1" rank="1" passThreshold="true" id="SII_1_1">
<PeptideEvidenceRef peptideEvidence_ref="PE1"/>
<cvParam cvRef="PSI-MS" accession="MS:1002049" name="MS-GF:RawScore" value="120"/>
<cvParam cvRef="PSI-MS" accession="MS:1002052" name="MS-GF:SpecEValue" value="1.0E-12"/>
</SpectrumIdentificationItem>
<SpectrumIdentificationItem chargeState="3" peptide_ref="Pep3" rank="2" passThreshold="true" id="SII_1_2">
<PeptideEvidenceRef peptideEvidence_ref="PE3"/>
<cvParam cvRef="PSI-MS" accession="MS:1002052" name="MS-GF:SpecEValue" value="1.0E-14"/>
</SpectrumIdentificationItem>
</SpectrumIdentificationResult>
<SpectrumIdentificationResult spectrumID="index=5" spectraData_ref="SID_1" id="SIR_2">
<SpectrumIdentificationItem chargeState="2" peptide_ref="Pep2" rank="1" passThreshold="true" id="SII_2_1">
<PeptideEvidenceRef peptideEvidence_ref="PE2"/>
<cvParam cvRef="PSI-MS" accession="MS:1002052" name="MS-GF:SpecEValue" value="1.0E-9"/>
</SpectrumIdentificationItem>
<cvParam cvRef="PSI-MS" accession="MS:1001115" name="scan number(s)" value="598"/>
</SpectrumIdentificationResult>
<SpectrumIdentificationResult spectrumID="controllerType=0 controllerNumber=1 scan=615" spectraData_ref="SID_1" id="SIR_3">
<SpectrumIdentificationItem chargeState="2" peptide_ref="Pep3" rank="1" passThreshold="true" id="SII_3_1">
<PeptideEvidenceRef peptideEvidence_ref="PE3"/>
<cvParam cvRef="PSI-MS" accession="MS:1002052" name="MS-GF:SpecEValue" value="1.0E-10"/>
</SpectrumIdentificationItem>
</SpectrumIdentificationResult>
</SpectrumIdentificationList></AnalysisData>
</DataCollection>
</MzIdentML>
)x";

// OpenMS, mzIdentML 1.2 with a namespace prefix: OMSSA E-values, spectra
// counted by index in an MGF file that lies beside the result file.
const char kOpenMs[] = R"x(<?xml version="1.0" encoding="UTF-8"?>
<mzid:MzIdentML xmlns:mzid="http://psidev.info/psi/pi/mzIdentML/1.2" version="1.2.0">
<mzid:SequenceCollection>
<mzid:DBSequence id="d1" accession="P1"/><mzid:DBSequence id="d2" accession="DECOY_P1"/>
<mzid:Peptide id="p1"><mzid:PeptideSequence>MPEPTIDEK</mzid:PeptideSequence>
<mzid:Modification location="1" monoisotopicMassDelta="15.994915" residues="M"/></mzid:Peptide>
<mzid:Peptide id="p2"><mzid:PeptideSequence>KEDITPEPM</mzid:PeptideSequence></mzid:Peptide>
<mzid:PeptideEvidence id="e1" peptide_ref="p1" dBSequence_ref="d1"/>
<mzid:PeptideEvidence id="e2" peptide_ref="p2" dBSequence_ref="d2"/>
</mzid:SequenceCollection>
<mzid:DataCollection>
<mzid:Inputs><mzid:SpectraData location="file:///elsewhere/run%202.mgf" id="sd"/></mzid:Inputs>
<mzid:AnalysisData><mzid:SpectrumIdentificationList id="l">
<mzid:SpectrumIdentificationResult spectrumID="index=0" spectraData_ref="sd" id="r1">
<mzid:SpectrumIdentificationItem id="i1" rank="1" chargeState="2" peptide_ref="p1">
<mzid:PeptideEvidenceRef peptideEvidence_ref="e1"/>
<mzid:cvParam accession="MS:1001328" name="OMSSA:evalue" value="0.001"/>
</mzid:SpectrumIdentificationItem></mzid:SpectrumIdentificationResult>
<mzid:SpectrumIdentificationResult spectrumID="index=1" spectraData_ref="sd" id="r2">
<mzid:SpectrumIdentificationItem id="i2" rank="1" chargeState="3" peptide_ref="p1">
<mzid:PeptideEvidenceRef peptideEvidence_ref="e1"/>
<mzid:userParam name="OMSSA:evalue" value="0.0001"/>
</mzid:SpectrumIdentificationItem></mzid:SpectrumIdentificationResult>
<mzid:SpectrumIdentificationResult spectrumID="index=2" spectraData_ref="sd" id="r3">
<mzid:SpectrumIdentificationItem id="i3" rank="1" chargeState="2" peptide_ref="p2">
<mzid:PeptideEvidenceRef peptideEvidence_ref="e2"/>
<mzid:cvParam accession="MS:1001328" name="OMSSA:evalue" value="0.01"/>
</mzid:SpectrumIdentificationItem></mzid:SpectrumIdentificationResult>
</mzid:SpectrumIdentificationList></mzid:AnalysisData>
</mzid:DataCollection>
</mzid:MzIdentML>
)x";

const char kOpenMsRun[] =
    "BEGIN IONS\nTITLE=10.2-20.2-31.2.dta\nPEPMASS=500.2\n100 1\nEND IONS\n"
    "BEGIN IONS\nTITLE=no name here\nSCANS=77\nPEPMASS=500.2\n100 1\nEND IONS\n"
    "BEGIN IONS\nTITLE=x\nPEPMASS=500.2\n100 1\nEND IONS\n";

class SearchResults : public ScratchDirTest {
 protected:
  SearchResults() { filter_.modify_ini_directory = std::string(TESSERA_SOURCE_DIR) + "/data"; }

  // Reads through the factory, as the propagation does; false when the
  // reader reported a fault.
  bool Load(const std::string& name, const std::string& content) {
    const std::string p = Write(name, content);
    std::unique_ptr<CResultFile> reader(CResultFileFactory().GetResult(p));
    auto* search = dynamic_cast<CSearchResultFile*>(reader.get());
    if (!search) {
      ADD_FAILURE() << "no search-engine reader for " << name;
      return false;
    }
    search->SetFilter(filter_);
    reader->LoadResult(p, results_, data_path_, mods_);
    report_ = search->Report();
    return search->Succeeded();
  }

  std::string Report() const {
    std::string all;
    for (const std::string& line : report_) all += line + "\n";
    return all;
  }

  CIdentificationFilter filter_;
  ResultMap results_;
  std::string data_path_;
  ModificationList mods_;
  std::vector<std::string> report_;
  std::vector<std::string> messages_;
  notify::ScopedHandler capture_{[this](const std::string& m) { messages_.push_back(m); }};
};

}  // namespace

TEST(SearchResultFactory, ChoosesTheReaderByExtension) {
  CResultFileFactory factory;
  for (const char* p : {"a/run.pep.xml", "RUN.PEP.XML", "run.pepXML", "run.PepXml"}) {
    std::unique_ptr<CResultFile> r(factory.GetResult(p));
    EXPECT_NE(dynamic_cast<CPepXmlResultFile*>(r.get()), nullptr) << p;
  }
  for (const char* p : {"run.mzid", "RUN.MZID", "run.mzIdentML"}) {
    std::unique_ptr<CResultFile> r(factory.GetResult(p));
    EXPECT_NE(dynamic_cast<CMzIdentMlResultFile*>(r.get()), nullptr) << p;
  }
  for (const char* p : {"run.xml", "run.mzML", "pep.xml.txt"})
    EXPECT_EQ(std::unique_ptr<CResultFile>(factory.GetResult(p)), nullptr) << p;
}

TEST_F(SearchResults, CometHitsAtOnePercentWithModifications) {
  ASSERT_TRUE(Load("comet.pep.xml", kComet)) << (messages_.empty() ? "" : messages_[0]);
  // Ordered by expect: 1e-5 T, 1e-4 T (a shared peptide counts as target),
  // 1e-3 D, 1e-2 T: the last one's q-value is 1/3.
  const ResultMap expected = {{"run1.100.100.2.dta", "PEPCMK 0,1 3,2 4,3"},
                              {"run1.300.301.2.dta", "SHAREDK"}};
  EXPECT_EQ(results_, expected);
  const ModificationList expected_mods = {
      {"Acetyl_N-term", -1.0}, {"Carbamidomethyl", -1.0}, {"Oxidation", -1.0}};
  EXPECT_EQ(mods_, expected_mods);
  EXPECT_NE(Report().find("4 spectra with a rank-1 hit; 2 kept"), std::string::npos) << Report();
  EXPECT_NE(Report().find("1 decoy hits, 1 above the FDR level"), std::string::npos) << Report();

  // A looser level takes the last target too.
  filter_.fdr_level = 0.5;
  results_.clear();
  ASSERT_TRUE(Load("comet.pep.xml", kComet));
  EXPECT_EQ(results_.count("run1.400.400.2.dta"), 1u);
  EXPECT_EQ(results_.size(), 3u);

  // Every rank-1 hit, decoys too, for comparisons.
  filter_.keep_all = true;
  results_.clear();
  ASSERT_TRUE(Load("comet.pep.xml", kComet));
  EXPECT_EQ(results_.at("run1.200.200.3.dta"), "DECOYPEP 2,2");  // the fixed C from the header
  EXPECT_EQ(results_.size(), 4u);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SearchResults, TandemFixedAndTerminalModificationsUnderAThreshold) {
  filter_.has_score_threshold = true;
  filter_.score_threshold = 0.05;  // expect, the primary score over hyperscore
  ASSERT_TRUE(Load("tandem.pepXML", kTandem)) << (messages_.empty() ? "" : messages_[0]);
  // S+79.97 Phospho; D+14.016 is Methyl by mass though Methyl sits on K and
  // R; K+100 matches nothing; the C-terminal -0.984 matches nothing either;
  // both C carry the fixed carbamidomethyl from the header.
  const ResultMap expected = {
      {"tandem.run.7.7.3.dta", "ACSDKC 1,1 2,2 3,3 4,4 5,5 5,1"}};
  EXPECT_EQ(results_, expected);
  ASSERT_EQ(mods_.size(), 5u);
  EXPECT_EQ(mods_[0], (std::pair<std::string, double>("Carbamidomethyl", -1.0)));
  EXPECT_EQ(mods_[1].first, "Phospho");
  EXPECT_EQ(mods_[2].first, "Methyl");
  EXPECT_EQ(mods_[3].first, "Mod+100.0000");
  EXPECT_NEAR(mods_[3].second, 100.0, 1e-3);
  EXPECT_EQ(mods_[4].first, "Mod-0.9840");
  EXPECT_NE(Report().find("1 decoy hits, 1 beyond the score threshold"), std::string::npos) << Report();
}

TEST_F(SearchResults, MsgfMzIdentMl11) {
  ASSERT_TRUE(Load("msgf.mzid", kMsgf)) << (messages_.empty() ? "" : messages_[0]);
  // SpecEValue wins over the raw score; the rank-2 item is ignored though it
  // scores better; the decoy at 1e-9 cuts nothing below it but itself.
  const ResultMap expected = {{"BSA1.581.581.3.dta", "SHCIAEVEK 0,1 2,2 8,3"},
                              {"BSA1.615.615.2.dta", "LVNELTEFAK"}};
  EXPECT_EQ(results_, expected);
  const ModificationList expected_mods = {
      {"Acetyl_N-term", -1.0}, {"Carbamidomethyl", -1.0}, {"Mod-0.9840", -0.984016}};
  EXPECT_EQ(mods_, expected_mods);
  EXPECT_NE(Report().find("on SpecEValue"), std::string::npos) << Report();

  // The decoy's scan came from the scan-number parameter.
  filter_.keep_all = true;
  ASSERT_TRUE(Load("msgf.mzid", kMsgf));
  EXPECT_EQ(results_.at("BSA1.598.598.2.dta"), "KVEAICHS");
}

TEST_F(SearchResults, OpenMsMzIdentMl12WithSpectraCountedInTheRunFile) {
  Write("run 2.mgf", kOpenMsRun);
  ASSERT_TRUE(Load("openms.mzIdentML", kOpenMs)) << (messages_.empty() ? "" : messages_[0]);
  const ResultMap expected = {{"10.2-20.2-31.2.dta", "MPEPTIDEK 0,1"},
                              {"run_2.77.77.3.dta", "MPEPTIDEK 0,1"}};
  EXPECT_EQ(results_, expected);
  EXPECT_EQ(mods_, (ModificationList{{"Oxidation", -1.0}}));
}

struct BadFile {
  const char* name;
  std::string content;
  std::vector<const char*> said;  // fragments the message holds
};

class SearchResultFaults : public SearchResults,
                           public ::testing::WithParamInterface<BadFile> {
 protected:
  // A parameterised test's name holds slashes, which must not reach the
  // name of its scratch folder.
  void SetUp() override {
    scratch_ = std::make_unique<testsupport::CTempDir>("SearchResultFaults");
    dir_ = scratch_->Path();
  }
};

TEST_P(SearchResultFaults, AreNamedAndNothingIsUsed) {
  const BadFile& bad = GetParam();
  results_ = {{"KEPT", "X"}};
  EXPECT_FALSE(Load(bad.name, bad.content));
  EXPECT_EQ(results_, (ResultMap{{"KEPT", "X"}}));
  EXPECT_TRUE(mods_.empty());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find(bad.name), std::string::npos) << messages_[0];
  for (const char* fragment : bad.said)
    EXPECT_NE(messages_[0].find(fragment), std::string::npos) << messages_[0];
}

std::string Cut(const char* text, std::size_t keep) { return std::string(text).substr(0, keep); }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SearchResultFaults,
    ::testing::Values(
        BadFile{"cut.pep.xml", Cut(kComet, 1800), {"malformed XML", "line"}},
        BadFile{"nobase.pep.xml", Replace(kComet, "base_name=\"/data/run1\"", ""),
                {"<msms_run_summary>", "no base_name"}},
        BadFile{"scores.pep.xml", Replace(Replace(kComet, "\"expect\"", "\"myscore\""), "\"xcorr\"", "\"other\""),
                {"<search_hit>", "myscore", "other"}},
        BadFile{"nodecoy.pep.xml", Replace(kComet, "DECOY_", ""), {"no decoy hits", "score threshold"}},
        BadFile{"empty.mzid", "", {"malformed XML"}},
        BadFile{"index.mzid", Replace(kMsgf, "scan=615", "index=7"),
                {"index=7", "not an MGF file at hand", "<SpectrumIdentificationResult>"}},
        BadFile{"unknownpeptide.mzid", Replace(kMsgf, "peptide_ref=\"Pep3\" rank=\"1\"", "peptide_ref=\"PepX\" rank=\"1\""),
                {"PepX"}},
        BadFile{"other.mzid", "<?xml version=\"1.0\"?><root/>", {"no <SpectraData>"}}),
    [](const ::testing::TestParamInfo<BadFile>& info) {
      std::string n = info.param.name;
      return n.substr(0, n.find('.'));
    });

TEST_F(SearchResults, CometSearchOfOurMgfKeepsOurTitlesAsNames) {
  // Comet keeps an MGF spectrum's TITLE as its native id; titles of
  // cluster --mgf and dtaexport --mgf are this system's names.
  filter_.keep_all = true;
  ASSERT_TRUE(Load("mgf.pep.xml",
                   Replace(Replace(kComet, "spectrum=\"run1.00400.00400.2\"",
                                   "spectrumNativeID=\"10.2-20.2-31.2.dta\""),
                           "spectrum=\"run1.00100.00100.2\"", "spectrumNativeID=\"index=5\"")));
  EXPECT_EQ(results_.count("10.2-20.2-31.2.dta"), 1u);
  EXPECT_EQ(results_.count("run1.100.100.2.dta"), 1u);
  EXPECT_EQ(results_.count("run1.400.400.2.dta"), 0u);
}

TEST_F(SearchResults, MixedRunsAreNamedPerRun) {
  std::string two = kComet;
  const std::size_t end = two.find("</msms_pipeline_analysis>");
  std::string second = two.substr(two.find("<msms_run_summary"), end - two.find("<msms_run_summary"));
  second = Replace(second, "/data/run1", "/data/run2");
  two.insert(end, second);
  ASSERT_TRUE(Load("two.pep.xml", two));
  EXPECT_EQ(results_.count("run1.100.100.2.dta"), 1u);
  EXPECT_EQ(results_.count("run2.100.100.2.dta"), 1u);
  EXPECT_NE(Report().find("2 runs, spectra named per run: run1, run2"), std::string::npos) << Report();
}

// Run names and titles are named by the rule the importers name spectra by:
// blanks of a run's name become "_", and a title keeps only its last path
// component, so that "BSA1 copy.mzML" and its clusters meet.
TEST_F(SearchResults, RunNamesWithBlanksAndTitlesWithPathsMeetTheImportersNames) {
  filter_.keep_all = true;
  ASSERT_TRUE(Load("blank.pep.xml", Replace(Replace(kComet, "/data/run1", "/data/BSA1 copy"),
                                            "spectrum=\"run1.00400.00400.2\"",
                                            "spectrumNativeID=\"../other/keep.4.4.2.dta\"")));
  EXPECT_EQ(results_.count("BSA1_copy.100.100.2.dta"), 1u);
  EXPECT_EQ(results_.count("keep.4.4.2.dta"), 1u);
  for (const auto& entry : results_) EXPECT_EQ(entry.first.find(' '), std::string::npos) << entry.first;

  results_.clear();
  ASSERT_TRUE(Load("blank.mzid", Replace(kMsgf, "file:///data/BSA1.mzML", "file:///data/BSA1%20copy.mzML")));
  EXPECT_EQ(results_.count("BSA1_copy.581.581.3.dta"), 1u);
}

// One attribute of tens of megabytes reads in time proportional to its
// length (fed to the parser in blocks of a fixed size, each block made it
// read the whole unfinished tag again).
TEST_F(SearchResults, OneHugeAttributeReadsLikeAnyOtherFile) {
  ASSERT_TRUE(Load("plain.pep.xml", kComet));
  const ResultMap plain = results_;
  results_.clear();
  const std::string huge = " note=\"" + std::string(std::size_t{24} << 20, 'x') + "\"";
  ASSERT_TRUE(Load("huge.pep.xml", Replace(kComet, "peptide=\"WRONG\"", "peptide=\"WRONG\"" + huge)));
  EXPECT_EQ(results_, plain);
}

// Comet's search of the BSA1 run (data/BSA) against a Kiln list written from
// the same hits by an independent script (data/BSA/pepxml_to_kiln.py).
TEST_F(SearchResults, BsaCometRunReadsAsItsKilnList) {
  const std::string bsa = std::string(TESSERA_SOURCE_DIR) + "/data/BSA/";
  std::unique_ptr<CSearchResultFile> pepxml(new CPepXmlResultFile());
  pepxml->SetFilter(filter_);
  pepxml->LoadResult(bsa + "BSA1_Comet.pep.xml", results_, data_path_, mods_);
  ASSERT_TRUE(pepxml->Succeeded());
  ResultMap kiln;
  ModificationList kiln_mods;
  CKilnResultFile().LoadResult(bsa + "BSA1_Comet.spectra", kiln, data_path_, kiln_mods);
  EXPECT_EQ(results_.size(), 40u);
  // The Kiln list names spectra upper-cased, as its format has it; the
  // search-engine readers keep the run's spelling.
  ResultMap keyed;
  for (const auto& [name, identification] : results_) keyed.emplace(ResultSpectrumKey(name), identification);
  results_ = keyed;
  EXPECT_EQ(results_, kiln);
  EXPECT_EQ(mods_, kiln_mods);
  EXPECT_TRUE(messages_.empty());

  // OMSSA's identifications of the same run, named through the precursor
  // dump: where both engines identify a spectrum they name the same
  // peptide, which they could not if the scans were mapped differently.
  ResultMap omssa;
  ModificationList omssa_mods;
  CKilnResultFile().LoadResult(bsa + "BSA1_OMSSA.spectra", omssa, data_path_, omssa_mods);
  int shared = 0;
  for (const auto& [name, identification] : results_) {
    const auto other = omssa.find(name);
    if (other == omssa.end()) continue;
    ++shared;
    EXPECT_EQ(identification.substr(0, identification.find(' ')),
              other->second.substr(0, other->second.find(' ')))
        << name;
  }
  EXPECT_GE(shared, 25);
}

TEST(TargetDecoy, QValuesTreatTiesAsOneCut) {
  auto hit = [](double score, bool decoy) {
    CSearchHit h;
    h.scores[SCORE_XCORR] = score;
    h.decoy = decoy;
    return h;
  };
  // Higher xcorr is better: 5 T, 4 T + 4 D (tie), 3 T, 2 D, missing.
  std::vector<CSearchHit> hits = {hit(4, true), hit(5, false), hit(4, false), hit(3, false),
                                  hit(2, true), CSearchHit()};
  const std::vector<double> q = TargetDecoyQValues(hits, SCORE_XCORR);
  EXPECT_DOUBLE_EQ(q[1], 0.0);
  // The tie is one cut (1 decoy, 2 targets: 1/2); the next cut lowers it.
  EXPECT_DOUBLE_EQ(q[0], 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(q[2], 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(q[3], 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(q[4], 2.0 / 3.0);
  EXPECT_TRUE(std::isnan(q[5]));
}

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "desktop/shell/core/tests/StandIns.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/propagation_ui/PropagationCommands.h"
#include "tests/support/Files.h"

namespace {

const std::string kGolden = TESSERA_SOURCE_DIR "/propagation/tests/data/golden/";

}  // namespace

class PropagationCommandTest : public QObject {
  Q_OBJECT

  testsupport::CTempDir dir_{"PropagationCommandTest"};
  // The job's paths are relative to the working directory, as the desktop
  // program's are.
  testsupport::CCurrentDir inDir_{dir_.Path()};
  QString At(const char* name) const { return QString::fromStdString(dir_.File(name)); }

 private slots:
  void initTestCase() {
    for (const char* name : {"results.spectra", "clusters.csv", "pairs.csv", "job.para"})
      QVERIFY(QFile::copy(QString::fromStdString(kGolden + name), At(name)));
  }

  // The whole command: the dialog loads the job, OK runs it, and the
  // reports are those of the job's own golden run.
  void CommandRunsTheLoadedJob() {
    RecordedMessages messages;
    ScriptedChooser chooser;
    chooser.answers = {At("job.para")};
    QTimer driver;
    connect(&driver, &QTimer::timeout, [&driver] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      driver.stop();
      dialog->findChild<QPushButton*>(QStringLiteral("loadButton"))->click();
      dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    });
    driver.start(10);
    CTesseraDoc doc;
    RunPropagationCommand(nullptr, &doc);

    for (const char* report : {"_InnerPropagate.txt", "_InterPropagate.txt"})
      QCOMPARE(testsupport::ReadFile(dir_.File(std::string("job") + report)),
               testsupport::ReadFile(kGolden + "expected" + report));
    QCOMPARE(testsupport::ReadFile(dir_.File("pair_with_result.txt")),
             testsupport::ReadFile(kGolden + "expected_pair_with_result.txt"));
    QCOMPARE(messages.texts.size(), 1);
    const QString& report = messages.texts[0];
    QVERIFY2(report.contains(QStringLiteral("Identified before propagation: 6\n")), qPrintable(report));
    QVERIFY(report.contains(QStringLiteral("Site determination: off")));
    QVERIFY(report.contains("  " + At("job_InterPropagate.txt") + "\n"));
    QVERIFY(report.contains("  " + At("pair_with_result.txt") + "\n"));
  }

  // Each unreadable input is named and nothing runs: an earlier report
  // stays as it was.
  void UnreadableInputsRunNothing_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("said");
    QTest::newRow("result missing") << "ResultFile" << "none.spectra"
                                    << "Result file: File: none.spectra does not exist!";
    QTest::newRow("result of unknown type") << "ResultFile" << "pairs.csv"
                                            << "Result file: Unknown result file type:pairs.csv";
    QTest::newRow("pair file missing") << "PairFile" << "none.csv"
                                       << "Pair file: File: none.csv does not exist!";
    QTest::newRow("pair folder without pair files") << "PairFile" << "empty"
                                                    << "no .csv or .txt file in the directory empty";
    QTest::newRow("cluster file is a folder") << "ClusterFile" << "empty"
                                              << "Cluster file: Can not open file:empty";
    QTest::newRow("data path missing") << "DTAPath" << "nodata"
                                       << "Data path: File: nodata does not exist!";
  }

  void UnreadableInputsRunNothing() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, said);
    QVERIFY(QDir().mkpath(At("empty")));
    std::string para = testsupport::ReadFile(dir_.File("job.para"));
    para += (key + "=" + value + "\n").toStdString();  // the last line of a key wins
    dir_.Write("bad.para", para);
    dir_.Write("bad_InterPropagate.txt", "earlier report\n");

    RecordedMessages messages;
    const CPropagationOutcome outcome = RunPropagationJob(nullptr, "bad.para", true);
    QVERIFY(!outcome.ran);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY2(messages.texts[0].contains(said), qPrintable(messages.texts[0]));
    QCOMPARE(testsupport::ReadFile(dir_.File("bad_InterPropagate.txt")), std::string("earlier report\n"));
    QVERIFY(!QFile::exists(At("bad_InnerPropagate.txt")));
  }

  // A report that cannot be written is no success, though the job ran.
  void UnwrittenReportIsNoSuccess() {
    QVERIFY(QFile::copy(At("job.para"), At("blocked.para")));
    QVERIFY(QDir().mkpath(At("blocked_InterPropagate.txt")));
    RecordedMessages messages;
    const CPropagationOutcome outcome = RunPropagationJob(nullptr, "blocked.para", false);
    QVERIFY(outcome.ran);
    QVERIFY(!outcome.succeeded);
    QVERIFY(outcome.report.startsWith(QStringLiteral("Propagation finished, but not every report")));
    QVERIFY(outcome.report.contains(QStringLiteral("Can not save file:blocked_InterPropagate.txt")));
  }

  // A search engine's file: the reader's account of what it kept comes
  // first, then the counts the console program prints.
  void SearchEngineReportIsShown() {
    dir_.Write("engine_clusters.csv",
               "1,BSA1.670.670.2.dta,1,1444.6\n2,BSA1.747.747.2.dta,1,1444.6\n"
               "3,BSA1.999999.999999.2.dta,1,1444.6\n");
    dir_.Write("engine_pairs.csv", "");
    dir_.Write("engine.para", "PairFile=engine_pairs.csv\nResultFile=" TESSERA_SOURCE_DIR
                              "/data/BSA/BSA1_Comet.pep.xml\nClusterFile=engine_clusters.csv\n");
    RecordedMessages messages;
    const CPropagationOutcome outcome = RunPropagationJob(nullptr, "engine.para", false);
    QVERIFY2(outcome.succeeded, qPrintable(outcome.report));
    const QString& report = outcome.report;
    const qsizetype kept = report.indexOf(QStringLiteral("971 spectra with a rank-1 hit; 40 kept"));
    QVERIFY2(kept > 0 && kept < report.indexOf(QStringLiteral("Identified before propagation: 40\n")),
             qPrintable(report));
    QVERIFY(report.contains(QStringLiteral("Identified spectra present in the cluster file: 2 of 40\n")));
    QVERIFY(report.contains(QStringLiteral("Spectra identified by propagation: 1\n")));
  }

  void MissingParameterFileIsSaid() {
    RecordedMessages messages;
    QVERIFY(!RunPropagationJob(nullptr, "gone.para", false).ran);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(messages.texts[0].contains(QStringLiteral("Can not open file: gone.para")));
  }
};

QTEST_MAIN(PropagationCommandTest)
#include "PropagationCommandTest.moc"

// The job runner with the real back ends: a job's table reaches the
// document, a failed job is said so and changes nothing.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QtTest>

#include "desktop/shell/ClusterDlg.h"
#include "desktop/shell/JobRunner.h"
#include "desktop/shell/ShiftscanDlg.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/tests/StandIns.h"


namespace {

const QString kSourceDir = QStringLiteral(TESSERA_SOURCE_DIR);
const QString kBinDir = QStringLiteral(TESSERA_BIN_DIR);

// Three spectra with the same fragments, 16 and 28 Da apart.
void WriteShiftedSpectra(const QString& folder) {
  QDir().mkpath(folder);
  for (const char* mass : {"1000.0", "1016.0", "1044.0"}) {
    std::string text = std::string(mass) + " 2\n";
    for (int peak = 150; peak < 1000; peak += 71) text += std::to_string(peak) + " 100\n";
    const int whole = std::atoi(mass);
    WriteText(QStringLiteral("%1/r.%2.%2.2.dta").arg(folder).arg(whole), text);
  }
}

}  // namespace

class JobRunnerTest : public QObject {
  Q_OBJECT

 private:
  // Jobs make the working directory current; the next test class gets its own back.
  const QString startDirectory_ = QDir::currentPath();
  QTemporaryDir dir_{startDirectory_ + QStringLiteral("/runnerXXXXXX")};
  QString Path(const QString& name) const { return dir_.filePath(name); }

  // A clustering job set up through its dialog, as the user would.
  CJobRunner::Outcome RunClusterFromDialog(CTesseraDoc& doc, CJobRunner& runner, bool withConstraint) {
    CClusterDlg dialog(&doc);
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("cluster_para.txt"));
    dialog.findChild<QCheckBox*>(QStringLiteral("withConstraint"))->setChecked(withConstraint);
    dialog.findChild<QLineEdit*>(QStringLiteral("dataPath"))->setText(Path(QStringLiteral("dta")));
    dialog.findChild<QLineEdit*>(QStringLiteral("clusterResult"))->setText(Path(QStringLiteral("clusters.csv")));
    dialog.OnStart();
    return runner.RunCluster(dialog.Parameters(), dialog.ClusterType(), dialog.ClusterResult());
  }

 private slots:
  void initTestCase() { WriteShiftedSpectra(Path(QStringLiteral("dta"))); }
  void cleanupTestCase() { QDir::setCurrent(startDirectory_); }

  void SecondJobReplacesTheFirstJobsRows() {
    RecordedMessages recorder;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    CJobRunner runner(&doc, nullptr);
    runner.SetProgramDirectory(kBinDir);
    int changes = 0;
    connect(&doc, &CTesseraDoc::Changed, this, [&changes] { ++changes; });
    // A marker left by some earlier run is not this job's verdict.
    WriteText(Path(QStringLiteral("error_happened.error")), "");

    QCOMPARE(RunClusterFromDialog(doc, runner, false), CJobRunner::Outcome::Loaded);
    QVERIFY2(recorder.texts.isEmpty(), qPrintable(recorder.texts.join('\n')));
    const std::string pairTable =
        "16.000000,1, 0, 0, 0, 0, 0\n28.000000,1, 0, 0, 0, 0, 0\n44.000000,1, 0, 0, 0, 0, 0\n";
    QCOMPARE(ReadText(Path(QStringLiteral("Mod_result.csv"))), pairTable);
    QVERIFY(!QFile::exists(Path(QStringLiteral("temp.temp"))));
    QVERIFY(!QFile::exists(Path(QStringLiteral("error_happened.error"))));
    QVERIFY(QFile::exists(Path(QStringLiteral("cluster.log"))));
    QCOMPARE(doc.ResultRows().size(), size_t{3});
    QCOMPARE(doc.HistogramPoints()[1].mass, 28.0);
    QVERIFY(doc.DataLoaded());
    QCOMPARE(changes, 1);

    // Shiftscan on a small precursor dump: its two shifts replace the three.
    QFile::copy(kSourceDir + QStringLiteral("/moddetect/tests/data/small.dump"), Path(QStringLiteral("small.dump")));
    WriteText(Path(QStringLiteral("small.txt")),
              "[DATA]\nfilepath=small.dump\nfiletype=dump\nmasslower=400\nmassupper=6000\n"
              "[MODIFICATION]\nmodmasslower=1\nmodmassupper=40\n"
              "[PAIR]\nfindpair=1\nppthres=0.98\ndtaname=golden\npairpath=pairs\n[OTHER]\nmaxndata=5000\n");
    QDir(dir_.path()).mkdir(QStringLiteral("pairs"));
    doc.SetViewState(1);
    QCOMPARE(runner.RunShiftscan(Path(QStringLiteral("small.txt"))), CJobRunner::Outcome::Loaded);
    const std::string shiftTable = ReadText(kSourceDir + QStringLiteral("/moddetect/tests/data/small.temp.temp"));
    QCOMPARE(ReadText(Path(QStringLiteral("Mod_result.csv"))), shiftTable);
    QCOMPARE(doc.ResultRows().size(), size_t{2});
    QCOMPARE(doc.ResultRows()[0].mass, 15.99504);
    QCOMPARE(doc.ViewState(), 0);
    QVERIFY(!QFile::exists(Path(QStringLiteral("temp.temp"))));
    QCOMPARE(runner.LastSummary(), QStringLiteral("Shiftscan: 2 mass shifts loaded (Mod_result.csv)"));
    QVERIFY(recorder.texts.isEmpty());
  }

  void ShiftscanConfigurationFromTheDialogRuns() {
    RecordedMessages recorder;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    CJobRunner runner(&doc, nullptr);
    runner.SetProgramDirectory(kBinDir);
    CShiftscanDlg dialog;
    ScriptedChooser chooser;
    // The dialog proposes a pair folder beside the run: a copy keeps it out
    // of the source tree.
    const QString run = Path(QStringLiteral("bsa_small.mzML"));
    QVERIFY(QFile::copy(kSourceDir + QStringLiteral("/spectra/tests/data/bsa_small.mzML"), run));
    chooser.open = run;
    chooser.save = Path(QStringLiteral("shiftscan.txt"));
    dialog.OnDataBrowse();
    dialog.OnOk();
    // The raw-file road: Shiftscan hands the run to Gannet and reads its dump.
    QCOMPARE(runner.RunShiftscan(dialog.ConfigurationPath()), CJobRunner::Outcome::Loaded);
    QVERIFY(recorder.texts.isEmpty());
    QVERIFY(ReadText(Path(QStringLiteral("Shiftscan.log"))).find("potential modifications are discovered") !=
            std::string::npos);
    QVERIFY(QFile::exists(Path(QStringLiteral("Mod_result.csv"))));
    QVERIFY(doc.DataLoaded());
  }

  void FailuresLeaveTheDocumentAlone() {
    RecordedMessages recorder;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    WriteText(Path(QStringLiteral("before.csv")), "1.5,7\n");
    QVERIFY(doc.LoadHistogramData(Path(QStringLiteral("before.csv")).toStdString()));
    CJobRunner runner(&doc, nullptr);
    runner.SetProgramDirectory(kBinDir);
    int changes = 0;
    connect(&doc, &CTesseraDoc::Changed, this, [&changes] { ++changes; });

    // The back end's marker: deleted, said with the job's name and output.
    WriteText(Path(QStringLiteral("bad.txt")), "[DATA]\nfilepath=nowhere.dump\nfiletype=dump\n");
    QCOMPARE(runner.RunShiftscan(Path(QStringLiteral("bad.txt"))), CJobRunner::Outcome::Failed);
    QVERIFY(!QFile::exists(Path(QStringLiteral("error_happened.error"))));
    QCOMPARE(recorder.texts.size(), 1);
    QVERIFY(recorder.texts[0].startsWith(QStringLiteral("The Shiftscan job failed.")));
    QVERIFY(recorder.texts[0].contains(QStringLiteral("Last lines of ") + Path(QStringLiteral("Shiftscan.log"))));

    // A back end that is not there.
    QTemporaryDir empty;
    runner.SetProgramDirectory(empty.path());
    QCOMPARE(runner.RunShiftscan(Path(QStringLiteral("bad.txt"))), CJobRunner::Outcome::NotStarted);
    QVERIFY(recorder.texts.last().contains(empty.filePath(QStringLiteral("Shiftscan")) +
                                              QStringLiteral(" does not exist")));

    // A back end that ends well but leaves no table, and one that dies.
    const struct {
      const char* body;
      const char* said;
      const char* logLine;
    } scripts[] = {{"echo reading; echo nothing found", "wrote no mass-shift table", "nothing found"},
                   {"echo started >&2; kill -9 $$", "ended abnormally", "started"},
                   {"exit 3", "exit status 3", ""}};
    for (const auto& script : scripts) {
      const QString fake = empty.filePath(QStringLiteral("Shiftscan"));
      WriteText(fake, std::string("#!/bin/sh\n") + script.body + "\n");
      QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      QCOMPARE(runner.RunShiftscan(Path(QStringLiteral("bad.txt"))), CJobRunner::Outcome::Failed);
      const QString& message = recorder.texts.last();
      QVERIFY2(message.contains(QLatin1String(script.said)) && message.contains(QLatin1String(script.logLine)),
               qPrintable(message));
    }

    QCOMPARE(changes, 0);
    QCOMPARE(doc.ResultRows().size(), size_t{1});
    QCOMPARE(doc.ResultRows()[0].text, std::string("1.5,7\n"));
    QVERIFY(!doc.DataLoaded());
  }

  void ClusteringReportsItsClusterFile() {
    RecordedMessages recorder;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    CJobRunner runner(&doc, nullptr);
    runner.SetProgramDirectory(kBinDir);
    QCOMPARE(RunClusterFromDialog(doc, runner, true), CJobRunner::Outcome::Finished);
    QCOMPARE(recorder.texts.size(), 1);
    QVERIFY(recorder.texts[0].contains(Path(QStringLiteral("clusters.csv"))));
    QVERIFY(QFile::exists(Path(QStringLiteral("clusters.csv"))));
    QVERIFY(doc.ResultRows().empty());
    QVERIFY(!doc.DataLoaded());
  }
};

QObject* NewJobRunnerTest() { return new JobRunnerTest; }

#include "JobRunnerTest.moc"

// The job runner with the real back ends: a job's table reaches the
// document, a failed job is said so and changes nothing; and with stand-in
// back ends: a cancelled job ends with all its processes and leaves nothing
// half-written.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include "common/SafeFile.h"
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

// A back end that does not end on its own: it starts a helper (which must
// end with it), writes into its outputs, says "started" and waits.
const char* const kSlowBackEnd =
    "sleep 60 &\n"
    "echo $! > helper.pid\n"
    "printf half > temp.temp\n"
    "mkdir -p made && echo x > made/pair_m1.000000_p0.98.csv\n"
    "echo x > kept/pair_m2.000000_p0.98.csv\n"
    "echo x > kept/old.csv\n"
    "echo started\n"
    "wait\n";

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
    return runner.RunCluster(dialog.Parameters());
  }

  // The stand-in's job in the scratch folder: "kept" holds a file of the
  // user's, "made" does not exist yet.
  CJobRunner::Job SlowJob(const QString& backEnds) {
    QDir work(dir_.path());
    work.mkpath(QStringLiteral("kept"));
    WriteText(Path(QStringLiteral("kept/mine.csv")), "the user's\n");
    WriteText(Path(QStringLiteral("kept/old.csv")), "an earlier run's\n");
    QDir(Path(QStringLiteral("made"))).removeRecursively();
    WriteBackEnd(backEnds, "Shiftscan", kSlowBackEnd);
    CJobRunner::Job job;
    job.name = job.program = QStringLiteral("Shiftscan");
    job.parameterFile = Path(QStringLiteral("any.txt"));
    job.outputFolders = QStringList{Path(QStringLiteral("made")), Path(QStringLiteral("kept"))};
    return job;
  }
  qint64 HelperPid() const { return QString::fromStdString(ReadText(Path(QStringLiteral("helper.pid")))).trimmed().toLongLong(); }

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
    // The job's own copy, named after its configuration, is what the
    // recent-file list keeps.
    QCOMPARE(runner.LastTable(), Path(QStringLiteral("small_shifts.csv")));
    QCOMPARE(ReadText(runner.LastTable()), shiftTable);
    QCOMPARE(runner.LastSummary(), QStringLiteral("Shiftscan: 2 mass shifts loaded (small_shifts.csv)"));
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
    QVERIFY(recorder.texts[0].contains(QStringLiteral("From ") + Path(QStringLiteral("Shiftscan.log"))));
    // The lines that say why, not the banner and the key prompt.
    QVERIFY2(recorder.texts[0].contains(QStringLiteral("Cannot read raw temp file: nowhere.dump")),
             qPrintable(recorder.texts[0]));
    for (const char* chatter : {"Press any key", "Tessera version", "-----", "fast detection"})
      QVERIFY2(!recorder.texts[0].contains(QLatin1String(chatter)), chatter);

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
    // The pair search before wrote its pairs under that name: asked first.
    QCOMPARE(recorder.questions.size(), 1);
    QVERIFY(recorder.questions[0].contains(Path(QStringLiteral("clusters.csv"))));
    QVERIFY(recorder.texts[0].contains(Path(QStringLiteral("clusters.csv"))));
    QVERIFY(QFile::exists(Path(QStringLiteral("clusters.csv"))));
    QVERIFY(doc.ResultRows().empty());
    QVERIFY(!doc.DataLoaded());
  }

  // Escape in the progress window asks; a yes ends the back end and the
  // helper it started, and removes what they wrote: the table, a folder the
  // job made, and its new and rewritten files in a folder that was there.
  // The main window stays up meanwhile, and the document keeps its data.
  void CancelEndsTheJobAndRemovesWhatItWrote() {
    RecordedMessages recorder;
    QTemporaryDir backEnds;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    QWidget window;
    window.show();
    CJobRunner runner(&doc, &window);
    runner.SetProgramDirectory(backEnds.path());
    QSignalSpy finished(&runner, &CJobRunner::JobFinished);
    const CJobRunner::Job job = SlowJob(backEnds.path());
    QVERIFY(runner.Start(job));
    QVERIFY(window.isVisible());
    QVERIFY(runner.IsRunning());
    const qint64 pid = runner.ProcessId();
    QTRY_VERIFY(ReadText(Path(QStringLiteral("Shiftscan.log"))).find("started") != std::string::npos);
    const qint64 helper = HelperPid();
    QVERIFY(helper > 0 && !ProcessEnded(helper));
    // A second job waits for the first.
    QVERIFY(!runner.Start(job));
    QVERIFY(recorder.texts.takeLast().contains(QStringLiteral("still running")));

    QWidget* progress = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("jobProgress") && w->isVisible()) progress = w;
    QVERIFY(progress);
    recorder.answer = false;
    QTest::keyClick(progress, Qt::Key_Escape);
    QCOMPARE(recorder.questions.size(), 1);
    QVERIFY(runner.IsRunning());
    recorder.answer = true;
    QTest::keyClick(progress, Qt::Key_Escape);

    QCOMPARE(finished.size(), 1);
    QCOMPARE(runner.LastOutcome(), CJobRunner::Outcome::Cancelled);
    QVERIFY(runner.LastSummary().contains(QStringLiteral("cancelled")));
    QVERIFY(!runner.IsRunning());
    QVERIFY(ProcessEnded(pid));
    QTRY_VERIFY(ProcessEnded(helper));
    QVERIFY(!QFile::exists(Path(QStringLiteral("temp.temp"))));
    QVERIFY(!QFile::exists(Path(QStringLiteral("made"))));
    QVERIFY(!QFile::exists(Path(QStringLiteral("kept/pair_m2.000000_p0.98.csv"))));
    QVERIFY(!QFile::exists(Path(QStringLiteral("kept/old.csv"))));
    QCOMPARE(ReadText(Path(QStringLiteral("kept/mine.csv"))), std::string("the user's\n"));
    QVERIFY(recorder.texts.isEmpty());
    QVERIFY(!doc.DataLoaded());
  }

  // The pair search appends to its score log: a cancel cuts an earlier log
  // back to what it held, and removes one the job began.
  void CancelCutsTheScoreLogBack() {
    RecordedMessages recorder;
    QTemporaryDir backEnds;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    CJobRunner runner(&doc, nullptr);
    runner.SetProgramDirectory(backEnds.path());
    WriteBackEnd(backEnds.path(), "cluster", "echo 0.5 >> score.txt\necho started\nexec sleep 60\n");
    const QString log = Path(QStringLiteral("score.txt"));
    for (const bool earlier : {true, false}) {
      QFile::remove(log);
      if (earlier) WriteText(log, "0.9\n0.8\n");
      QVERIFY(runner.Start(runner.ClusterJob(Path(QStringLiteral("pairs.para")))));
      QTRY_VERIFY(ReadText(Path(QStringLiteral("cluster.log"))).find("started") != std::string::npos);
      runner.Cancel();
      QCOMPARE(runner.LastOutcome(), CJobRunner::Outcome::Cancelled);
      if (earlier)
        QCOMPARE(ReadText(log), std::string("0.9\n0.8\n"));
      else
        QVERIFY(!QFile::exists(log));
    }
    QVERIFY(recorder.texts.isEmpty());
  }

  // Two windows in one folder: the second job waits, leaving the first
  // one's log alone, until the first has ended; a waiting job can be
  // cancelled and has written nothing. A run holding the folder's lock (a
  // pair search started in a console) holds a job up the same way.
  void JobsOfTwoWindowsTakeTheFolderInTurn() {
    RecordedMessages recorder;
    QTemporaryDir backEnds;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    WriteBackEnd(backEnds.path(), "Shiftscan",
                 "echo \"job $1\"\nwhile [ ! -e release ]; do sleep 0.05; done\nprintf '15.99,3\\n' > temp.temp\n");
    CJobRunner first(&doc, nullptr);
    CJobRunner second(&doc, nullptr);
    for (CJobRunner* runner : {&first, &second}) runner->SetProgramDirectory(backEnds.path());
    CJobRunner::Job job;
    job.name = job.program = QStringLiteral("Shiftscan");
    const QString log = Path(QStringLiteral("Shiftscan.log"));
    const QString release = Path(QStringLiteral("release"));
    QFile::remove(release);

    job.parameterFile = QStringLiteral("first");
    QVERIFY(first.Start(job));
    QTRY_COMPARE(ReadText(log), std::string("job first\n"));
    job.parameterFile = QStringLiteral("second");
    QVERIFY(second.Start(job));
    QVERIFY(second.IsWaiting() && second.IsRunning());
    QCOMPARE(second.ProcessId(), 0);
    QVERIFY(second.RequestCancel());
    QCOMPARE(second.LastOutcome(), CJobRunner::Outcome::Cancelled);
    QVERIFY(second.Start(job));
    QTest::qWait(300);
    QVERIFY(second.IsWaiting());
    QCOMPARE(ReadText(log), std::string("job first\n"));
    WriteText(release, "");
    QTRY_COMPARE(first.LastOutcome(), CJobRunner::Outcome::Loaded);
    QTRY_COMPARE(second.LastOutcome(), CJobRunner::Outcome::Loaded);
    QCOMPARE(ReadText(log), std::string("job second\n"));

    safefile::CFolderLock console;
    QVERIFY(console.Acquire(dir_.path().toStdString(), safefile::CFolderLock::Mode::kNoWait));
    job.parameterFile = QStringLiteral("third");
    QVERIFY(first.Start(job));
    QTest::qWait(300);
    QVERIFY(first.IsWaiting());
    QCOMPARE(ReadText(log), std::string("job second\n"));
    console.Release();
    QTRY_VERIFY(!first.IsRunning());
    QCOMPARE(first.LastOutcome(), CJobRunner::Outcome::Loaded);
    QCOMPARE(ReadText(log), std::string("job third\n"));
    QVERIFY(recorder.texts.isEmpty());
  }

  // The program quitting (the runner going) ends a running job with all
  // its processes.
  void RunnerGoingEndsTheJob() {
    QTemporaryDir backEnds;
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    auto runner = std::make_unique<CJobRunner>(&doc, nullptr);
    runner->SetProgramDirectory(backEnds.path());
    QVERIFY(runner->Start(SlowJob(backEnds.path())));
    const qint64 pid = runner->ProcessId();
    QTRY_VERIFY(ReadText(Path(QStringLiteral("Shiftscan.log"))).find("started") != std::string::npos);
    const qint64 helper = HelperPid();
    runner.reset();
    QVERIFY(ProcessEnded(pid));
    QTRY_VERIFY(ProcessEnded(helper));
  }

  void ReasonLinesLeaveOutTheBanner() {
    WriteText(Path(QStringLiteral("chatty.log")),
              "\x1b[H\x1b[2J-----|\nTessera version v1.0\nShiftscan: fast detection      |\n-----|\n"
              "Reading data...Gannet: run.mzML: not indexed\r\ndone(0)\nPress any key to continue...\n");
    QCOMPARE(CJobRunner::ReasonLines(Path(QStringLiteral("chatty.log")), 8),
             (QStringList{"Reading data...Gannet: run.mzML: not indexed", "done(0)"}));
    QCOMPARE(CJobRunner::ReasonLines(Path(QStringLiteral("chatty.log")), 1), QStringList{"done(0)"});
  }
};

QObject* NewJobRunnerTest() { return new JobRunnerTest; }

#include "JobRunnerTest.moc"

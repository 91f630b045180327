// The main window's own behaviour: what its buttons and menus say they do,
// the pane heights and the status bar, the recent-file list, the tables it
// opens, and a running job when the window closes.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include "desktop/shell/JobRunner.h"
#include "desktop/shell/MainFrame.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/tests/StandIns.h"
#include "desktop/shell/views/MyListView.h"

class MainFrameTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_{QDir::currentPath() + QStringLiteral("/frameXXXXXX")};
  QString Path(const QString& name) const { return dir_.filePath(name); }

  // A Shiftscan job of a stand-in back end that writes `body`.
  CJobRunner::Job StandInJob(CMainFrame& frame, const QString& backEnds, const std::string& body) {
    WriteBackEnd(backEnds, "Shiftscan", body);
    frame.Document()->SetWorkingDirectory(dir_.path().toStdString());
    frame.Runner()->SetProgramDirectory(backEnds);
    CJobRunner::Job job;
    job.name = job.program = QStringLiteral("Shiftscan");
    job.parameterFile = Path(QStringLiteral("standin.txt"));
    return job;
  }

 private slots:
  void WindowButtonsAndPanes() {
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    QCOMPARE(frame.windowTitle(), QStringLiteral("Tessera v1.0"));
    const QList<QAction*> buttons = frame.ToolbarActions();
    QCOMPARE(buttons.size(), 5);
    // Each job button's prompt names the job it starts.
    QCOMPARE(buttons[0]->statusTip(), QStringLiteral("Shiftscan"));
    QCOMPARE(buttons[1]->statusTip(), QStringLiteral("MS/MS clustering"));
    QCOMPARE(buttons[2]->statusTip(), QStringLiteral("Propagation"));
    QCOMPARE(buttons[3]->statusTip(), QStringLiteral("Spectral pair search"));
    for (QAction* button : buttons) QVERIFY(button->isEnabled());
    for (QAction* button : buttons) QCOMPARE(button->icon().actualSize(QSize(72, 72)), QSize(72, 72));

    frame.resize(900, 1000);
    frame.show();
    QTRY_VERIFY(frame.Splitter()->sizes().value(0) > 3 * frame.Splitter()->sizes().value(1));
    const QList<int> sizes = frame.Splitter()->sizes();
    QVERIFY(qAbs(sizes[0] - 4 * sizes[1]) < 20);
  }

  // Every menu item does something: no greyed leftovers (the recent-file
  // list's placeholder aside), File > Open is there with its Ctrl+O, and
  // the labels are spelt as words.
  void MenusHoldOnlyLiveCommands() {
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    QStringList texts;
    for (QAction* menu : frame.menuBar()->actions()) {
      for (QAction* item : menu->menu()->actions()) {
        if (item->isSeparator() || !item->isVisible()) continue;
        texts << item->text();
        if (item->text() != QLatin1String("Latest Files")) QVERIFY2(item->isEnabled(), qPrintable(item->text()));
      }
    }
    for (const char* gone : {"Test", "Best Bin", "Get Mod Pair", "Exit(&X)"}) QVERIFY(!texts.contains(QLatin1String(gone)));
    for (const char* there : {"&Open Mass-Shift Table...", "&Export List as TSV...", "E&xit", "&Cluster Data...",
                              "Spectral &Pair...", "&Parameters...", "Zoom &Back", "&About Tessera..."})
      QVERIFY2(texts.contains(QLatin1String(there)), there);
    QAction* open = nullptr;
    for (QAction* item : frame.menuBar()->actions().first()->menu()->actions())
      if (item->text() == QLatin1String("&Open Mass-Shift Table...")) open = item;
    QCOMPARE(open->shortcut(), QKeySequence(QKeySequence::Open));

    // The about box says what the program is, its version and the licence
    // of the Unimod data it carries.
    QString about;
    QTimer::singleShot(0, this, [&about] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box) return;
      about = box->findChild<QLabel*>(QStringLiteral("aboutText"))->text();
      box->close();
    });
    frame.OnAbout();
    for (const char* said : {"Version 1.0", "tandem mass spectra", "Unimod", "Design Science License"})
      QVERIFY2(about.contains(QLatin1String(said)), said);
  }

  // The message takes the bar's width; the lock indicators keep to its end.
  void StatusBarMessageUsesTheWidth() {
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    frame.resize(1200, 700);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QWidget* indicators = frame.statusBar()->findChild<QWidget*>(QStringLiteral("lockIndicators"));
    QVERIFY(indicators->geometry().left() > frame.statusBar()->width() - 250);
  }

  void RecentFilesKeepTheLastFourAndComeBack() {
    ScratchSettings settings;
    RecordedMessages recorder;
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    QStringList opened;
    for (int i = 0; i < 6; ++i) {
      const QString path = Path(QStringLiteral("table%1.csv").arg(i));
      WriteText(path, std::to_string(10 + i) + ".5,3\n");
      QVERIFY(frame.OpenTable(path));
      opened.prepend(path);
    }
    QVERIFY(frame.OpenTable(opened[2]));  // reopening moves it to the front
    QCOMPARE(CMainFrame::RecentFiles(), (QStringList{opened[2], opened[0], opened[1], opened[3]}));
    QCOMPARE(doc.ResultRows().size(), size_t{1});
    QCOMPARE(doc.ResultRows()[0].mass, 13.5);

    QVERIFY(!frame.OpenTable(Path(QStringLiteral("gone.csv"))));
    QCOMPARE(recorder.texts, QStringList{QStringLiteral("Can not open file: ") + Path(QStringLiteral("gone.csv"))});
    QCOMPARE(doc.ResultRows()[0].mass, 13.5);

    // A recent file deleted since, chosen from the menu: said so, and off
    // the list.
    QFile::remove(opened[1]);
    QAction* deleted = nullptr;
    for (QAction* item : frame.menuBar()->actions().first()->menu()->actions())
      if (item->isVisible() && item->data().toString() == opened[1]) deleted = item;
    QVERIFY(deleted);
    deleted->trigger();
    QCOMPARE(recorder.texts.last(),
             QStringLiteral("File: %1 does not exist! It was taken off the recent files.").arg(opened[1]));
    QCOMPARE(CMainFrame::RecentFiles(), (QStringList{opened[2], opened[0], opened[3]}));
    QVERIFY(!deleted->isVisible() || deleted->data().toString() != opened[1]);
    QCOMPARE(doc.ResultRows()[0].mass, 13.5);

    // The next start shows the last table again.
    CTesseraDoc next;
    CMainFrame restarted(&next);
    QVERIFY(restarted.RestoreLastTable());
    QCOMPARE(next.ResultRows()[0].mass, 13.5);
    QVERIFY(next.DataLoaded());
  }

  // A cluster file is no table of shifts: refused, and the window keeps
  // what it showed. An empty table is one, and empties the list as well.
  void OpenRefusesOtherTablesAndFollowsEmptyOnes() {
    RecordedMessages recorder;
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    WriteText(Path(QStringLiteral("shifts.csv")), "15.9949,40\n31.97,9\n");
    QVERIFY(frame.OpenTable(Path(QStringLiteral("shifts.csv"))));
    QTRY_COMPARE(frame.List()->rowCount(), 2);

    WriteText(Path(QStringLiteral("clusters.csv")), "1,BSA1.100.100.2.dta,722.33\n2,BSA1.101.101.2.dta,500.1\n");
    QVERIFY(!frame.OpenTable(Path(QStringLiteral("clusters.csv"))));
    QCOMPARE(recorder.texts.size(), 1);
    QVERIFY(recorder.texts[0].contains(QStringLiteral("is not a mass-shift table: line 1")));
    QCOMPARE(doc.ResultRows().size(), size_t{2});

    WriteText(Path(QStringLiteral("none.csv")), "");
    QVERIFY(frame.OpenTable(Path(QStringLiteral("none.csv"))));
    QTRY_COMPARE(frame.List()->rowCount(), 0);
  }

  // A job's table enters the recent files; the job buttons rest while a
  // job runs, and the window stays up.
  void JobResultsEnterTheRecentFiles() {
    ScratchSettings settings;
    QTemporaryDir backEnds;
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    frame.show();
    const CJobRunner::Job job = StandInJob(frame, backEnds.path(), "sleep 0.3\nprintf '15.99,3\\n' > temp.temp\n");
    QVERIFY(frame.Runner()->Start(job));
    QVERIFY(!frame.ToolbarActions()[0]->isEnabled());
    QVERIFY(frame.isVisible());
    QTRY_VERIFY(!frame.Runner()->IsRunning());
    QCOMPARE(frame.Runner()->LastOutcome(), CJobRunner::Outcome::Loaded);
    QVERIFY(frame.ToolbarActions()[0]->isEnabled());
    QCOMPARE(CMainFrame::RecentFiles().value(0), Path(QStringLiteral("standin_shifts.csv")));
  }

  // Closing the window with a job running asks; a yes ends the job before
  // the window goes, a no keeps both.
  void ClosingEndsTheRunningJob() {
    RecordedMessages recorder;
    QTemporaryDir backEnds;
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    frame.show();
    QVERIFY(frame.Runner()->Start(StandInJob(frame, backEnds.path(), "exec sleep 60\n")));
    const qint64 pid = frame.Runner()->ProcessId();
    recorder.answer = false;
    QVERIFY(!frame.close());
    QVERIFY(frame.Runner()->IsRunning());
    recorder.answer = true;
    QVERIFY(frame.close());
    QCOMPARE(recorder.questions.size(), 2);
    QVERIFY(!frame.Runner()->IsRunning());
    QVERIFY(ProcessEnded(pid));
  }
};

QObject* NewMainFrameTest() { return new MainFrameTest; }

#include "MainFrameTest.moc"

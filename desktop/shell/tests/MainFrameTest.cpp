// The main window's own behaviour: what its buttons say they do, the pane
// heights and the recent-file list.

#include <QAction>
#include <QSplitter>
#include <QStatusBar>
#include <QtTest>

#include "desktop/shell/MainFrame.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/tests/StandIns.h"


class MainFrameTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_{QDir::currentPath() + QStringLiteral("/frameXXXXXX")};

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
    QVERIFY(!buttons[3]->isEnabled());  // no command behind it
    for (QAction* button : buttons) QCOMPARE(button->icon().actualSize(QSize(72, 72)), QSize(72, 72));

    frame.resize(900, 1000);
    frame.show();
    QTRY_VERIFY(frame.Splitter()->sizes().value(0) > 3 * frame.Splitter()->sizes().value(1));
    const QList<int> sizes = frame.Splitter()->sizes();
    QVERIFY(qAbs(sizes[0] - 4 * sizes[1]) < 20);
  }

  void RecentFilesKeepTheLastFour() {
    RecordedMessages recorder;
    CTesseraDoc doc;
    CMainFrame frame(&doc);
    QStringList opened;
    for (int i = 0; i < 6; ++i) {
      const QString path = dir_.filePath(QStringLiteral("table%1.csv").arg(i));
      WriteText(path, std::to_string(10 + i) + ".5,3\n");
      QVERIFY(frame.OpenTable(path));
      opened.prepend(path);
    }
    QVERIFY(frame.OpenTable(opened[2]));  // reopening moves it to the front
    QCOMPARE(CMainFrame::RecentFiles(), (QStringList{opened[2], opened[0], opened[1], opened[3]}));
    QCOMPARE(doc.ResultRows().size(), size_t{1});
    QCOMPARE(doc.ResultRows()[0].mass, 13.5);

    QVERIFY(!frame.OpenTable(dir_.filePath(QStringLiteral("gone.csv"))));
    QCOMPARE(recorder.texts, QStringList{QStringLiteral("Can not open file:") + dir_.filePath(QStringLiteral("gone.csv"))});
    QCOMPARE(doc.ResultRows()[0].mass, 13.5);
  }
};

QObject* NewMainFrameTest() { return new MainFrameTest; }

#include "MainFrameTest.moc"

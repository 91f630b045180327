#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include "desktop/shell/propagation_ui/PropagationDlg.h"
#include "desktop/shell/core/tests/StandIns.h"
#include "tests/support/Files.h"

class PropagationDlgTest : public QObject {
  Q_OBJECT

  testsupport::CTempDir dir_{"PropagationDlgTest"};
  QString At(const QString& name) const { return QString::fromStdString(dir_.File(name.toStdString())); }

  static void Type(CPropagationDlg& dialog, const char* edit, const QString& text) {
    QLineEdit* field = Child<QLineEdit>(dialog, edit);
    field->clear();
    QTest::keyClicks(field, text);
  }
  void FillInputs(CPropagationDlg& dialog) {
    Child<QLineEdit>(dialog, "pairEdit")->setText(At("pairs.csv"));
    Child<QLineEdit>(dialog, "resultEdit")->setText(At("ids.spectra"));
  }

 private slots:
  void initTestCase() {
    for (const char* input : {"pairs.csv", "ids.spectra", "clusters.csv"}) dir_.Write(input, "");
    QVERIFY(QDir().mkpath(At("spectra")));
  }

  // Default values, then every control changed; names typed without the
  // extension get it, since the job drops the last five characters.
  void SaveAsWritesTheParameterFile() {
    RecordedMessages messages;
    ScriptedChooser chooser;
    CPropagationDlg dialog;
    dialog.SetSaveDirectory(dir_.Path().string());
    FillInputs(dialog);
    chooser.answers = {At("default.para"), At("edited")};
    QVERIFY(dialog.SaveAs());
    QCOMPARE(chooser.asked.front().proposed, At("pairs.para"));
    const std::string base = "PairFile=" + At("pairs.csv").toStdString() +
                             "\nResultFile=" + At("ids.spectra").toStdString() + "\n";
    QCOMPARE(testsupport::ReadFile(dir_.File("default.para")),
             base + "ClusterFile=\nDTAPath=\nModCounT=1\nIsModSiteDetermined=0\nIsDirectory=0\n");
    QVERIFY(dialog.IsSaved());

    Child<QLineEdit>(dialog, "clusterEdit")->setText(At("clusters.csv"));
    Child<QLineEdit>(dialog, "dataEdit")->setText(At("spectra"));
    Child<QComboBox>(dialog, "modCountCombo")->setCurrentIndex(2);
    QTest::mouseClick(Child<QCheckBox>(dialog, "siteCheck"), Qt::LeftButton);
    QVERIFY(!dialog.IsSaved());
    QTest::mouseClick(Child<QCheckBox>(dialog, "directoryCheck"), Qt::LeftButton);
    // The search-engine filter: only the keys given are written.
    Type(dialog, "fdrEdit", QStringLiteral("5%"));
    Type(dialog, "decoyPrefixEdit", QStringLiteral(" rev_,DECOY_ "));
    QVERIFY(!dialog.IsSaved());
    QVERIFY(dialog.SaveAs());
    QCOMPARE(dialog.ParaPath(), At("edited.para").toStdString());
    QCOMPARE(testsupport::ReadFile(dir_.File("edited.para")),
             base + "ClusterFile=" + At("clusters.csv").toStdString() + "\nDTAPath=" +
                 At("spectra").toStdString() +
                 "\nModCounT=3\nIsModSiteDetermined=1\nIsDirectory=1\nFdrLevel=5%\n"
                 "DecoyPrefix=rev_,DECOY_\n");
    QVERIFY(messages.texts.isEmpty());

    // A value the job would refuse, or a missing cluster file, stops the
    // save before the chooser opens.
    Type(dialog, "scoreThresholdEdit", QStringLiteral("high"));
    QVERIFY(!dialog.SaveAs());
    QCOMPARE(messages.texts, QStringList{"Score threshold high is not a number"});
    Child<QLineEdit>(dialog, "scoreThresholdEdit")->clear();
    Child<QLineEdit>(dialog, "clusterEdit")->setText(At("gone.csv"));
    messages.texts.clear();
    QVERIFY(!dialog.SaveAs());
    QCOMPARE(chooser.asked.size(), size_t{2});
    QCOMPARE(messages.texts, QStringList{"Cluster File: File: " + At("gone.csv") + " does not exist!"});
  }

  void LoadShowsTheFileAsTheJobReadsIt() {
    RecordedMessages messages;
    ScriptedChooser chooser;
    dir_.Write("loaded.para", "PAIRFILE=" + dir_.File("pairs.csv") + "\r\nResultFile=" + dir_.File("ids.spectra") +
                                  "\nClusterFile=\nmodcount=2\nIsModSiteDetermined=1\nIsDirectory=0\n"
                                  "ScoreThreshold=0.95\n");
    CPropagationDlg dialog;
    // Typed before loading; the file has no cluster file, so none is shown.
    Child<QLineEdit>(dialog, "clusterEdit")->setText(At("clusters.csv"));
    chooser.answers = {At("loaded.para"), At("saved-again.para")};
    QVERIFY(dialog.Load());
    QVERIFY(dialog.IsSaved());
    QCOMPARE(Child<QLineEdit>(dialog, "pairEdit")->text(), At("pairs.csv"));
    QCOMPARE(Child<QLineEdit>(dialog, "resultEdit")->text(), At("ids.spectra"));
    QCOMPARE(Child<QLineEdit>(dialog, "clusterEdit")->text(), QString());
    QCOMPARE(Child<QComboBox>(dialog, "modCountCombo")->currentIndex(), 1);
    QVERIFY(Child<QCheckBox>(dialog, "siteCheck")->isChecked());
    QVERIFY(!Child<QCheckBox>(dialog, "directoryCheck")->isChecked());
    QCOMPARE(Child<QLineEdit>(dialog, "scoreThresholdEdit")->text(), QStringLiteral("0.95"));
    QCOMPARE(Child<QLineEdit>(dialog, "fdrEdit")->text(), QString());

    // Saving what was loaded writes the file back in the dialog's own form.
    QVERIFY(dialog.SaveAs());
    QCOMPARE(testsupport::ReadFile(dir_.File("saved-again.para")),
             "PairFile=" + At("pairs.csv").toStdString() + "\nResultFile=" +
                 At("ids.spectra").toStdString() +
                 "\nClusterFile=\nDTAPath=\nModCounT=2\nIsModSiteDetermined=1\nIsDirectory=0\n"
                 "ScoreThreshold=0.95\n");

    chooser.answers = {At("missing.para")};
    QVERIFY(!dialog.Load());
    QCOMPARE(messages.texts, QStringList{"Can not open file: " + At("missing.para")});
    QCOMPARE(dialog.ParaPath(), At("saved-again.para").toStdString());
  }

  void OkRules_data() {
    QTest::addColumn<QString>("pair");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("loadFirst");
    QTest::addColumn<bool>("typeAfterLoad");
    QTest::addColumn<QString>("saveAnswer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("choosersAsked");
    QTest::addColumn<QString>("message");
    const QString pair = At("pairs.csv");
    const QString ids = At("ids.spectra");
    const QString gone = At("gone.spectra");
    // Each message names its field, an empty one too.
    QTest::newRow("result missing") << pair << gone << false << false << QString() << false << 0
                                    << "Result File: File: " + gone + " does not exist!";
    QTest::newRow("pair missing") << gone << ids << false << false << QString() << false << 0
                                  << "Pair File: File: " + gone + " does not exist!";
    QTest::newRow("both empty") << QString() << QString() << false << false << QString() << false << 0
                                << "Result File: the field is empty; choose a file first.\n"
                                   "Pair File: the field is empty; choose a file first.";
    QTest::newRow("unsaved: Save as first") << pair << ids << false << false << At("ok.para")
                                            << true << 1 << QString();
    QTest::newRow("Save as cancelled") << pair << ids << false << false << QString() << false << 1
                                       << QString();
    QTest::newRow("loaded: runs as loaded") << pair << ids << true << false << QString() << true
                                            << 1 << QString();
    QTest::newRow("typed after load: saved again") << pair << ids << true << true << At("ok2.para")
                                                   << true << 2 << QString();
  }

  void OkRules() {
    QFETCH(QString, pair);
    QFETCH(QString, result);
    QFETCH(bool, loadFirst);
    QFETCH(bool, typeAfterLoad);
    QFETCH(QString, saveAnswer);
    QFETCH(bool, closes);
    QFETCH(int, choosersAsked);
    QFETCH(QString, message);
    RecordedMessages messages;
    ScriptedChooser chooser;
    CPropagationDlg dialog;
    dialog.show();
    if (loadFirst) {
      dir_.Write("ok-load.para",
                 "PairFile=" + pair.toStdString() + "\nResultFile=" + result.toStdString() + "\nModCounT=1\n");
      chooser.answers.push_back(At("ok-load.para"));
      QVERIFY(dialog.Load());
      if (typeAfterLoad) Type(dialog, "resultEdit", result);
    } else {
      Child<QLineEdit>(dialog, "pairEdit")->setText(pair);
      Child<QLineEdit>(dialog, "resultEdit")->setText(result);
    }
    chooser.answers.push_back(saveAnswer);
    QTest::mouseClick(Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    QCOMPARE(dialog.isVisible(), !closes);
    QCOMPARE(dialog.result() == QDialog::Accepted, closes);
    QCOMPARE(static_cast<int>(chooser.asked.size()), choosersAsked);
    QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList{message});
    if (closes) QVERIFY(QFile::exists(QString::fromStdString(dialog.ParaPath())));
  }

  void ProposedFileName_data() {
    QTest::addColumn<QString>("pairFile");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("folder with a space") << "run 1/pairs.csv" << "pairs.para";
    QTest::newRow("plain folder") << "data/pairs.csv" << "pairs.para";
    QTest::newRow("space in the name") << "data/my pairs.txt" << "pairs.para";
    QTest::newRow("backslash separators") << "D:\\data\\run 1\\pairs.csv" << "pairs.para";
  }

  void ProposedFileName() {
    QFETCH(QString, pairFile);
    QFETCH(QString, proposed);
    const QString pair = At(pairFile);
    QVERIFY(QDir().mkpath(QFileInfo(pair).path()));
    testsupport::WriteFile(pair.toStdString(), "");
    RecordedMessages messages;
    ScriptedChooser chooser;
    CPropagationDlg dialog;
    dialog.SetSaveDirectory(dir_.Path().string());
    FillInputs(dialog);
    Child<QLineEdit>(dialog, "pairEdit")->setText(pair);
    QVERIFY(!dialog.SaveAs());  // cancelled
    QCOMPARE(chooser.asked.size(), size_t{1});
    QCOMPARE(chooser.asked.front().proposed, At(proposed));
  }

  // A browse fills its field and makes the saved file stale; a cancelled
  // browse changes nothing. The pair browse asks for a folder when pairs are
  // browsed as a directory.
  void BrowseFillsTheFieldAndClearsSaved() {
    RecordedMessages messages;
    ScriptedChooser chooser;
    CPropagationDlg dialog;
    FillInputs(dialog);
    chooser.answers = {At("saved.para"), QString(), At("spectra")};
    QVERIFY(dialog.SaveAs());
    QTest::mouseClick(Child<QPushButton>(dialog, "pairBrowse"), Qt::LeftButton);
    QVERIFY(dialog.IsSaved());
    QCOMPARE(chooser.asked[1].kind, desktop::ChooserKind::OpenFile);
    QTest::mouseClick(Child<QCheckBox>(dialog, "directoryCheck"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(dialog, "pairBrowse"), Qt::LeftButton);
    QCOMPARE(chooser.asked[2].kind, desktop::ChooserKind::Directory);
    QCOMPARE(chooser.asked[2].title, QStringLiteral("Directory of pair files:"));
    QCOMPARE(Child<QLineEdit>(dialog, "pairEdit")->text(), At("spectra"));
    QVERIFY(!dialog.IsSaved());
  }

  // The result browse offers search engines' files beside the toolkit's
  // own, under their usual spellings, even where names are case-sensitive;
  // the pair browse offers both kinds of pair file at once.
  void ChoosersOfferEveryUsableFile_data() {
    QTest::addColumn<QString>("browse");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("offered");
    for (const char* name : {"ids.spectra", "ids.tagram", "ids.Tagram", "comet.pep.xml", "COMET.PEP.XML",
                             "tandem.pepXML", "tandem.pepxml", "msgf.mzid", "MSGF.MZID", "openms.mzIdentML",
                             "openms.mzidentml"})
      QTest::newRow(name) << "resultBrowse" << name << true;
    for (const char* name : {"pairs.csv", "run.xml", "run.mzML", "ids.spectra.bak"})
      QTest::newRow(name) << "resultBrowse" << name << false;
    for (const char* name : {"pairs.csv", "pair_m15.994900_p0.98.csv", "cluster.txt", "PAIRS.CSV"})
      QTest::newRow(qPrintable(QStringLiteral("pair ") + name)) << "pairBrowse" << name << true;
    QTest::newRow("pair run.mzML") << "pairBrowse" << "run.mzML" << false;
  }

  void ChoosersOfferEveryUsableFile() {
    QFETCH(QString, browse);
    QFETCH(QString, name);
    QFETCH(bool, offered);
    ScriptedChooser chooser;
    CPropagationDlg dialog;
    QTest::mouseClick(Child<QPushButton>(dialog, browse.toLatin1().constData()), Qt::LeftButton);
    QCOMPARE(chooser.asked.size(), size_t{1});
    // The first filter is the one the dialog opens with.
    const QString first = desktop::CaseTolerantFilters(chooser.asked[0].filter).section(QStringLiteral(";;"), 0, 0);
    const QString patterns = first.section(QLatin1Char('('), 1).chopped(1);
    bool matched = false;
    for (const QString& pattern : patterns.split(QLatin1Char(' ')))
      matched = matched || QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch();
    QVERIFY2(matched == offered, qPrintable(first));
  }

  // Reports of an earlier run of the same parameter file are replaced only
  // when the user agrees; a no keeps the dialog open.
  void OkAsksBeforeReplacingReports() {
    RecordedMessages messages;
    ScriptedChooser chooser;
    CPropagationDlg dialog;
    dialog.show();
    dir_.Write("reports.para", "PairFile=" + dir_.File("pairs.csv") + "\nResultFile=" + dir_.File("ids.spectra") +
                                   "\nModCounT=1\n");
    const std::string earlier = dir_.Write("reports_InterPropagate.txt", "an earlier run\n");
    chooser.answers = {At("reports.para")};
    QVERIFY(dialog.Load());
    messages.answer = false;
    QTest::mouseClick(Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    QCOMPARE(messages.questions.size(), 1);
    QVERIFY(messages.questions[0].contains(QString::fromStdString(earlier)));
    QVERIFY(dialog.isVisible());
    messages.answer = true;
    QTest::mouseClick(Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(messages.texts.isEmpty());
  }
};

QTEST_MAIN(PropagationDlgTest)
#include "PropagationDlgTest.moc"

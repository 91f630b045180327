// The clustering and Shiftscan dialogs: the files they write, their
// validation and messages, when a saved parameter file still counts, what
// they ask before a job replaces earlier results, and what they remember.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "desktop/shell/ClusterDlg.h"
#include "desktop/shell/ShiftscanDlg.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/tests/StandIns.h"


namespace {

QLineEdit* Edit(QWidget* d, const char* name) { return Child<QLineEdit>(*d, name); }
QComboBox* Combo(QWidget* d, const char* name) { return Child<QComboBox>(*d, name); }
QCheckBox* Box(QWidget* d, const char* name) { return Child<QCheckBox>(*d, name); }

std::string ClusterFile(const std::string& type, const std::string& data, const std::string& out,
                        const std::string& result, const std::string& preprocessing,
                        const std::string& similarity, const std::string& cluster,
                        const std::string& modification = "lower_mass=6\nupper_mass=200\ncluster_masses_tol=0.010000\n") {
  return "[clustername]\ncluster_name=\n[file]\ndata_type=" + type + "\ndata_directory=" + data +
         "\nout_directory=" + out + "\ncluster_result=" + result + "\n[preprocessing]\n" + preprocessing +
         "scale=sqrt\n[similarity]\n" + similarity + "[cluster]\n" + cluster + "[modification]\n" + modification;
}

}  // namespace

class DialogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_{QDir::currentPath() + QStringLiteral("/dialogXXXXXX")};
  QString Path(const QString& name) const { return dir_.filePath(name); }
  std::string Dir() const { return dir_.path().toStdString() + "/"; }

 private slots:
  void ClusterDefaultsWriteTheExpectedFile() {
    CTesseraDoc doc;
    doc.SetWorkingDirectory(dir_.path().toStdString());
    doc.SetLastDataPath("/data/previous");
    CClusterDlg dialog(&doc);
    // The last job's data path seeds the output folder.
    QCOMPARE(Edit(&dialog, "representativePath")->text(), QStringLiteral("/data/previous_new"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}_[A-Z][a-z]{2}_\\d{2}$"))
                .match(Edit(&dialog, "experimentName")->text())
                .hasMatch());
    Edit(&dialog, "experimentName")->setText(QStringLiteral("exp1"));
    const QString run = Path(QStringLiteral("run1"));
    QDir().mkpath(run);
    Edit(&dialog, "dataPath")->setText(run);
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("default.txt"));
    dialog.OnStart();

    QCOMPARE(chooser.asked.back().proposed, QStringLiteral("exp1.txt"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Parameters(), *chooser.save);
    QCOMPARE(dialog.Program(), QStringLiteral("cluster"));
    QCOMPARE(dialog.ClusterType(), 0);
    QCOMPARE(dialog.DataPath(), run);
    QCOMPARE(ReadText(*chooser.save),
             ClusterFile("0", run.toStdString(), run.toStdString() + "_new", Dir() + "cluster.csv",
                         "small_peaks_count_filter=10\npeak_select_method=2\nwhole_top_peak_num=30\n"
                         "part_top_peak_num=5\npart_top_peak_per_num=100\n",
                         "similar_method=1\nfragment_ion_tol=0.50\nfragment_ion_tol_type=Da\n",
                         "cluster_type=0\ncluster_method=0\nprecursor_ion_tol=2.50\nprecursor_ion_tol_type=Da\n"
                         "consensus_type=0\nconsensus_fragment_tol=0.400000\nconsensus_fragment_tol_type=Da\n"
                         "threshold=0.60\n"));
  }

  void ClusterEditedValuesWriteTheExpectedFile() {
    CTesseraDoc doc;
    CClusterDlg dialog(&doc);
    dialog.OnToggleLayout();
    Box(&dialog, "withConstraint")->setChecked(false);
    Combo(&dialog, "dataType")->setCurrentIndex(2);
    const QString mgf = Path(QStringLiteral("x.mgf"));
    WriteText(mgf, "");
    Edit(&dialog, "dataPath")->setText(mgf);
    Edit(&dialog, "clusterResult")->setText(QStringLiteral("/out/pairs.csv"));
    Combo(&dialog, "similarityMethod")->setCurrentIndex(3);
    Combo(&dialog, "consensusMethod")->setCurrentIndex(2);
    Edit(&dialog, "threshold")->setText(QStringLiteral("0.75"));
    Edit(&dialog, "spectralFiltering")->setText(QStringLiteral("5"));
    Combo(&dialog, "peakSelection")->setCurrentIndex(0);
    Edit(&dialog, "topN")->setText(QStringLiteral("40"));
    Edit(&dialog, "topM")->setText(QStringLiteral("7"));
    Edit(&dialog, "pairMassLower")->setText(QStringLiteral("10"));
    Edit(&dialog, "pairMassUpper")->setText(QStringLiteral("150"));
    Edit(&dialog, "pairMassTol")->setText(QStringLiteral("0.02"));
    Edit(&dialog, "precursorTol")->setText(QStringLiteral("20"));
    Combo(&dialog, "precursorUnit")->setCurrentIndex(1);
    Edit(&dialog, "fragmentTol")->setText(QStringLiteral("0.3"));
    Edit(&dialog, "mergeTol")->setText(QStringLiteral("0.25"));
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("edited.txt"));
    dialog.OnSaveAs();

    QVERIFY(dialog.IsSaved());
    QCOMPARE(dialog.ClusterType(), 1);
    QCOMPARE(dialog.DataTypeIndex(), 2);
    QCOMPARE(ReadText(*chooser.save),
             ClusterFile("2", mgf.toStdString(), mgf.toStdString() + "_new", "/out/pairs.csv",
                         "small_peaks_count_filter=5\npeak_select_method=0\nwhole_top_peak_num=40\n"
                         "part_top_peak_num=7\npart_top_peak_per_num=100\n",
                         "similar_method=3\nfragment_ion_tol=0.30\nfragment_ion_tol_type=Da\n",
                         "cluster_type=1\ncluster_method=0\nprecursor_ion_tol=20.00\nprecursor_ion_tol_type=ppm\n"
                         "consensus_type=2\nconsensus_fragment_tol=0.250000\nconsensus_fragment_tol_type=Da\n"
                         "threshold=0.75\nscore_log=0\n",
                         "lower_mass=10\nupper_mass=150\ncluster_masses_tol=0.020000\n"));
  }

  // The pair search writes its score log only when asked (the key is
  // written only to turn it off); clustering has none, and its file keeps
  // its form whatever the box says.
  void ScoreLogOnlyWhenAsked_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("keyWritten");
    QTest::newRow("pairs, box off") << 1 << false << true;
    QTest::newRow("pairs, box on") << 1 << true << false;
    QTest::newRow("clustering, box on") << 0 << true << false;
  }
  void ScoreLogOnlyWhenAsked() {
    QFETCH(int, type);
    QFETCH(bool, ticked);
    QFETCH(bool, keyWritten);
    ScratchSettings settings;
    RecordedMessages recorder;
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("log.txt"));
    CTesseraDoc doc;
    {
      CClusterDlg dialog(&doc);
      QVERIFY(!Box(&dialog, "scoreLog")->isChecked());
      dialog.SetClusterType(1);
      Box(&dialog, "scoreLog")->setChecked(ticked);
      dialog.SetClusterType(type);
      QCOMPARE(Box(&dialog, "scoreLog")->isEnabled(), false);  // compact: out of reach
      Edit(&dialog, "dataPath")->setText(dir_.path());
      dialog.OnStart();
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(ReadText(*chooser.save).find("score_log=0\n") != std::string::npos, keyWritten);
    CClusterDlg again(&doc);
    QCOMPARE(Box(&again, "scoreLog")->isChecked(), ticked);
    QVERIFY(recorder.texts.isEmpty() && recorder.questions.isEmpty());
  }

  void ClusterEditsThatInvalidateTheSave_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("clears");
    for (const char* edit : {"constraint", "layout", "similarity", "threshold", "dataPath", "dataBrowse",
                             "representativeBrowse", "resultBrowse"})
      QTest::newRow(edit) << QString::fromLatin1(edit) << true;
    for (const char* edit : {"fragmentTol", "dataType", "precursorUnit", "experimentName", "emptyDataPath"})
      QTest::newRow(edit) << QString::fromLatin1(edit) << false;
  }

  void ClusterEditsThatInvalidateTheSave() {
    QFETCH(QString, edit);
    QFETCH(bool, clears);
    CTesseraDoc doc;
    CClusterDlg dialog(&doc);
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("saved.txt"));
    chooser.folder = dir_.path();
    Edit(&dialog, "dataPath")->setText(dir_.path());
    dialog.OnSaveAs();
    QVERIFY(dialog.IsSaved());

    if (edit == "constraint") Box(&dialog, "withConstraint")->setChecked(false);
    if (edit == "layout") dialog.OnToggleLayout();
    if (edit == "similarity") Combo(&dialog, "similarityMethod")->setCurrentIndex(4);
    if (edit == "threshold") Edit(&dialog, "threshold")->setText(QStringLiteral("0.7"));
    if (edit == "dataPath") Edit(&dialog, "dataPath")->setText(QStringLiteral("/d"));
    if (edit == "dataBrowse") dialog.OnDataBrowse();
    if (edit == "representativeBrowse") Child<QPushButton>(dialog, "representativeBrowse")->click();
    if (edit == "resultBrowse") Child<QPushButton>(dialog, "clusterResultBrowse")->click();
    if (edit == "fragmentTol") Edit(&dialog, "fragmentTol")->setText(QStringLiteral("0.9"));
    if (edit == "dataType") Combo(&dialog, "dataType")->setCurrentIndex(3);
    if (edit == "precursorUnit") Combo(&dialog, "precursorUnit")->setCurrentIndex(1);
    if (edit == "experimentName") Edit(&dialog, "experimentName")->setText(QStringLiteral("other"));
    if (edit == "emptyDataPath") Edit(&dialog, "dataPath")->clear();
    QCOMPARE(dialog.IsSaved(), !clears);
  }

  void ClusterMessagesAndChoosers() {
    RecordedMessages recorder;
    CTesseraDoc doc;
    ScriptedChooser chooser;

    {  // Start, save box cancelled: back in the dialog with what was typed;
       // Cancel closes it with nothing to run.
      CClusterDlg dialog(&doc);
      dialog.show();
      Edit(&dialog, "dataPath")->setText(dir_.path());
      Edit(&dialog, "threshold")->setText(QStringLiteral("0.8"));
      QTest::mouseClick(Child<QPushButton>(dialog, "start"), Qt::LeftButton);
      QCOMPARE(chooser.asked.size(), size_t{1});
      QVERIFY(dialog.isVisible());
      QCOMPARE(Edit(&dialog, "threshold")->text(), QStringLiteral("0.8"));
      QTest::mouseClick(Child<QPushButton>(dialog, "cancel"), Qt::LeftButton);
      QVERIFY(!dialog.isVisible());
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      QVERIFY(dialog.Parameters().isEmpty());
      QVERIFY(dialog.Program().isEmpty());
    }
    {  // Confirmed without a name.
      CClusterDlg dialog(&doc);
      Edit(&dialog, "dataPath")->setText(dir_.path());
      chooser.save = QString();
      dialog.OnSaveAs();
      QVERIFY(!dialog.IsSaved());
      QCOMPARE(recorder.texts.takeLast(), QStringLiteral("You have to write a name..."));
    }
    {  // A file that cannot be written is said so and not handed on.
      CClusterDlg dialog(&doc);
      Edit(&dialog, "dataPath")->setText(dir_.path());
      chooser.save = Path(QStringLiteral("no/such/dir/p.txt"));
      dialog.OnSaveAs();
      QVERIFY(!dialog.IsSaved());
      QVERIFY(dialog.Parameters().isEmpty());
      QCOMPARE(recorder.texts.takeLast(), QStringLiteral("Can not save file: ") + *chooser.save);
    }
    {  // Data browse: a missing file is refused; "dta" always asks for a folder.
      CClusterDlg dialog(&doc);
      chooser.open = QStringLiteral("/no/such/run.mgf");
      chooser.folder = dir_.path();
      Combo(&dialog, "dataType")->setCurrentIndex(2);
      dialog.OnDataBrowse();
      QCOMPARE(recorder.texts.takeLast(), QStringLiteral("Can not find file: /no/such/run.mgf"));
      QVERIFY(chooser.asked.back().filter.startsWith(QStringLiteral("mgf file (*.mgf)")));
      // The mzML type offers mzXML runs as well.
      Combo(&dialog, "dataType")->setCurrentIndex(4);
      dialog.OnDataBrowse();
      recorder.texts.takeLast();
      QVERIFY(chooser.asked.back().filter.startsWith(QStringLiteral("mzML or mzXML run (*.mzML *.mzXML)")));
      QVERIFY(Edit(&dialog, "dataPath")->text().isEmpty());
      Combo(&dialog, "dataType")->setCurrentIndex(0);
      dialog.OnDataBrowse();
      QCOMPARE(dialog.DataPath(), dir_.path());
      QCOMPARE(Edit(&dialog, "representativePath")->text(), dir_.path() + QStringLiteral("_new"));
    }
    QVERIFY(recorder.texts.isEmpty());
  }

  void ClusterLayoutConstraintAndNumericFields() {
    CTesseraDoc doc;
    CClusterDlg dialog(&doc);
    auto* toggle = Child<QPushButton>(dialog, "layoutToggle");
    QCOMPARE(toggle->text(), QStringLiteral("&Advanced>>"));
    // Compact: the advanced fields are out of reach.
    QVERIFY(!Edit(&dialog, "fragmentTol")->isEnabled());
    dialog.OnToggleLayout();
    QCOMPARE(toggle->text(), QStringLiteral("<<&Normal"));
    QVERIFY(Edit(&dialog, "fragmentTol")->isEnabled());
    QVERIFY(Edit(&dialog, "precursorTol")->isEnabled());
    Box(&dialog, "withConstraint")->setChecked(false);
    for (const char* name : {"precursorTol", "representativePath"}) QVERIFY(!Edit(&dialog, name)->isEnabled());
    for (const char* name : {"precursorUnit", "consensusMethod"}) QVERIFY(!Combo(&dialog, name)->isEnabled());
    QVERIFY(!Child<QPushButton>(dialog, "representativeBrowse")->isEnabled());
    dialog.OnToggleLayout();
    dialog.OnToggleLayout();
    QVERIFY(!Edit(&dialog, "precursorTol")->isEnabled());

    QLineEdit* threshold = Edit(&dialog, "threshold");
    threshold->clear();
    QTest::keyClicks(threshold, QStringLiteral("0a.7b-5 "));
    QCOMPARE(threshold->text(), QStringLiteral("0.7-5"));
    QCOMPARE(dialog.Threshold(), 0.7);
  }

  // Values the job cannot run with keep the dialog open with a message
  // naming them; nothing is saved.
  void ClusterRefusesValuesItCannotRun_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("said");
    QTest::newRow("threshold above 1") << "threshold" << "7.5" << "Threshold";
    QTest::newRow("threshold below 0") << "threshold" << "-0.1" << "Threshold";
    QTest::newRow("no data path") << "dataPath" << "" << "Data path";
    QTest::newRow("missing data") << "dataPath" << "/no/such/run.mgf"
                                  << "Data path: File: /no/such/run.mgf does not exist!";
    QTest::newRow("N not a number") << "topN" << "abc" << "N must";
    QTest::newRow("M zero") << "topM" << "0" << "M must";
    QTest::newRow("precursor tol 0") << "precursorTol" << "0" << "Precursor tol";
    QTest::newRow("fragment tol text") << "fragmentTol" << "0.5x" << "Fragment tol";
    QTest::newRow("reversed shifts") << "pairMassLower" << "250" << "lower end 250 must lie below the upper end 200";
    QTest::newRow("negative shift") << "pairMassLower" << "-6"
                                    << "Mass shift: the lower end must be a whole number, 0 or more: \"-6\"";
    QTest::newRow("shift tolerance 0") << "pairMassTol" << "0" << "Mass tolerance";
  }
  void ClusterRefusesValuesItCannotRun() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, said);
    RecordedMessages recorder;
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("refused.txt"));
    CTesseraDoc doc;
    CClusterDlg dialog(&doc);
    dialog.SetClusterType(1);
    Edit(&dialog, "dataPath")->setText(dir_.path());
    Edit(&dialog, field.toLatin1().constData())->setText(value);
    dialog.OnStart();
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(!dialog.IsSaved());
    QVERIFY(chooser.asked.empty());
    QCOMPARE(recorder.texts.size(), 1);
    QVERIFY2(recorder.texts[0].contains(said), qPrintable(recorder.texts[0]));
  }

  // Clustering and the pair search keep result names of their own, so a
  // pair search never takes the cluster file's name; an existing result,
  // and clustering's per-spectrum table beside it, are replaced only when
  // the user agrees.
  void ClusterResultNamesAndReplacing() {
    RecordedMessages recorder;
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("replace.txt"));
    CTesseraDoc doc;
    doc.SetWorkingDirectory(Dir());
    CClusterDlg dialog(&doc);
    QLineEdit* result = Edit(&dialog, "clusterResult");
    QCOMPARE(result->text(), Path(QStringLiteral("cluster.csv")));
    dialog.SetClusterType(1);
    QCOMPARE(result->text(), Path(QStringLiteral("pairs.csv")));
    result->setText(Path(QStringLiteral("mine.csv")));
    dialog.SetClusterType(0);
    QCOMPARE(result->text(), Path(QStringLiteral("cluster.csv")));
    dialog.SetClusterType(1);
    QCOMPARE(result->text(), Path(QStringLiteral("mine.csv")));

    WriteText(Path(QStringLiteral("mine.csv")), "an earlier job's pairs\n");
    WriteText(Path(QStringLiteral("clusters.tsv")), "an earlier clustering's table\n");
    Edit(&dialog, "dataPath")->setText(dir_.path());
    recorder.answer = false;
    dialog.OnStart();
    QCOMPARE(recorder.questions.size(), 1);
    QVERIFY(recorder.questions[0].contains(Path(QStringLiteral("mine.csv"))));
    QVERIFY(!recorder.questions[0].contains(QStringLiteral("clusters.tsv")));  // the pair search writes none
    QVERIFY(!dialog.IsSaved());
    QVERIFY(dialog.result() != QDialog::Accepted);
    recorder.answer = true;
    dialog.OnStart();
    QVERIFY(dialog.IsSaved());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    // Clustering under a new name still rewrites the table of the last one.
    CClusterDlg clustering(&doc);
    Edit(&clustering, "clusterResult")->setText(Path(QStringLiteral("second.csv")));
    Edit(&clustering, "dataPath")->setText(dir_.path());
    recorder.answer = false;
    clustering.OnStart();
    QFile::remove(Path(QStringLiteral("clusters.tsv")));
    QCOMPARE(recorder.questions.size(), 3);
    QVERIFY2(recorder.questions[2].contains(Path(QStringLiteral("clusters.tsv"))), qPrintable(recorder.questions[2]));
    QVERIFY(!clustering.IsSaved());
  }

  // Each job type comes back with the result name it was last saved with.
  void EachJobTypeRemembersItsResult() {
    ScratchSettings settings;
    RecordedMessages recorder;
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("remembered_result.txt"));
    CTesseraDoc doc;
    doc.SetWorkingDirectory(Dir());
    const QString clusters = Path(QStringLiteral("my_clusters.csv"));
    const QString pairs = Path(QStringLiteral("my_pairs.csv"));
    for (const auto& [type, name] : {std::pair{0, clusters}, std::pair{1, pairs}}) {
      CClusterDlg dialog(&doc);
      dialog.SetClusterType(type);
      Edit(&dialog, "dataPath")->setText(dir_.path());
      Edit(&dialog, "clusterResult")->setText(name);
      dialog.OnStart();
      QVERIFY(dialog.IsSaved());
    }
    CClusterDlg again(&doc);  // as last used: the pair search
    QCOMPARE(Edit(&again, "clusterResult")->text(), pairs);
    again.SetClusterType(0);
    QCOMPARE(Edit(&again, "clusterResult")->text(), clusters);
    QVERIFY(recorder.questions.isEmpty());
  }

  // A confirmed dialog comes back with its values (but a fresh experiment
  // name), and each chooser starts in the folder last chosen with it.
  void DialogsReopenWithTheirLastValues() {
    ScratchSettings settings;
    RecordedMessages recorder;
    ScriptedChooser chooser;
    CTesseraDoc doc;
    const QString data = Path(QStringLiteral("remembered_data"));
    QDir().mkpath(data);
    {
      CClusterDlg dialog(&doc);
      dialog.SetClusterType(1);
      Edit(&dialog, "experimentName")->setText(QStringLiteral("old"));
      Edit(&dialog, "dataPath")->setText(data);
      Edit(&dialog, "threshold")->setText(QStringLiteral("0.75"));
      Combo(&dialog, "similarityMethod")->setCurrentIndex(3);
      chooser.save = Path(QStringLiteral("remembered.txt"));
      dialog.OnStart();
      QVERIFY(dialog.IsSaved());
    }
    CClusterDlg again(&doc);
    QVERIFY(!Box(&again, "withConstraint")->isChecked());
    QCOMPARE(Edit(&again, "dataPath")->text(), data);
    QCOMPARE(Edit(&again, "threshold")->text(), QStringLiteral("0.75"));
    QCOMPARE(again.Threshold(), 0.75);
    QCOMPARE(Combo(&again, "similarityMethod")->currentIndex(), 3);
    QVERIFY(Edit(&again, "experimentName")->text() != QStringLiteral("old"));
    QVERIFY(!again.IsSaved());
    // The parameter file's folder is where the next save box opens.
    again.OnSaveAs();
    QCOMPARE(chooser.asked.back().proposed, dir_.filePath(Edit(&again, "experimentName")->text() + ".txt"));

    const QString run = Path(QStringLiteral("remembered.raw"));
    WriteText(run, "");
    {
      CShiftscanDlg dialog;
      Edit(&dialog, "filePath")->setText(run);
      Edit(&dialog, "tdScore")->setText(QStringLiteral("12"));
      Box(&dialog, "detectComb")->setChecked(false);
      chooser.save = Path(QStringLiteral("remembered_shiftscan.txt"));
      dialog.OnOk();
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    CShiftscanDlg shiftscan;
    QCOMPARE(Edit(&shiftscan, "filePath")->text(), run);
    QCOMPARE(Edit(&shiftscan, "dtaName")->text(), QStringLiteral("remembered"));
    QCOMPARE(Edit(&shiftscan, "tdScore")->text(), QStringLiteral("12"));
    QVERIFY(!Box(&shiftscan, "detectComb")->isChecked());
    // Another run typed in: the remembered pair settings were the old
    // run's, so they follow the new one.
    const QString other = Path(QStringLiteral("other_run.raw"));
    WriteText(other, "");
    Edit(&shiftscan, "filePath")->setText(other);
    chooser.save = Path(QStringLiteral("other_shiftscan.txt"));
    shiftscan.OnOk();
    QCOMPARE(Edit(&shiftscan, "dtaName")->text(), QStringLiteral("other_run"));
    QVERIFY(ReadText(*chooser.save).find("dtaname=other_run\n") != std::string::npos);
    // Kept under the organisation "Tessera".
    QVERIFY(QFile::exists(settings.File()));
  }

  void ShiftscanDataBrowseDerivesThePairSettings_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("dtaName");
    QTest::newRow("raw file") << 0 << "run1.raw" << "run1";
    QTest::newRow("mzML run") << 0 << "BSA1.mzML" << "BSA1";
    QTest::newRow("ms2 file") << 2 << "sample.ms2" << "sample";
    QTest::newRow("dta folder") << 1 << "runA_dta" << "runA";
  }

  void ShiftscanDataBrowseDerivesThePairSettings() {
    QFETCH(int, type);
    QFETCH(QString, entry);
    QFETCH(QString, dtaName);
    const QString folder = Path(QStringLiteral("browse_") + QTest::currentDataTag()).replace(' ', '_');
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + entry;
    if (type == 1) {
      QDir().mkpath(path);
    } else {
      WriteText(path, "");
    }
    CShiftscanDlg dialog;
    ScriptedChooser chooser;
    (type == 1 ? chooser.folder : chooser.open) = path;
    Combo(&dialog, "fileType")->setCurrentIndex(type);
    dialog.OnDataBrowse();
    QCOMPARE(Edit(&dialog, "filePath")->text(), path);
    QCOMPARE(Edit(&dialog, "dtaName")->text(), dtaName);
    QCOMPARE(Edit(&dialog, "pairPath")->text(), folder + QStringLiteral("/pair"));
    QVERIFY(QFileInfo(folder + QStringLiteral("/pair")).isDir());
  }

  void ShiftscanWritesTheExpectedConfiguration() {
    const QString run = Path(QStringLiteral("run1.raw"));
    WriteText(run, "");
    ScriptedChooser chooser;
    chooser.open = run;
    chooser.save = Path(QStringLiteral("shiftscan.txt"));
    const std::string pair = Dir() + "pair";

    {  // Defaults.
      CShiftscanDlg dialog;
      dialog.OnDataBrowse();
      dialog.OnOk();
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QCOMPARE(dialog.ConfigurationPath(), *chooser.save);
      QCOMPARE(ReadText(*chooser.save),
               "[DATA]\nfilepath=" + run.toStdString() +
                   "\nfiletype=RAW\nmasslower=0\nmassupper=1000000\ntimelower=0\ntimeupper=1000000\n"
                   "[MODIFICATION]\nmodmasslower=1\nmodmassupper=200\n"
                   "[PAIR]\nfindpair=1\nppthres=0.98\ndtaname=run1\npairpath=" + pair + "\n"
                   "[MODE]\npostsearch=0\nidentspectfile=\n"
                   "[OTHER]\nT_d_score=10\nT_delta_c=0.3\nmasstol=5\nmassres=0.01\nmaxndata=5000\ndetectcomb=1\n");
    }
    {  // Every field edited; texts go out verbatim, boxes as 1 and 0.
      CShiftscanDlg dialog;
      dialog.OnToggleLayout();
      Combo(&dialog, "fileType")->setCurrentIndex(2);
      Edit(&dialog, "filePath")->setText(run);
      const std::pair<const char*, const char*> fields[] = {
          {"massLower", "400"}, {"massUpper", "6000"},   {"timeLower", "1.5"}, {"timeUpper", "90"},
          {"modMassLower", "-5"}, {"modMassUpper", "44"}, {"ppthres", "0.9"},   {"pairPath", "/nowhere"},
          {"identSpectFile", "/ids/a.spectra"}, {"tdScore", "12"}, {"tDeltaC", "0.2"}, {"massTol", "7"},
          {"massRes", "0.005"}, {"maxNData", "800"}};
      for (const auto& [name, value] : fields) Edit(&dialog, name)->setText(QLatin1String(value));
      Box(&dialog, "findPair")->setChecked(false);
      Box(&dialog, "postSearch")->setChecked(true);
      Box(&dialog, "detectComb")->setChecked(false);
      dialog.OnOk();
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QCOMPARE(ReadText(*chooser.save),
               "[DATA]\nfilepath=" + run.toStdString() +
                   "\nfiletype=MS2\nmasslower=400\nmassupper=6000\ntimelower=1.5\ntimeupper=90\n"
                   "[MODIFICATION]\nmodmasslower=-5\nmodmassupper=44\n"
                   "[PAIR]\nfindpair=0\nppthres=0.9\ndtaname=\npairpath=/nowhere\n"
                   "[MODE]\npostsearch=1\nidentspectfile=/ids/a.spectra\n"
                   "[OTHER]\nT_d_score=12\nT_delta_c=0.2\nmasstol=7\nmassres=0.005\nmaxndata=800\ndetectcomb=0\n");
    }
  }

  void ShiftscanValidationAndClosing() {
    RecordedMessages recorder;
    const QString run = Path(QStringLiteral("run2.raw"));
    WriteText(run, "");
    ScriptedChooser chooser;
    CShiftscanDlg dialog;

    Edit(&dialog, "filePath")->setText(Path(QStringLiteral("missing.raw")));
    dialog.OnOk();
    QCOMPARE(recorder.texts.takeLast(), QStringLiteral("Wrong data path!"));
    QVERIFY(dialog.result() != QDialog::Accepted);

    Edit(&dialog, "filePath")->setText(run);
    Edit(&dialog, "pairPath")->setText(Path(QStringLiteral("no-pairs")));
    dialog.OnSaveAs();
    QCOMPARE(recorder.texts.takeLast(), QStringLiteral("Wrong pair path!"));
    dialog.OnOk();
    QCOMPARE(recorder.texts.takeLast(), QStringLiteral("Wrong pair path!"));
    QVERIFY(dialog.result() != QDialog::Accepted);

    // A path typed instead of browsed, pair path left empty: the pair
    // settings follow from it as from a browse; a typed DTA name stays.
    Edit(&dialog, "pairPath")->clear();
    Edit(&dialog, "dtaName")->setText(QStringLiteral("mine"));
    dialog.OnSaveAs();  // the save is cancelled
    QVERIFY(recorder.texts.isEmpty());
    QCOMPARE(Edit(&dialog, "pairPath")->text(), Path(QStringLiteral("pair")));
    QVERIFY(QFileInfo(Path(QStringLiteral("pair"))).isDir());
    QCOMPARE(Edit(&dialog, "dtaName")->text(), QStringLiteral("mine"));

    // Without pair reports the pair path does not matter; a confirmed empty
    // name is said so, and a cancelled save still closes with OK.
    Box(&dialog, "findPair")->setChecked(false);
    chooser.save = QString();
    dialog.OnSaveAs();
    QCOMPARE(recorder.texts.takeLast(), QStringLiteral("You have to write a name..."));
    chooser.save.reset();
    dialog.OnOk();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.ConfigurationPath().isEmpty());
    QVERIFY(recorder.texts.isEmpty());
  }

  void ShiftscanPathWithoutSeparatorAndCheckRules() {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    WriteText(QStringLiteral("plain.raw"), "");
    {
      CShiftscanDlg dialog;
      ScriptedChooser chooser;  // cancelled: the typed path is used
      Edit(&dialog, "filePath")->setText(QStringLiteral("plain.raw"));
      dialog.OnDataBrowse();
      QCOMPARE(Edit(&dialog, "pairPath")->text(), QStringLiteral("pair"));
      QCOMPARE(Edit(&dialog, "dtaName")->text(), QStringLiteral("plain"));
      QVERIFY(QFileInfo(QStringLiteral("pair")).isDir());

      dialog.OnToggleLayout();
      QCOMPARE(Child<QPushButton>(dialog, "layoutToggle")->text(), QStringLiteral("<<&Less"));
      QVERIFY(Child<QPushButton>(dialog, "topOk")->isHidden());
      QVERIFY(Edit(&dialog, "ppthres")->isEnabled());
      QVERIFY(!Edit(&dialog, "identSpectFile")->isEnabled());
      Box(&dialog, "findPair")->setChecked(false);
      Box(&dialog, "postSearch")->setChecked(true);
      for (const char* name : {"ppthres", "dtaName", "pairPath"}) QVERIFY(!Edit(&dialog, name)->isEnabled());
      QVERIFY(!Child<QPushButton>(dialog, "pairPathBrowse")->isEnabled());
      QVERIFY(Edit(&dialog, "identSpectFile")->isEnabled());
      dialog.OnToggleLayout();
      QCOMPARE(Child<QPushButton>(dialog, "layoutToggle")->text(), QStringLiteral("&More>>"));
      QVERIFY(!Child<QPushButton>(dialog, "topOk")->isHidden());
    }
    QDir::setCurrent(previous);
  }

  void ShiftscanRefusesNumbersItCannotRun_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("said");
    QTest::newRow("reversed mass") << "massLower" << "2000000" << "Mass: the lower end 2000000 must lie below";
    QTest::newRow("mass not a number") << "massUpper" << "6000x" << "Mass: the upper end must be a number";
    QTest::newRow("negative mass") << "massLower" << "-100"
                                   << "Mass: the lower end must be a number, 0 or more: \"-100\"";
    QTest::newRow("reversed time") << "timeLower" << "2000000" << "Retention time: the lower end";
    QTest::newRow("reversed shifts") << "modMassLower" << "300" << "Modification mass: the lower end";
    QTest::newRow("fractional shift") << "modMassUpper" << "10.5"
                                      << "Modification mass: the upper end must be a whole number: \"10.5\"";
    QTest::newRow("ppthres above 1") << "ppthres" << "1.5" << "ppthres";
    QTest::newRow("d-score text") << "tdScore" << "abc" << "T_d_score";
    QTest::newRow("mass tolerance 0") << "massTol" << "0" << "Mass tolerance";
    QTest::newRow("negative bins") << "massRes" << "-1" << "Massres";
    QTest::newRow("no precursors") << "maxNData" << "0" << "Max data";
  }
  void ShiftscanRefusesNumbersItCannotRun() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, said);
    RecordedMessages recorder;
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("refused_shiftscan.txt"));
    const QString run = Path(QStringLiteral("numbers.raw"));
    WriteText(run, "");
    QDir().mkpath(Path(QStringLiteral("pair")));
    CShiftscanDlg dialog;
    Edit(&dialog, "filePath")->setText(run);
    Edit(&dialog, "pairPath")->setText(Path(QStringLiteral("pair")));
    Edit(&dialog, field.toLatin1().constData())->setText(value);
    dialog.OnOk();
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(chooser.asked.empty());
    QCOMPARE(recorder.texts.size(), 1);
    QVERIFY2(recorder.texts[0].contains(said), qPrintable(recorder.texts[0]));
  }

  // Pair files of an earlier run in the pair folder would be read with the
  // new run's: they go, but only when the user agrees. The RAW chooser
  // shows the runs the dumper reads at once.
  void ShiftscanReplacesEarlierPairFilesWhenAllowed() {
    RecordedMessages recorder;
    ScriptedChooser chooser;
    const QString run = Path(QStringLiteral("earlier.mzML"));
    WriteText(run, "");
    const QString pairs = Path(QStringLiteral("earlier_pairs"));
    QDir().mkpath(pairs);
    const QString old = pairs + QStringLiteral("/pair_m15.994900_p0.98.csv");
    WriteText(old, "a,1,b,2,1,0,1\n");
    WriteText(pairs + QStringLiteral("/notes.txt"), "the user's\n");
    chooser.open = run;
    chooser.save = Path(QStringLiteral("earlier.txt"));
    CShiftscanDlg dialog;
    dialog.OnDataBrowse();
    QVERIFY(chooser.asked.back().filter.startsWith(QStringLiteral("RAW, mzML or mzXML run (*.RAW *.mzML *.mzXML)")));
    Edit(&dialog, "pairPath")->setText(pairs);

    recorder.answer = false;
    dialog.OnOk();
    QCOMPARE(recorder.questions.size(), 1);
    QVERIFY(recorder.questions[0].contains(old));
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(QFile::exists(old));
    QVERIFY(dialog.ConfigurationPath().isEmpty());

    recorder.answer = true;
    dialog.OnOk();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!QFile::exists(old));
    QVERIFY(QFile::exists(pairs + QStringLiteral("/notes.txt")));
    QVERIFY(recorder.texts.isEmpty());
  }
};

QObject* NewDialogTest() { return new DialogTest; }

#include "DialogTest.moc"

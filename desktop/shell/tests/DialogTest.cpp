// The clustering and Shiftscan dialogs: the files they write, their
// validation and messages, and when a saved parameter file still counts.

#include <QCheckBox>
#include <QComboBox>
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
                        const std::string& similarity, const std::string& cluster) {
  return "[clustername]\ncluster_name=\n[file]\ndata_type=" + type + "\ndata_directory=" + data +
         "\nout_directory=" + out + "\ncluster_result=" + result + "\n[preprocessing]\n" + preprocessing +
         "scale=sqrt\n[similarity]\n" + similarity + "[cluster]\n" + cluster +
         "[modification]\nlower_mass=6\nupper_mass=200\ncluster_masses_tol=0.010000\n";
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
    Edit(&dialog, "dataPath")->setText(QStringLiteral("/data/run1"));
    ScriptedChooser chooser;
    chooser.save = Path(QStringLiteral("default.txt"));
    dialog.OnStart();

    QCOMPARE(chooser.asked.back().proposed, QStringLiteral("exp1.txt"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Parameters(), *chooser.save);
    QCOMPARE(dialog.Program(), QStringLiteral("cluster"));
    QCOMPARE(dialog.ClusterType(), 0);
    QCOMPARE(dialog.DataPath(), QStringLiteral("/data/run1"));
    QCOMPARE(ReadText(*chooser.save),
             ClusterFile("0", "/data/run1", "/data/run1_new", Dir() + "cluster.csv",
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
    Edit(&dialog, "dataPath")->setText(QStringLiteral("/data/x.mgf"));
    Edit(&dialog, "clusterResult")->setText(QStringLiteral("/out/pairs.csv"));
    Combo(&dialog, "similarityMethod")->setCurrentIndex(3);
    Combo(&dialog, "consensusMethod")->setCurrentIndex(2);
    Edit(&dialog, "threshold")->setText(QStringLiteral("0.75"));
    Edit(&dialog, "spectralFiltering")->setText(QStringLiteral("5"));
    Combo(&dialog, "peakSelection")->setCurrentIndex(0);
    Edit(&dialog, "topN")->setText(QStringLiteral("40x"));  // pasted text: its number counts
    Edit(&dialog, "topM")->setText(QStringLiteral("abc"));
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
             ClusterFile("2", "/data/x.mgf", "/data/x.mgf_new", "/out/pairs.csv",
                         "small_peaks_count_filter=5\npeak_select_method=0\nwhole_top_peak_num=40\n"
                         "part_top_peak_num=0\npart_top_peak_per_num=100\n",
                         "similar_method=3\nfragment_ion_tol=0.30\nfragment_ion_tol_type=Da\n",
                         "cluster_type=1\ncluster_method=0\nprecursor_ion_tol=20.00\nprecursor_ion_tol_type=ppm\n"
                         "consensus_type=2\nconsensus_fragment_tol=0.250000\nconsensus_fragment_tol_type=Da\n"
                         "threshold=0.75\n"));
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
    Edit(&dialog, "dataPath")->setText(QStringLiteral("/d0"));
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

    {  // Start without a save, save cancelled: closes with OK, nothing to run.
      CClusterDlg dialog(&doc);
      dialog.OnStart();
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QVERIFY(dialog.Parameters().isEmpty());
      QVERIFY(dialog.Program().isEmpty());
    }
    {  // Confirmed without a name.
      CClusterDlg dialog(&doc);
      chooser.save = QString();
      dialog.OnSaveAs();
      QVERIFY(!dialog.IsSaved());
      QCOMPARE(recorder.texts.takeLast(), QStringLiteral("You have to write a name..."));
    }
    {  // A file that cannot be written is said so and not handed on.
      CClusterDlg dialog(&doc);
      chooser.save = Path(QStringLiteral("no/such/dir/p.txt"));
      dialog.OnSaveAs();
      QVERIFY(!dialog.IsSaved());
      QVERIFY(dialog.Parameters().isEmpty());
      QCOMPARE(recorder.texts.takeLast(), QStringLiteral("Can not save file:") + *chooser.save);
    }
    {  // Data browse: a missing file is refused; "dta" always asks for a folder.
      CClusterDlg dialog(&doc);
      chooser.open = QStringLiteral("/no/such/run.mgf");
      chooser.folder = dir_.path();
      Combo(&dialog, "dataType")->setCurrentIndex(2);
      dialog.OnDataBrowse();
      QCOMPARE(recorder.texts.takeLast(), QStringLiteral("Can not find file:/no/such/run.mgf"));
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
    QCOMPARE(toggle->text(), QStringLiteral("&Advance>>"));
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
};

QObject* NewDialogTest() { return new DialogTest; }

#include "DialogTest.moc"

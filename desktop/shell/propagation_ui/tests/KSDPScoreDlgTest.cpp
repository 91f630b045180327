#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <map>

#include "desktop/shell/core/tests/StandIns.h"
#include "desktop/shell/propagation_ui/EditableListCtrl.h"
#include "desktop/shell/propagation_ui/KSDPScoreDlg.h"
#include "desktop/shell/propagation_ui/LetterEdit.h"
#include "tests/support/Files.h"

namespace {

const char* const kModifyIni =
    "[modify]\ntotal=5\nname1=ModK\nname2=NTerm\nname3=CTerm\nname4=ProN\nname5=ProC\n"
    "ModK=K NONE 42.0 42.0 0\nNTerm=[ALL] PEP_N 1.0 1.0 0\nCTerm=[ALL] PEP_C 2.0 2.0 0\n"
    "ProN=A PRO_N 3.0 3.0 0\nProC=K PRO_C 4.0 4.0 0\n";

// A spectrum of LVNELTEFAK carrying +79.966331 on its T (index 5): every
// singly charged b and y ion, all of equal height.
std::string ModifiedPeptideSpectrum() {
  const std::map<char, double> residue = {{'L', 113.08406}, {'V', 99.06841}, {'N', 114.04293},
                                          {'E', 129.04259}, {'T', 101.04768}, {'F', 147.06841},
                                          {'A', 71.03711},  {'K', 128.09496}};
  const std::string peptide = "LVNELTEFAK";
  std::vector<double> masses;
  for (char c : peptide) masses.push_back(residue.at(c));
  masses[5] += 79.966331;
  const double proton = 1.007276, water = 18.010565;
  double total = 0;
  for (double m : masses) total += m;
  std::vector<double> peaks;
  double b = proton;
  for (std::size_t i = 0; i + 1 < masses.size(); ++i) {
    b += masses[i];
    peaks.push_back(b);
    peaks.push_back(total + water + 2 * proton - b);  // the y ion of the same cut
  }
  std::sort(peaks.begin(), peaks.end());
  char line[64];
  std::snprintf(line, sizeof line, "%f 2\n", total + water + proton);
  std::string text = line;
  for (double mz : peaks) {
    std::snprintf(line, sizeof line, "%f 100.0\n", mz);
    text += line;
  }
  return text;
}

}  // namespace

class KSDPScoreDlgTest : public QObject {
  Q_OBJECT

  testsupport::CTempDir dir_{"KSDPScoreDlgTest"};
  QString At(const char* name) const { return QString::fromStdString(dir_.File(name)); }
  std::string Tables() const { return dir_.Path().string(); }

  static void Set(QWidget& dialog, const char* edit, const QString& text) {
    Child<QLineEdit>(dialog, edit)->setText(text);
  }
  static QStringList Column(QWidget& dialog, int column) {
    auto* list = Child<CEditableListCtrl>(dialog, "residueList");
    QStringList cells;
    for (int row = 0; row < list->rowCount(); ++row) cells << list->item(row, column)->text();
    return cells;
  }
  static QString Bsa() {
    return QStringLiteral(TESSERA_SOURCE_DIR "/desktop/shell/propagation_ui/tests/data/BSA1.670.670.2.dta");
  }
  static void ClickCell(CEditableListCtrl* list, int row, int column,
                        Qt::KeyboardModifiers modifiers = {}) {
    const QPoint centre = list->visualItemRect(list->item(row, column)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, centre);
  }

 private slots:
  void initTestCase() {
    QVERIFY(QFile::copy(TESSERA_SOURCE_DIR "/data/aa.ini", At("aa.ini")));
    dir_.Write("modify.ini", kModifyIni);
    dir_.Write("modified.dta", ModifiedPeptideSpectrum());
  }

  void LettersOnlyAndOneRowPerResidue() {
    RecordedMessages messages;
    CKSDPScoreDlg dialog(nullptr, Tables());
    QTest::keyClicks(Child<CLetterEdit>(dialog, "sequenceEdit"), "pep1de");
    QCOMPARE(Child<CLetterEdit>(dialog, "sequenceEdit")->text(), QStringLiteral("pepde"));
    QCOMPARE(dialog.Sequence(), std::string("PEPDE"));
    QCOMPARE(Column(dialog, CKSDPScoreDlg::kIndexColumn), QStringList({"1", "2", "3", "4", "5"}));
    QCOMPARE(Column(dialog, CKSDPScoreDlg::kResidueColumn), QStringList({"P", "E", "P", "D", "E"}));
    // Pasted text keeps only its letters.
    Child<CLetterEdit>(dialog, "sequenceEdit")->clear();
    Child<CLetterEdit>(dialog, "sequenceEdit")->insert(QStringLiteral("a1-b c"));
    QCOMPARE(dialog.Sequence(), std::string("ABC"));
    QVERIFY(messages.texts.isEmpty());
  }

  void ChoicesFollowResidueAndTerminalPlace() {
    CKSDPScoreDlg dialog(nullptr, Tables());
    Set(dialog, "sequenceEdit", QStringLiteral("AKAK"));
    QCOMPARE(dialog.ModificationChoices(0), QStringList({"<Null>", "NTerm", "ProN"}));
    QCOMPARE(dialog.ModificationChoices(1), QStringList({"<Null>", "ModK"}));
    QCOMPARE(dialog.ModificationChoices(2), QStringList({"<Null>"}));
    QCOMPARE(dialog.ModificationChoices(3), QStringList({"<Null>", "ModK", "CTerm", "ProC"}));
  }

  void MissingTablesAreSaidOnceAndTheDialogStillOpens() {
    const testsupport::CTempDir empty("KSDPScoreDlgTest_empty");
    RecordedMessages messages;
    CKSDPScoreDlg dialog(nullptr, empty.Path().string());
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(messages.texts[0].contains(QString::fromStdString(empty.File("modify.ini"))));
    QVERIFY(messages.texts[0].contains(QString::fromStdString(empty.File("aa.ini"))));
    Set(dialog, "sequenceEdit", QStringLiteral("KAKK"));
    QCOMPARE(dialog.ModificationChoices(0), QStringList({"<Null>"}));
    QCOMPARE(messages.texts.size(), 1);
  }

  // Enter and focus loss keep the pick, Esc restores the cell; the owner
  // hears of every end. Shift-clicks and other columns open no editor.
  void InPlaceEditing() {
    RecordedMessages messages;
    CKSDPScoreDlg dialog(nullptr, Tables());
    Set(dialog, "sequenceEdit", QStringLiteral("AKAK"));
    dialog.show();
    dialog.activateWindow();  // no window manager does it under a bare X server
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* list = Child<CEditableListCtrl>(dialog, "residueList");
    QSignalSpy ended(list, &CEditableListCtrl::EditEnded);
    const int mod = CKSDPScoreDlg::kModificationColumn;

    ClickCell(list, 3, mod);
    CInPlaceCombo* editor = list->Editor();
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->count(), 4);
    editor->setCurrentIndex(2);  // CTerm
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(!editor->isVisible());
    QCOMPARE(list->item(3, mod)->text(), QStringLiteral("CTerm"));
    QCOMPARE(ended.takeFirst(), QVariantList({3, mod, QStringLiteral("CTerm")}));

    ClickCell(list, 3, mod);
    QCOMPARE(editor->currentText(), QStringLiteral("CTerm"));  // the cell's entry is selected
    editor->setCurrentIndex(1);
    QTest::keyClick(editor, Qt::Key_Escape);
    QCOMPARE(list->item(3, mod)->text(), QStringLiteral("CTerm"));
    QCOMPARE(ended.takeFirst(), QVariantList({3, mod, QStringLiteral("CTerm")}));
    QVERIFY(dialog.isVisible());  // Esc ended the edit, not the dialog

    ClickCell(list, 1, mod);
    editor->setCurrentIndex(1);  // ModK
    Child<QLineEdit>(dialog, "massEdit")->setFocus();
    QTRY_VERIFY(!editor->isVisible());
    QCOMPARE(ended.takeFirst(), QVariantList({1, mod, QStringLiteral("ModK")}));

    // A pick in the open drop-down: the drop-down closes before the entry
    // becomes current, and the edit must end with the entry picked.
    ClickCell(list, 0, mod);
    editor->showPopup();
    QTRY_VERIFY(editor->view()->isVisible());
    QTest::keyClick(editor->view(), Qt::Key_Down);
    QTest::keyClick(editor->view(), Qt::Key_Down);
    QTest::keyClick(editor->view(), Qt::Key_Return);
    QTRY_VERIFY(!editor->isVisible());
    QCOMPARE(ended.takeFirst(), QVariantList({0, mod, QStringLiteral("ProN")}));

    ClickCell(list, 0, mod, Qt::ShiftModifier);
    ClickCell(list, 0, CKSDPScoreDlg::kResidueColumn);
    QVERIFY(!editor->isVisible());
    QVERIFY(ended.isEmpty());
  }

  // The top score falls on the residue that carries the modification; a
  // fixed modification moves the scores, "<Null>" does not.
  void ScoresPlaceTheModification() {
    RecordedMessages messages;
    CKSDPScoreDlg dialog(nullptr, Tables());
    Set(dialog, "pathEdit", At("modified.dta"));
    Set(dialog, "sequenceEdit", QStringLiteral("lvneltefak"));
    Set(dialog, "massEdit", QStringLiteral("79.966331"));
    QTest::mouseClick(Child<QPushButton>(dialog, "scoreButton"), Qt::LeftButton);
    const std::vector<double> plain = dialog.Scores();
    QCOMPARE(plain.size(), size_t{10});
    QCOMPARE(std::max_element(plain.begin(), plain.end()) - plain.begin(), 5);
    const QStringList cells = Column(dialog, CKSDPScoreDlg::kScoreColumn);
    QCOMPARE(cells[5], QString::asprintf("%f", plain[5]));

    auto* list = Child<CEditableListCtrl>(dialog, "residueList");
    list->item(8, CKSDPScoreDlg::kModificationColumn)->setText(QStringLiteral("ModK"));
    QVERIFY(dialog.Score());
    QVERIFY(dialog.Scores() != plain);
    list->item(8, CKSDPScoreDlg::kModificationColumn)->setText(QStringLiteral("<Null>"));
    QVERIFY(dialog.Score());
    QCOMPARE(dialog.Scores(), plain);
    QVERIFY(messages.texts.isEmpty());
  }

  // A real spectrum of the BSA run with its peptide: the carbamidomethyl
  // group's mass lands on the cysteine, C3. The same spectrum in an MGF of
  // one spectrum, or picked from an MGF of two, scores the same; files
  // that cannot serve leave the column empty.
  void RealSpectrumAndFilesThatCannotServe() {
    RecordedMessages messages;
    CKSDPScoreDlg dialog(nullptr, TESSERA_SOURCE_DIR "/data");
    const QString bsa = Bsa();
    Set(dialog, "pathEdit", bsa);
    Set(dialog, "sequenceEdit", QStringLiteral("YICDNQDTISSK"));
    Set(dialog, "massEdit", QStringLiteral("57.021464"));
    QVERIFY(dialog.Score());
    const std::vector<double> scores = dialog.Scores();
    QCOMPARE(scores.size(), size_t{12});
    QCOMPARE(dialog.BestRow(), 2);
    QVERIFY2(Child<QLabel>(dialog, "bestSite")->text().startsWith(QStringLiteral("Best site: C3")),
             qPrintable(Child<QLabel>(dialog, "bestSite")->text()));
    QVERIFY(Child<CEditableListCtrl>(dialog, "residueList")->item(2, CKSDPScoreDlg::kScoreColumn)->font().bold());
    QVERIFY(!Column(dialog, CKSDPScoreDlg::kScoreColumn).contains(QString()));
    QVERIFY(messages.questions.isEmpty());
    // Another mass: the scores of the last one go.
    Set(dialog, "massEdit", QStringLiteral("57.02"));
    QCOMPARE(Column(dialog, CKSDPScoreDlg::kScoreColumn), QStringList(12, QString()));
    QCOMPARE(dialog.BestRow(), -1);
    QVERIFY(Child<QLabel>(dialog, "bestSite")->text().isEmpty());
    QVERIFY(!Child<QComboBox>(dialog, "spectrumChoice")->isEnabled());

    std::string mgf = "BEGIN IONS\nTITLE=BSA1.670.670.2\nPEPMASS=722.3254\nCHARGE=2+\n";
    const std::string dta = testsupport::ReadFile(bsa.toStdString());
    const std::string peaks = dta.substr(dta.find('\n') + 1) + "END IONS\n";
    dir_.Write("one.mgf", mgf + peaks);
    Set(dialog, "pathEdit", At("one.mgf"));
    QVERIFY(dialog.Score());
    QCOMPARE(dialog.Scores().size(), scores.size());
    for (std::size_t i = 0; i < scores.size(); ++i) QVERIFY(qAbs(dialog.Scores()[i] - scores[i]) < 1e-3);

    dir_.Write("two.mgf", "BEGIN IONS\nTITLE=BSA1.9.9.2\nPEPMASS=500.25\nCHARGE=2+\n100.0 5.0\nEND IONS\n" + mgf + peaks);
    Set(dialog, "pathEdit", At("two.mgf"));
    QCOMPARE(dialog.SpectrumNames(), (QStringList{"BSA1.9.9.2.dta", "BSA1.670.670.2.dta"}));
    QVERIFY(Child<QComboBox>(dialog, "spectrumChoice")->isEnabled());
    dialog.SelectSpectrum(1);
    QVERIFY(dialog.Score());
    for (std::size_t i = 0; i < scores.size(); ++i) QVERIFY(qAbs(dialog.Scores()[i] - scores[i]) < 1e-3);
    QVERIFY(messages.texts.isEmpty());

    dir_.Write("garbage.dta", "not a spectrum\n");
    // A missing or empty path is said naming the field.
    const struct {
      QString path;
      QString said;
    } bads[] = {{At("garbage.dta"), At("garbage.dta")},
                {At("none.dta"), "File Path: File: " + At("none.dta") + " does not exist!"},
                {QString(), QStringLiteral("File Path: the field is empty; choose a file first.")}};
    for (const auto& bad : bads) {
      messages.texts.clear();
      Set(dialog, "pathEdit", bad.path);
      QVERIFY(!dialog.Score());
      QVERIFY(dialog.Scores().empty());
      QCOMPARE(Column(dialog, CKSDPScoreDlg::kScoreColumn), QStringList(12, QString()));
      QCOMPARE(messages.texts.size(), 1);
      QVERIFY2(messages.texts[0].contains(bad.said), qPrintable(messages.texts[0]));
    }
    Set(dialog, "pathEdit", bsa);
    Set(dialog, "sequenceEdit", QStringLiteral("YIC"));
    messages.texts.clear();
    QVERIFY(!dialog.Score());
    QVERIFY(messages.texts.value(0).contains(bsa));
  }

  // The mass is a number with a point, typed or not; the peptide with it
  // is held against the precursor, and one that does not fit is scored
  // only when the user says so.
  void ModMassIsCheckedAgainstThePrecursor_data() {
    QTest::addColumn<QString>("mass");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("empty") << "" << false << "Mod Mass: type the mass";
    QTest::newRow("letters after") << "15.99abc" << false << "is not a number";
    QTest::newRow("comma for the point") << "57,021464" << false << "";
    QTest::newRow("too heavy") << "5000" << true << "";
    QTest::newRow("negative") << "-15.99" << true << "";
    QTest::newRow("no mass left") << "-2000" << false << "no mass";
    QTest::newRow("fits") << "57.021464" << false << "";
  }
  void ModMassIsCheckedAgainstThePrecursor() {
    QFETCH(QString, mass);
    QFETCH(bool, asked);
    QFETCH(QString, refusal);
    RecordedMessages messages;
    messages.answer = false;
    CKSDPScoreDlg dialog(nullptr, TESSERA_SOURCE_DIR "/data");
    Set(dialog, "pathEdit", Bsa());
    Set(dialog, "sequenceEdit", QStringLiteral("YICDNQDTISSK"));
    Set(dialog, "massEdit", mass);
    const bool scored = dialog.Score();
    QCOMPARE(scored, refusal.isEmpty() && !asked);
    QCOMPARE(messages.questions.size(), asked ? 1 : 0);
    if (asked) {
      QVERIFY(messages.questions[0].contains(QStringLiteral("precursor of BSA1.670.670.2.dta 1443.6435 Da")));
      QVERIFY(dialog.Scores().empty());
      messages.answer = true;
      QVERIFY(dialog.Score());
    }
    if (!refusal.isEmpty()) {
      QCOMPARE(messages.texts.size(), 1);
      QVERIFY2(messages.texts[0].contains(refusal), qPrintable(messages.texts[0]));
    }
    QVERIFY(dialog.MassCheckText().startsWith(QStringLiteral("Precursor MH+ 1443.6435 Da (2+)")));
  }

  // Typed, the field takes only a number: a comma becomes the point,
  // letters are dropped. Enter scores, and the readout shows how close the
  // peptide comes to the precursor.
  void TypedMassAndEnterScore() {
    RecordedMessages messages;
    CKSDPScoreDlg dialog(nullptr, TESSERA_SOURCE_DIR "/data");
    dialog.show();
    Set(dialog, "pathEdit", Bsa());
    Set(dialog, "sequenceEdit", QStringLiteral("YICDNQDTISSK"));
    QLineEdit* mass = Child<QLineEdit>(dialog, "massEdit");
    QTest::keyClicks(mass, QStringLiteral("57,0x21464"));
    QCOMPARE(mass->text(), QStringLiteral("57.021464"));
    QVERIFY2(dialog.MassCheckText().contains(QStringLiteral("difference -0.00")), qPrintable(dialog.MassCheckText()));
    QTest::keyClick(mass, Qt::Key_Return);
    QCOMPARE(dialog.Scores().size(), size_t{12});
    QVERIFY(dialog.isVisible());
    QVERIFY(messages.texts.isEmpty());
  }
};

QTEST_MAIN(KSDPScoreDlgTest)
#include "KSDPScoreDlgTest.moc"

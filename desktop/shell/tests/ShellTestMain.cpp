// Runs the shell's test classes in one executable.

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QtTest>
#include <clocale>

#include "desktop/shell/core/tests/StandIns.h"

QObject* NewDialogTest();
QObject* NewJobRunnerTest();
QObject* NewMainFrameTest();

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QStandardPaths::setTestModeEnabled(true);
  // Jobs and tables go to a scratch directory, not wherever the tests were
  // started; the tests that use the program's memory give it a scratch
  // settings folder of their own (ScratchSettings).
  const testsupport::CTempDir scratch("tessera_shell_tests");
  const testsupport::CCurrentDir inScratch(scratch.Path());
  int failed = 0;
  for (QObject* test : {NewDialogTest(), NewJobRunnerTest(), NewMainFrameTest()}) {
    failed += QTest::qExec(test, argc, argv);
    delete test;
  }
  return failed == 0 ? 0 : 1;
}

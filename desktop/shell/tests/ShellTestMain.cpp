// Runs the shell's test classes in one executable.

#include <QApplication>
#include <QStandardPaths>
#include <QtTest>
#include <clocale>

#include "desktop/shell/tests/ShellTest.h"

QObject* NewDialogTest();
QObject* NewJobRunnerTest();

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QStandardPaths::setTestModeEnabled(true);
  int failed = 0;
  for (QObject* test : {NewDialogTest(), NewJobRunnerTest()}) {
    failed += QTest::qExec(test, argc, argv);
    delete test;
  }
  return failed == 0 ? 0 : 1;
}

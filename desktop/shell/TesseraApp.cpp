#include "desktop/shell/TesseraApp.h"

#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>
#include <clocale>
#include <cstdio>

#include "clustering/Para.h"
#include "desktop/shell/JobRunner.h"
#include "desktop/shell/MainFrame.h"
#include "desktop/shell/SplashWindow.h"
#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"

CTesseraApp::CTesseraApp(int& argc, char** argv) : QApplication(argc, argv) {
  // QApplication takes the user's locale for the C library as well; the
  // parameter files and tables are written and read with a decimal point
  // whatever the language.
  std::setlocale(LC_NUMERIC, "C");
  // The settings (recent files, the dialogs' last values) are kept under
  // this name.
  setOrganizationName(QLatin1String(desktop::kOrganisation));
  setApplicationName(QLatin1String(desktop::kApplication));
  setApplicationVersion(QStringLiteral("1.0"));
}

CTesseraApp::~CTesseraApp() = default;

int CTesseraApp::Run() {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Tessera: clustering, modification detection and propagation"));
  parser.addHelpOption();
  const QCommandLineOption noSplash(QStringLiteral("no-splash"), QStringLiteral("Start without the splash picture."));
  QCommandLineOption runCluster(QStringLiteral("run-cluster"), QString(), QStringLiteral("parameter file"));
  QCommandLineOption runShiftscan(QStringLiteral("run-shiftscan"), QString(), QStringLiteral("configuration"));
  QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("png"));
  QCommandLineOption quit(QStringLiteral("quit"), QString());
  for (QCommandLineOption* hidden : {&runCluster, &runShiftscan, &screenshot, &quit})
    hidden->setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({noSplash, runCluster, runShiftscan, screenshot, quit});
  if (!parser.parse(arguments()) || !parser.positionalArguments().isEmpty()) {
    const QString why = parser.errorText().isEmpty() ? QStringLiteral("Unexpected argument.") : parser.errorText();
    std::fprintf(stderr, "%s\n%s", qPrintable(why), qPrintable(parser.helpText()));
    return 2;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    std::printf("%s", qPrintable(parser.helpText()));
    return 0;
  }

  if (parser.isSet(quit)) {
    desktop::SetMessageHandler([](QWidget*, desktop::MessageKind, const QString& title, const QString& text) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
      return true;
    });
  }
  if (!parser.isSet(noSplash)) CSplashWindow::ShowAndWait();

  desktop::EnableMemory(true);
  desktop::MoveOldRecentFiles();
  doc_ = std::make_unique<CTesseraDoc>();
  desktop::RecallHistogramSettings(doc_->Settings());
  frame_ = std::make_unique<CMainFrame>(doc_.get());
  desktop::RouteLibraryMessagesToUser(frame_.get());
  // Without a window manager (a bare X server) maximising does nothing; the
  // screen's size is the same wish in a form that always holds.
  if (const QScreen* screen = primaryScreen()) frame_->setGeometry(screen->availableGeometry());
  frame_->showMaximized();

  const QString clusterPara = parser.value(runCluster);
  const QString shiftscanConfig = parser.value(runShiftscan);
  const QString picture = parser.value(screenshot);
  const bool quitAfter = parser.isSet(quit);
  // The window opens on the table it showed last; a scripted run shows its
  // own jobs' tables.
  if (clusterPara.isEmpty() && shiftscanConfig.isEmpty()) frame_->RestoreLastTable();
  if (!clusterPara.isEmpty() || !shiftscanConfig.isEmpty() || !picture.isEmpty()) {
    QTimer::singleShot(300, this, [this, clusterPara, shiftscanConfig, picture, quitAfter] {
      const bool ok = RunScripted(clusterPara, shiftscanConfig, picture);
      if (quitAfter) exit(ok ? 0 : 1);
    });
  } else if (quitAfter) {
    return 0;
  }
  const int status = exec();
  frame_.reset();
  return status;
}

bool CTesseraApp::RunScripted(const QString& clusterPara, const QString& shiftscanConfig,
                              const QString& screenshot) {
  bool ok = true;
  CJobRunner* runner = frame_->Runner();
  if (!clusterPara.isEmpty()) {
    // What the clustering dialog would have handed over.
    CPara para;
    if (!para.ReadParaFile(clusterPara.toStdString()) || !para.spectra_process) {
      desktop::ShowMessage(frame_.get(), desktop::MessageKind::Error, QStringLiteral("Tessera"),
                           QStringLiteral("Can not open file: ") + clusterPara);
      ok = false;
    } else {
      doc_->SetLastDataPath(para.spectra_process->data_directory);
      doc_->SetLastDataType(para.spectra_process->data_type);
      const auto outcome = runner->RunCluster(clusterPara);
      ok = ok && (outcome == CJobRunner::Outcome::Loaded || outcome == CJobRunner::Outcome::Finished);
    }
  }
  if (!shiftscanConfig.isEmpty()) {
    ok = runner->RunShiftscan(shiftscanConfig) == CJobRunner::Outcome::Loaded && ok;
  }
  if (!screenshot.isEmpty()) {
    // Let the window take its final size and paint before the picture.
    for (int i = 0; i < 20; ++i) processEvents(QEventLoop::AllEvents, 20);
    if (!frame_->grab().save(screenshot)) {
      std::fprintf(stderr, "Can not save file: %s\n", qPrintable(screenshot));
      ok = false;
    }
  }
  std::fprintf(stderr, "%s\n", qPrintable(runner->LastSummary()));
  return ok;
}

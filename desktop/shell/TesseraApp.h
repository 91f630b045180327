#pragma once
// The application object: settings, command line, splash picture, the
// document and the main window.
//
// Command line: Tessera [--no-splash]
// For unattended runs (scripts, screenshots) there are hidden options:
//   --run-cluster <parameter file>   run a clustering job once the window is up
//   --run-shiftscan <configuration>  run a Shiftscan job after it
//   --screenshot <png>               then save a picture of the main window
//   --quit                           then end; messages go to standard error

#include <QApplication>
#include <memory>

class CMainFrame;
class CTesseraDoc;

class CTesseraApp : public QApplication {
  Q_OBJECT

 public:
  CTesseraApp(int& argc, char** argv);
  ~CTesseraApp() override;

  // Sets up the document and the main window and runs the event loop;
  // answers the exit status.
  int Run();

 private:
  bool RunScripted(const QString& clusterPara, const QString& shiftscanConfig, const QString& screenshot);

  std::unique_ptr<CTesseraDoc> doc_;
  std::unique_ptr<CMainFrame> frame_;
};

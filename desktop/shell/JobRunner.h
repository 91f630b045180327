#pragma once
// Runs a console back end (cluster, Shiftscan) for the desktop program: it
// starts the program from the program's directory with its parameter file,
// waits for that child while a small window shows its progress, and brings
// the job's mass-shift table into the document, or says why it cannot.

#include <QObject>
#include <QString>
#include <QStringList>

class CTesseraDoc;
class QDir;
class QProcess;
class QWidget;

class CJobRunner : public QObject {
  Q_OBJECT

 public:
  enum class Outcome {
    NotStarted,  // the back end could not be started; nothing changed
    Failed,      // the back end ran but left no result; the document kept its data
    Loaded,      // the job's mass-shift table is in the document
    Finished,    // the job succeeded and leaves no table by design (clustering)
  };

  struct Job {
    QString name;           // for the user: "cluster", "Shiftscan"
    QString program;        // executable name in the program directory
    QString parameterFile;  // the one argument
    bool leavesTable = true;
    QString resultFile;  // what a job without a table reports as its result
  };

  // `window` (may be null) is hidden while a job runs; messages are shown
  // over it.
  CJobRunner(CTesseraDoc* doc, QWidget* window, QObject* parent = nullptr);

  // Where the back ends are looked for; the directory of this program
  // unless set.
  void SetProgramDirectory(const QString& directory) { programDirectory_ = directory; }
  QString ProgramDirectory() const { return programDirectory_; }

  // A clustering job: type 0 (clustering) reports its cluster file, type 1
  // (spectral pair search) leaves the mass-shift table.
  Outcome RunCluster(const QString& parameterFile, int clusterType, const QString& clusterFile);
  Outcome RunShiftscan(const QString& configurationFile);
  Outcome Run(const Job& job);

  // One line about the last job, for the status bar.
  QString LastSummary() const { return lastSummary_; }

  // The last `count` non-empty lines of a text file ("\r" counts as a line
  // end, as progress lines are rewritten with it).
  static QStringList LastLines(const QString& path, int count);

 signals:
  // Sent when a job has finished, with LastSummary().
  void JobFinished(const QString& summary);

 private:
  Outcome NotStarted(const Job& job, const QString& why);
  Outcome Fail(const Job& job, const QString& why, const QString& logPath);
  Outcome Finish(Outcome outcome, const QString& summary);
  // The main window is hidden while the back end runs; a small window shows
  // its progress instead.
  void WaitShowingProgress(QProcess& process, const QString& jobName, const QString& logPath);
  // Brings the job's table into the document and keeps a copy of it.
  Outcome LoadTable(const Job& job, const QDir& work, const QString& tablePath, const QString& logPath);

  CTesseraDoc* doc_;
  QWidget* window_;
  QString programDirectory_;
  QString lastSummary_;
};

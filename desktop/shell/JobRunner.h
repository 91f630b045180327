#pragma once
// Runs a console back end (cluster, Shiftscan) for the desktop program: it
// starts the program from the program's directory with its parameter file,
// shows the job's progress in a small window beside the main window (which
// stays usable), and brings the job's mass-shift table into the document,
// or says why it cannot.
//
// A job can be cancelled from its progress window (Cancel, Escape or
// closing it): its whole process group ends, so a helper it started (Gannet
// under Shiftscan) ends too, and the files it had begun to write are
// removed. The job's processes also end when the runner goes (the program
// quits) and, should the program be killed, with the program itself.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class CJobOutputs;
class CJobProgressWindow;
class CTesseraDoc;
class QDir;
class QElapsedTimer;
class QProcess;
class QTimer;
class QWidget;

class CJobRunner : public QObject {
  Q_OBJECT

 public:
  enum class Outcome {
    NotStarted,  // the back end could not be started; nothing changed
    Failed,      // the back end ran but left no result; the document kept its data
    Loaded,      // the job's mass-shift table is in the document
    Finished,    // the job succeeded and leaves no table by design (clustering)
    Cancelled,   // the user ended the job; what it had written is gone
  };
  Q_ENUM(Outcome)

  struct Job {
    QString name;           // for the user: "cluster", "Shiftscan"
    QString program;        // executable name in the program directory
    QString parameterFile;  // the one argument
    bool leavesTable = true;
    QString resultFile;  // what a job without a table reports as its result
    // What the job writes besides its table; a cancelled job's new or
    // changed files there are removed (folders it made, whole).
    QStringList outputFiles;
    QStringList outputFolders;
    // Files the job appends to (the pair search's score log): a cancel cuts
    // them back to their length before the job.
    QStringList appendedFiles;
  };

  // Messages are shown over `window` (may be null), and the progress window
  // stands beside it.
  CJobRunner(CTesseraDoc* doc, QWidget* window, QObject* parent = nullptr);
  ~CJobRunner() override;

  // Where the back ends are looked for; the directory of this program
  // unless set.
  void SetProgramDirectory(const QString& directory) { programDirectory_ = directory; }
  QString ProgramDirectory() const { return programDirectory_; }

  // The job of a cluster parameter file (type 0, clustering, reports its
  // cluster file; type 1, the spectral pair search, leaves a table) and of
  // a Shiftscan configuration, with the outputs their files name.
  Job ClusterJob(const QString& parameterFile) const;
  Job ShiftscanJob(const QString& configurationFile) const;

  // Starts the job and returns at once; JobFinished tells how it ended.
  // False, with the reason said, when it cannot start (another job runs,
  // the program is missing). While another run uses the working folder (a
  // job of another window, a console run holding the folder's lock), the
  // job waits for it, its progress window saying so, and touches nothing
  // in the folder until it begins.
  bool Start(const Job& job);
  // Starts the job and waits for its end while the window stays live.
  Outcome Run(const Job& job);
  Outcome RunCluster(const QString& parameterFile) { return Run(ClusterJob(parameterFile)); }
  Outcome RunShiftscan(const QString& configurationFile) { return Run(ShiftscanJob(configurationFile)); }

  // A job started and not finished: running, or waiting for the folder.
  bool IsRunning() const;
  bool IsWaiting() const { return waiting_; }
  QString RunningJobName() const { return IsRunning() ? job_.name : QString(); }
  // The running back end's process id (its process group's as well); 0
  // when no back end runs.
  qint64 ProcessId() const { return process_ ? processId_ : 0; }

  // Ends the running job: its process group ends, what it wrote is removed,
  // and it finishes as Cancelled. Nothing happens when no job runs.
  void Cancel();
  // Asks the user first; answers whether the job was cancelled.
  bool RequestCancel();

  Outcome LastOutcome() const { return lastOutcome_; }
  // One line about the last job, for the status bar.
  QString LastSummary() const { return lastSummary_; }
  // The copy of the last loaded table kept beside the job's parameter file
  // ("<parameter file name>_shifts.csv"), or "Mod_result.csv" where that
  // could not be written.
  QString LastTable() const { return lastTable_; }

  // The last `count` non-empty lines of a text file ("\r" counts as a line
  // end, as progress lines are rewritten with it).
  static QStringList LastLines(const QString& path, int count);
  // The last `count` lines of a back end's log that can say why it failed:
  // its banner and its "Press any key to continue..." say nothing.
  static QStringList ReasonLines(const QString& path, int count);

 signals:
  void JobStarted(const QString& name);
  void JobFinished(CJobRunner::Outcome outcome, const QString& summary);

 private:
  bool NotStarted(const Job& job, const QString& why);
  // True when no other run uses the working folder; the job's log is then
  // this job's (locked) until it ends.
  bool TakeFolder();
  // Clears the folder of earlier verdicts, records the outputs and starts
  // the back end; false, said as not started, when it cannot.
  bool Begin();
  // Starts the back end of job_ in a process group of its own, its output
  // going to logPath_; false with `why` when it cannot be started.
  bool StartProcess(const QString& executable, QString& why);
  void ShowProgressWindow();
  void Fail(const QString& why);
  void Finish(Outcome outcome, const QString& summary);
  void OnProcessFinished();
  void OnTick();
  // Sends `signal` to every process of the job's group.
  void SignalGroup(int signal) const;
  // Brings the job's table into the document and keeps copies of it.
  void LoadTable();
  QString KeepTable(const QString& tablePath);
  void CloseProgressWindow();
  void ReleaseLog();

  CTesseraDoc* doc_;
  QWidget* window_;
  QString programDirectory_;

  // The running job.
  Job job_;
  std::unique_ptr<QProcess> process_;
  qint64 processId_ = 0;
  bool waiting_ = false;
  bool cancelling_ = false;
  // The descriptor holding the lock on the job's log, -1 when none.
  int logLock_ = -1;
  QString workingDirectory_;
  QString logPath_;
  std::unique_ptr<CJobOutputs> outputs_;
  std::unique_ptr<QElapsedTimer> clock_;
  QTimer* ticker_;
  QPointer<CJobProgressWindow> progress_;

  Outcome lastOutcome_ = Outcome::NotStarted;
  QString lastSummary_;
  QString lastTable_;
};

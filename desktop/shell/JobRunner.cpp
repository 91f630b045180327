#include "desktop/shell/JobRunner.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <filesystem>
#include <sys/file.h>
#include <sys/prctl.h>
#include <system_error>
#include <unistd.h>

#include "clustering/Para.h"
#include "common/ErrorMarker.h"
#include "common/SafeFile.h"
#include "desktop/shell/JobOutputs.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"
#include "drivers/cluster/loading/SpectrumOrigins.h"
#include "moddetect/DetectionConfig.h"

namespace {

constexpr int kPollMilliseconds = 100;
// How long a cancelled back end may take to end on its own before it is
// killed outright.
constexpr int kGraceMilliseconds = 2000;
constexpr int kLogLinesShown = 8;
const char* const kTableFile = "temp.temp";
const char* const kKeptTableFile = "Mod_result.csv";
const char* const kScoreLogFile = "score.txt";
const char* const kFolderLockFile = ".tessera.lock";

bool RemoveIfPresent(const QString& path) {
  std::error_code error;
  return std::filesystem::remove(path.toStdString(), error);
}

bool CopyOver(const QString& from, const QString& to) {
  std::error_code error;
  std::filesystem::copy_file(from.toStdString(), to.toStdString(), std::filesystem::copy_options::overwrite_existing,
                             error);
  return !error;
}

// The back ends print a banner and, at their end, a key prompt; neither
// says anything about a failure.
bool IsBackEndChatter(const QString& line) {
  static const QRegularExpression rule(QStringLiteral("^[-=|]+$"));
  return rule.match(line).hasMatch() || line.endsWith(QLatin1Char('|')) ||
         line.startsWith(QLatin1String("Tessera version")) ||
         line == QLatin1String("Press any key to continue...") ||
         line == QLatin1String("please input the configuration file name!");
}

// Opens the log at `path` and locks it, without following a link planted at
// its name. -1 with errno EWOULDBLOCK when another job holds it; -1 with
// another errno when it cannot be opened at all.
int LockLog(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 && errno == ELOOP && ::unlink(name.constData()) == 0)
    fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int why = errno;
    ::close(fd);
    errno = why;
    return -1;
  }
  return fd;
}

// True while a run holds the lock the back ends take on their working
// folder (a pair search or Shiftscan, from a window or the console). Only
// looked at, never created here.
bool FolderLockHeld(const QString& folder) {
  const QString lockPath = QDir(folder).filePath(QLatin1String(kFolderLockFile));
  if (!QFileInfo::exists(lockPath)) return false;
  safefile::CFolderLock probe;
  return !probe.Acquire(folder.toStdString(), safefile::CFolderLock::Mode::kNoWait);
}

}  // namespace

// What the user sees while a job runs: which job, for how long, the back
// end's latest progress line, and the way to end it.
class CJobProgressWindow : public QWidget {
 public:
  CJobProgressWindow(const QString& jobName, QWidget* beside, std::function<void()> onCancel)
      : QWidget(beside, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint),
        onCancel_(std::move(onCancel)),
        jobName_(jobName) {
    setWindowTitle(QStringLiteral("Tessera: %1 is running").arg(jobName));
    setObjectName(QStringLiteral("jobProgress"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* column = new QVBoxLayout(this);
    title_ = new QLabel;
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    elapsed_ = new QLabel;
    lastLine_ = new QLabel;
    lastLine_->setMinimumWidth(420);
    lastLine_->setTextFormat(Qt::PlainText);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelJob"));
    connect(cancel, &QPushButton::clicked, this, [this] { onCancel_(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    column->addWidget(title_);
    column->addWidget(elapsed_);
    column->addWidget(lastLine_);
    column->addLayout(buttons);
    Update(false, 0, QString());
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }

  void Update(bool waiting, qint64 milliseconds, const QString& lastLine) {
    const QString title = waiting ? QStringLiteral("Waiting to run %1 ...") : QStringLiteral("Running %1 ...");
    title_->setText(title.arg(jobName_));
    const qint64 seconds = milliseconds / 1000;
    elapsed_->setText(QStringLiteral("Elapsed time: %1:%2 min")
                          .arg(seconds / 60)
                          .arg(seconds % 60, 2, 10, QLatin1Char('0')));
    lastLine_->setText(fontMetrics().elidedText(lastLine, Qt::ElideMiddle, lastLine_->width()));
  }

 protected:
  // Closing the window or Escape asks to end the job; the window itself
  // goes when the job has ended.
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    onCancel_();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      onCancel_();
      return;
    }
    QWidget::keyPressEvent(event);
  }

 private:
  std::function<void()> onCancel_;
  QString jobName_;
  QLabel* title_;
  QLabel* elapsed_;
  QLabel* lastLine_;
};

CJobRunner::CJobRunner(CTesseraDoc* doc, QWidget* window, QObject* parent)
    : QObject(parent),
      doc_(doc),
      window_(window),
      programDirectory_(QCoreApplication::applicationDirPath()),
      clock_(std::make_unique<QElapsedTimer>()),
      ticker_(new QTimer(this)) {
  ticker_->setInterval(kPollMilliseconds);
  connect(ticker_, &QTimer::timeout, this, &CJobRunner::OnTick);
}

CJobRunner::~CJobRunner() {
  if (!IsRunning()) return;
  // The program is going: its job goes with it, without a word.
  if (process_) {
    process_->disconnect(this);
    SignalGroup(SIGKILL);
    process_->waitForFinished(kGraceMilliseconds);
  }
  CloseProgressWindow();
  ReleaseLog();
}

CJobRunner::Job CJobRunner::ClusterJob(const QString& parameterFile) const {
  Job job;
  job.name = QStringLiteral("cluster");
  job.program = QStringLiteral("cluster");
  job.parameterFile = parameterFile;
  const QDir work(QString::fromStdString(doc_->GetWorkingDirectory()));
  // The pair search appends to its score log run after run.
  job.appendedFiles << work.filePath(QLatin1String(kScoreLogFile));
  CPara para;
  if (para.ReadParaFile(parameterFile.toStdString()) && para.spectra_process) {
    const int type = para.cluster ? para.cluster->cluster_type : -1;
    job.leavesTable = type != CLUSTER_SIMILARITY;
    const QString result = QString::fromStdString(para.spectra_process->cluster_result);
    job.resultFile = result.isEmpty() ? result : work.absoluteFilePath(result);
    if (!result.isEmpty()) job.outputFiles << job.resultFile;
    // Clustering writes its per-spectrum table beside the cluster file.
    if (!job.leavesTable && !result.isEmpty())
      job.outputFiles << QFileInfo(job.resultFile).dir().filePath(QLatin1String(clusterjob::kClusterTableName));
    const QString representatives = QString::fromStdString(para.spectra_process->out_directory);
    if (!job.leavesTable && !representatives.isEmpty()) job.outputFolders << work.absoluteFilePath(representatives);
  }
  return job;
}

CJobRunner::Job CJobRunner::ShiftscanJob(const QString& configurationFile) const {
  Job job;
  job.name = QStringLiteral("Shiftscan");
  job.program = QStringLiteral("Shiftscan");
  job.parameterFile = configurationFile;
  const QDir work(QString::fromStdString(doc_->GetWorkingDirectory()));
  // Shiftscan's exchange files with its dumper.
  for (const char* file : {"raw.file.temp", "raw.data.temp"}) job.outputFiles << work.filePath(QLatin1String(file));
  CDetectionConfig config;
  if (config.ReadConfigFile(configurationFile.toStdString()) && config.WritePairFiles() &&
      !config.PairFolder().empty())
    job.outputFolders << work.absoluteFilePath(QString::fromStdString(config.PairFolder()));
  return job;
}

QStringList CJobRunner::LastLines(const QString& path, int count) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  constexpr qint64 kTail = 64 * 1024;
  if (file.size() > kTail) file.seek(file.size() - kTail);
  QString text = QString::fromLocal8Bit(file.readAll());
  // A console clear ("ESC [ H ESC [ 2 J") is no text.
  static const QRegularExpression escapes(QStringLiteral("\\x1b\\[[0-9;]*[A-Za-z]"));
  text.remove(escapes);
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (QString& line : lines) line = line.trimmed();
  lines.removeAll(QString());
  if (lines.size() > count) lines = lines.mid(lines.size() - count);
  return lines;
}

QStringList CJobRunner::ReasonLines(const QString& path, int count) {
  QStringList lines = LastLines(path, 1000);
  lines.erase(std::remove_if(lines.begin(), lines.end(), IsBackEndChatter), lines.end());
  if (lines.size() > count) lines = lines.mid(lines.size() - count);
  return lines;
}

bool CJobRunner::IsRunning() const { return process_ != nullptr || waiting_; }

void CJobRunner::Finish(Outcome outcome, const QString& summary) {
  // Its last lines have been read: the log may serve the next job.
  ReleaseLog();
  lastOutcome_ = outcome;
  lastSummary_ = summary;
  emit JobFinished(outcome, summary);
}

// The outcome is told first, so that the window is ready for the next job
// while the user reads why this one did not run.
bool CJobRunner::NotStarted(const Job& job, const QString& why) {
  waiting_ = false;
  CloseProgressWindow();
  Finish(Outcome::NotStarted, QStringLiteral("The %1 job was not started.").arg(job.name));
  desktop::ShowMessage(window_, desktop::MessageKind::Error, QStringLiteral("Tessera"), why);
  return false;
}

void CJobRunner::Fail(const QString& why) {
  QString text = why;
  const QStringList lines = ReasonLines(logPath_, kLogLinesShown);
  if (!lines.isEmpty()) text += QStringLiteral("\n\nFrom %1:\n%2").arg(logPath_, lines.join(QLatin1Char('\n')));
  Finish(Outcome::Failed, QStringLiteral("The %1 job failed.").arg(job_.name));
  desktop::ShowMessage(window_, desktop::MessageKind::Error, QStringLiteral("Tessera"), text);
}

bool CJobRunner::Start(const Job& job) {
  if (IsRunning()) {
    // The running job's outcome is still to come; this one never began.
    desktop::ShowMessage(window_, desktop::MessageKind::Warning, QStringLiteral("Tessera"),
                         QStringLiteral("The %1 job is still running; wait for it or cancel it first.").arg(job_.name));
    return false;
  }
  workingDirectory_ = QString::fromStdString(doc_->GetWorkingDirectory());
  // The back ends write their marker and table into the current directory.
  QDir::setCurrent(workingDirectory_);

  const QFileInfo executableInfo(QDir(programDirectory_).filePath(job.program));
  if (!executableInfo.isFile() || !executableInfo.isExecutable()) {
    return NotStarted(job, QStringLiteral("Can not start the %1 job: the program %2 does not exist or can not be run.")
                               .arg(job.name, executableInfo.filePath()));
  }

  job_ = job;
  cancelling_ = false;
  logPath_ = QDir(workingDirectory_).filePath(job.program + QStringLiteral(".log"));
  if (TakeFolder()) {
    if (!Begin()) return false;
  } else {
    // Another run's files are still being written: nothing of this job
    // touches the folder before that run has ended.
    waiting_ = true;
  }
  ShowProgressWindow();
  emit JobStarted(job.name);
  return true;
}

bool CJobRunner::TakeFolder() {
  if (FolderLockHeld(workingDirectory_)) return false;
  logLock_ = LockLog(logPath_);
  // A log that cannot be opened at all is said when the back end starts.
  return logLock_ >= 0 || errno != EWOULDBLOCK;
}

bool CJobRunner::Begin() {
  const QDir work(workingDirectory_);
  // A marker or a table left by an earlier run must not be taken for this
  // job's verdict or result.
  RemoveIfPresent(work.filePath(QLatin1String(marker::kErrorMarkerFile)));
  RemoveIfPresent(work.filePath(QLatin1String(kTableFile)));
  outputs_ = std::make_unique<CJobOutputs>(job_.outputFiles + QStringList{work.filePath(QLatin1String(kTableFile))},
                                           job_.outputFolders, job_.appendedFiles);
  // The log is this job's alone now: what an earlier job wrote there goes.
  if (logLock_ >= 0 && ::ftruncate(logLock_, 0) != 0) {
    return NotStarted(job_, QStringLiteral("Can not start the %1 job: Can not save file: %2").arg(job_.name, logPath_));
  }
  QString why;
  if (!StartProcess(QDir(programDirectory_).filePath(job_.program), why))
    return NotStarted(job_, QStringLiteral("Can not start the %1 job: %2").arg(job_.name, why));
  processId_ = process_->processId();
  clock_->start();
  return true;
}

void CJobRunner::ShowProgressWindow() {
  // A waiting job shows how long it has waited; a begun one, how long it has run.
  if (waiting_) clock_->start();
  progress_ = new CJobProgressWindow(job_.name, window_, [this] { RequestCancel(); });
  progress_->show();
  OnTick();
  ticker_->start();
}

bool CJobRunner::StartProcess(const QString& executable, QString& why) {
  process_ = std::make_unique<QProcess>();
  process_->setProgram(executable);
  process_->setArguments({job_.parameterFile});
  process_->setWorkingDirectory(workingDirectory_);
  // Shiftscan waits for a key at its end only when its input is a terminal.
  process_->setStandardInputFile(QProcess::nullDevice());
  process_->setProcessChannelMode(QProcess::MergedChannels);
  // Emptied by Begin under the log's lock; a job of another window waits.
  process_->setStandardOutputFile(logPath_, QIODevice::Append);
  // A group of its own, so that a cancel reaches the helpers it starts; and
  // the job ends if this program is killed.
  process_->setChildProcessModifier([] {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  });
  connect(process_.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
          &CJobRunner::OnProcessFinished);
  process_->start();
  if (process_->waitForStarted()) return true;
  why = process_->errorString();
  process_->disconnect(this);
  process_.reset();
  return false;
}

CJobRunner::Outcome CJobRunner::Run(const Job& job) {
  QEventLoop loop;
  connect(this, &CJobRunner::JobFinished, &loop, &QEventLoop::quit);
  if (Start(job)) loop.exec();
  return lastOutcome_;
}

void CJobRunner::OnTick() {
  if (waiting_ && TakeFolder()) {
    waiting_ = false;
    if (!Begin()) return;
  }
  if (!progress_) return;
  if (waiting_) {
    progress_->Update(true, clock_->elapsed(),
                      QStringLiteral("Waiting: another run is using the folder %1.").arg(workingDirectory_));
    return;
  }
  const QStringList last = LastLines(logPath_, 1);
  progress_->Update(false, clock_->elapsed(), last.isEmpty() ? QString() : last.first());
}

void CJobRunner::SignalGroup(int signal) const {
  if (processId_ > 0) ::kill(-static_cast<pid_t>(processId_), signal);
}

bool CJobRunner::RequestCancel() {
  if (!IsRunning()) return false;
  const QString name = job_.name;
  if (!desktop::ShowMessage(window_, desktop::MessageKind::Question, QStringLiteral("Tessera"),
                            QStringLiteral("Cancel the running %1 job? What it has written so far is removed.")
                                .arg(name)))
    return false;
  // The job may have ended while the question was open.
  if (!IsRunning() || job_.name != name) return false;
  Cancel();
  return true;
}

void CJobRunner::Cancel() {
  if (!IsRunning()) return;
  if (waiting_) {
    waiting_ = false;
    CloseProgressWindow();
    return Finish(Outcome::Cancelled,
                  QStringLiteral("The %1 job was cancelled before it began; it wrote nothing.").arg(job_.name));
  }
  cancelling_ = true;
  SignalGroup(SIGTERM);
  if (!process_->waitForFinished(kGraceMilliseconds)) {
    SignalGroup(SIGKILL);
    process_->waitForFinished(kGraceMilliseconds);
  }
}

void CJobRunner::CloseProgressWindow() {
  ticker_->stop();
  if (progress_) {
    progress_->hide();
    progress_->deleteLater();
  }
  progress_ = nullptr;
}

void CJobRunner::ReleaseLog() {
  if (logLock_ >= 0) ::close(logLock_);
  logLock_ = -1;
}

void CJobRunner::OnProcessFinished() {
  // Helpers left behind by the back end end with it: an orphaned dumper
  // would go on writing into the folder.
  SignalGroup(SIGKILL);
  CloseProgressWindow();
  // This may run inside a wait on the process (a cancel): it goes once
  // that wait has returned.
  QProcess* process = process_.release();
  process->disconnect(this);
  process->deleteLater();
  const QDir work(workingDirectory_);
  const QString markerPath = work.filePath(QLatin1String(marker::kErrorMarkerFile));
  const QString tablePath = work.filePath(QLatin1String(kTableFile));

  if (cancelling_) {
    outputs_->RemoveChanged();
    RemoveIfPresent(markerPath);
    return Finish(Outcome::Cancelled,
                  QStringLiteral("The %1 job was cancelled; what it had written was removed.").arg(job_.name));
  }
  if (QFileInfo::exists(markerPath)) {
    RemoveIfPresent(markerPath);
    return Fail(QStringLiteral("The %1 job failed.").arg(job_.name));
  }
  if (process->exitStatus() != QProcess::NormalExit)
    return Fail(QStringLiteral("The %1 job ended abnormally (%2).").arg(job_.name, process->errorString()));
  if (process->exitCode() != 0)
    return Fail(QStringLiteral("The %1 job failed (exit status %2).").arg(job_.name).arg(process->exitCode()));

  if (QFileInfo::exists(tablePath)) return LoadTable();
  if (job_.leavesTable) return Fail(QStringLiteral("The %1 job wrote no mass-shift table (%2).").arg(job_.name, tablePath));
  const QString summary = QStringLiteral("The %1 job finished; its clusters are in %2.").arg(job_.name, job_.resultFile);
  Finish(Outcome::Finished, summary);
  desktop::ShowMessage(window_, desktop::MessageKind::Information, QStringLiteral("Tessera"), summary);
}

QString CJobRunner::KeepTable(const QString& tablePath) {
  const QString kept = QDir(workingDirectory_).filePath(QLatin1String(kKeptTableFile));
  if (!CopyOver(tablePath, kept)) {
    desktop::ShowMessage(window_, desktop::MessageKind::Warning, QStringLiteral("Tessera"),
                         QStringLiteral("Can not save file: ") + kept);
  }
  // "Mod_result.csv" is the last job's; a copy named after the job's
  // parameter file stays for the recent-file list.
  const QFileInfo parameters(QDir(workingDirectory_).absoluteFilePath(job_.parameterFile));
  const QString own = parameters.dir().filePath(parameters.completeBaseName() + QStringLiteral("_shifts.csv"));
  if (CopyOver(tablePath, own)) return own;
  return QFileInfo::exists(kept) ? kept : QString();
}

void CJobRunner::LoadTable() {
  const QString tablePath = QDir(workingDirectory_).filePath(QLatin1String(kTableFile));
  if (!doc_->LoadHistogramData(tablePath.toStdString()))
    return Fail(QStringLiteral("The %1 job's mass-shift table %2 can not be read.").arg(job_.name, tablePath));
  doc_->SetDataLoaded(true);
  doc_->SetViewState(0);
  doc_->UpdateAllViews();
  lastTable_ = KeepTable(tablePath);
  RemoveIfPresent(tablePath);
  // Short enough for the status bar's message pane.
  Finish(Outcome::Loaded, QStringLiteral("%1: %2 mass shifts loaded (%3)")
                              .arg(job_.name)
                              .arg(doc_->ResultRows().size())
                              .arg(QFileInfo(lastTable_).fileName()));
}

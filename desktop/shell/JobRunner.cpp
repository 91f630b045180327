#include "desktop/shell/JobRunner.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QProcess>
#include <QVBoxLayout>
#include <QWidget>
#include <filesystem>
#include <system_error>

#include "common/ErrorMarker.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"

namespace {

constexpr int kPollMilliseconds = 100;
constexpr int kLogLinesShown = 8;
const char* const kTableFile = "temp.temp";
const char* const kKeptTableFile = "Mod_result.csv";

// What the user sees while the main window is hidden: which job runs, for
// how long, and the back end's latest progress line.
class CJobProgressWindow : public QWidget {
 public:
  explicit CJobProgressWindow(const QString& jobName)
      : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
    setWindowTitle(QStringLiteral("Tessera: %1 is running").arg(jobName));
    setWindowModality(Qt::ApplicationModal);
    setObjectName(QStringLiteral("jobProgress"));
    auto* column = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Running %1 ...").arg(jobName));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    elapsed_ = new QLabel;
    lastLine_ = new QLabel;
    lastLine_->setMinimumWidth(420);
    lastLine_->setTextFormat(Qt::PlainText);
    column->addWidget(title);
    column->addWidget(elapsed_);
    column->addWidget(lastLine_);
    Update(0, QString());
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }

  void Update(qint64 milliseconds, const QString& lastLine) {
    const qint64 seconds = milliseconds / 1000;
    elapsed_->setText(QStringLiteral("Elapsed time: %1:%2")
                          .arg(seconds / 60)
                          .arg(seconds % 60, 2, 10, QLatin1Char('0')));
    lastLine_->setText(fontMetrics().elidedText(lastLine, Qt::ElideMiddle, lastLine_->width()));
  }

 protected:
  // The job cannot be abandoned from here; the window goes when it ends.
  void closeEvent(QCloseEvent* event) override { event->ignore(); }

 private:
  QLabel* elapsed_;
  QLabel* lastLine_;
};

bool RemoveIfPresent(const QString& path) {
  std::error_code error;
  return std::filesystem::remove(path.toStdString(), error);
}

// The back end's one argument is its parameter file; everything it prints
// goes to its log.
void StartBackEnd(QProcess& process, const QString& executable, const QString& parameterFile,
                  const QString& workingDirectory, const QString& logPath) {
  process.setProgram(executable);
  process.setArguments({parameterFile});
  process.setWorkingDirectory(workingDirectory);
  // Shiftscan waits for a key at its end only when its input is a terminal.
  process.setStandardInputFile(QProcess::nullDevice());
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.setStandardOutputFile(logPath, QIODevice::Truncate);
  process.start();
}

}  // namespace

CJobRunner::CJobRunner(CTesseraDoc* doc, QWidget* window, QObject* parent)
    : QObject(parent),
      doc_(doc),
      window_(window),
      programDirectory_(QCoreApplication::applicationDirPath()) {}

CJobRunner::Outcome CJobRunner::RunCluster(const QString& parameterFile, int clusterType,
                                           const QString& clusterFile) {
  Job job;
  job.name = QStringLiteral("cluster");
  job.program = QStringLiteral("cluster");
  job.parameterFile = parameterFile;
  job.leavesTable = clusterType != 0;
  job.resultFile = clusterFile;
  return Run(job);
}

CJobRunner::Outcome CJobRunner::RunShiftscan(const QString& configurationFile) {
  Job job;
  job.name = QStringLiteral("Shiftscan");
  job.program = QStringLiteral("Shiftscan");
  job.parameterFile = configurationFile;
  return Run(job);
}

QStringList CJobRunner::LastLines(const QString& path, int count) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  constexpr qint64 kTail = 64 * 1024;
  if (file.size() > kTail) file.seek(file.size() - kTail);
  QString text = QString::fromLocal8Bit(file.readAll());
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (QString& line : lines) line = line.trimmed();
  lines.removeAll(QString());
  if (lines.size() > count) lines = lines.mid(lines.size() - count);
  return lines;
}

CJobRunner::Outcome CJobRunner::Finish(Outcome outcome, const QString& summary) {
  lastSummary_ = summary;
  emit JobFinished(summary);
  return outcome;
}

CJobRunner::Outcome CJobRunner::Fail(const Job& job, const QString& why, const QString& logPath) {
  QString text = why;
  const QStringList lines = LastLines(logPath, kLogLinesShown);
  if (!lines.isEmpty()) {
    text += QStringLiteral("\n\nLast lines of %1:\n%2").arg(logPath, lines.join(QLatin1Char('\n')));
  }
  desktop::ShowMessage(window_, desktop::MessageKind::Error, QStringLiteral("Tessera"), text);
  return Finish(Outcome::Failed, QStringLiteral("The %1 job failed.").arg(job.name));
}

CJobRunner::Outcome CJobRunner::NotStarted(const Job& job, const QString& why) {
  desktop::ShowMessage(window_, desktop::MessageKind::Error, QStringLiteral("Tessera"), why);
  return Finish(Outcome::NotStarted, QStringLiteral("The %1 job was not started.").arg(job.name));
}

CJobRunner::Outcome CJobRunner::Run(const Job& job) {
  const QString workingDirectory = QString::fromStdString(doc_->GetWorkingDirectory());
  const QDir work(workingDirectory);
  // The back ends write their marker and table into the current directory.
  QDir::setCurrent(workingDirectory);

  const QString executable = QDir(programDirectory_).filePath(job.program);
  const QFileInfo executableInfo(executable);
  if (!executableInfo.isFile() || !executableInfo.isExecutable()) {
    return NotStarted(job, QStringLiteral("Can not start the %1 job: the program %2 does not exist or can not be run.")
                               .arg(job.name, executable));
  }

  // A marker or a table left by an earlier run must not be taken for this
  // job's verdict or result.
  const QString markerPath = work.filePath(QLatin1String(marker::kErrorMarkerFile));
  const QString tablePath = work.filePath(QLatin1String(kTableFile));
  RemoveIfPresent(markerPath);
  RemoveIfPresent(tablePath);

  const QString logPath = work.filePath(job.program + QStringLiteral(".log"));
  QProcess process;
  StartBackEnd(process, executable, job.parameterFile, workingDirectory, logPath);
  if (!process.waitForStarted()) {
    return NotStarted(job, QStringLiteral("Can not start the %1 job: %2").arg(job.name, process.errorString()));
  }
  WaitShowingProgress(process, job.name, logPath);

  if (QFileInfo::exists(markerPath)) {
    RemoveIfPresent(markerPath);
    return Fail(job, QStringLiteral("The %1 job failed.").arg(job.name), logPath);
  }
  if (process.exitStatus() != QProcess::NormalExit) {
    return Fail(job, QStringLiteral("The %1 job ended abnormally (%2).").arg(job.name, process.errorString()),
                logPath);
  }
  if (process.exitCode() != 0) {
    return Fail(job, QStringLiteral("The %1 job failed (exit status %2).").arg(job.name).arg(process.exitCode()),
                logPath);
  }

  if (!QFileInfo::exists(tablePath)) {
    if (job.leavesTable) {
      return Fail(job, QStringLiteral("The %1 job wrote no mass-shift table (%2).").arg(job.name, tablePath),
                  logPath);
    }
    const QString summary = QStringLiteral("The %1 job finished; its clusters are in %2.").arg(job.name, job.resultFile);
    desktop::ShowMessage(window_, desktop::MessageKind::Information, QStringLiteral("Tessera"), summary);
    return Finish(Outcome::Finished, summary);
  }
  return LoadTable(job, work, tablePath, logPath);
}

void CJobRunner::WaitShowingProgress(QProcess& process, const QString& jobName, const QString& logPath) {
  const bool windowWasVisible = window_ && window_->isVisible();
  if (window_) window_->hide();
  CJobProgressWindow progress(jobName);
  progress.show();
  QElapsedTimer clock;
  clock.start();
  while (process.state() != QProcess::NotRunning) {
    if (process.waitForFinished(kPollMilliseconds)) break;
    const QStringList last = LastLines(logPath, 1);
    progress.Update(clock.elapsed(), last.isEmpty() ? QString() : last.first());
    QCoreApplication::processEvents();
  }
  progress.hide();
  if (window_ && windowWasVisible) window_->show();
}

CJobRunner::Outcome CJobRunner::LoadTable(const Job& job, const QDir& work, const QString& tablePath,
                                          const QString& logPath) {
  if (!doc_->LoadHistogramData(tablePath.toStdString())) {
    return Fail(job, QStringLiteral("The %1 job's mass-shift table %2 can not be read.").arg(job.name, tablePath),
                logPath);
  }
  doc_->SetDataLoaded(true);
  doc_->SetViewState(0);
  doc_->UpdateAllViews();

  const QString keptPath = work.filePath(QLatin1String(kKeptTableFile));
  std::error_code error;
  std::filesystem::copy_file(tablePath.toStdString(), keptPath.toStdString(),
                             std::filesystem::copy_options::overwrite_existing, error);
  if (error) {
    desktop::ShowMessage(window_, desktop::MessageKind::Warning, QStringLiteral("Tessera"),
                         QStringLiteral("Can not save file:") + keptPath);
  }
  RemoveIfPresent(tablePath);
  // Short enough for the status bar's message pane.
  return Finish(Outcome::Loaded, QStringLiteral("%1: %2 mass shifts loaded (%3)")
                                     .arg(job.name)
                                     .arg(doc_->ResultRows().size())
                                     .arg(QLatin1String(kKeptTableFile)));
}

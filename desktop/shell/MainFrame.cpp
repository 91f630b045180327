#include "desktop/shell/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>

#include "clustering/ClusterTypes.h"
#include "desktop/shell/Artwork.h"
#include "desktop/shell/ClusterDlg.h"
#include "desktop/shell/JobRunner.h"
#include "desktop/shell/ShiftscanDlg.h"
#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/TableExport.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"
#include "desktop/shell/propagation_ui/PropagationCommands.h"
#include "desktop/shell/views/MyListView.h"
#include "desktop/shell/views/TesseraView.h"
#include "desktop/shell/views/Views.h"

// Last: X11 defines macros (None, Bool) that Qt headers would trip over.
#include <X11/XKBlib.h>

namespace {

const char* const kRecentGroup = "Recent File List";
constexpr int kLockPollMilliseconds = 300;
const QString kTitle = QStringLiteral("Tessera");

QAction* Item(QMenu* menu, const QString& text, const QString& prompt, bool enabled = true) {
  QAction* action = menu->addAction(text);
  action->setStatusTip(prompt);
  action->setEnabled(enabled);
  return action;
}

// The lock states, read from the X server's keyboard indicators. Other
// platforms (and the offscreen one of the tests) have none to read.
struct LockState {
  bool caps = false, num = false, scroll = false;
};

LockState ReadLockState() {
  LockState state;
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 ? x11->display() : nullptr;
  if (!display) return state;
  auto lit = [display](const char* name) {
    Bool on = False;
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return false;
    XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr);
    return on == True;
  };
  state.caps = lit("Caps Lock");
  state.num = lit("Num Lock");
  state.scroll = lit("Scroll Lock");
  return state;
}

}  // namespace

CMainFrame::CMainFrame(CTesseraDoc* doc, QWidget* parent)
    : QMainWindow(parent), doc_(doc), runner_(new CJobRunner(doc, this, this)) {
  setWindowTitle(QStringLiteral("Tessera v1.0"));
  setWindowIcon(art::ApplicationIcon());
  CreatePanes();
  CreateToolbar();
  CreateMenus();
  CreateStatusBar();
  connect(runner_, &CJobRunner::JobStarted, this, &CMainFrame::OnJobStarted);
  connect(runner_, &CJobRunner::JobFinished, this,
          [this](CJobRunner::Outcome outcome, const QString& summary) { OnJobFinished(int(outcome), summary); });
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateMenus() {
  CreateFileMenu();
  CreateViewMenu();
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  // The same box as the toolbar's last button.
  connect(Item(help, QStringLiteral("&About Tessera..."), QStringLiteral("What this program is, its version and licences")),
          &QAction::triggered, this, &CMainFrame::OnAbout);
}

void CMainFrame::CreateFileMenu() {
  fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* clustering = Item(fileMenu_, QStringLiteral("&Cluster Data..."), QStringLiteral("Cluster"));
  connect(clustering, &QAction::triggered, this, &CMainFrame::OnClusteringJob);
  QAction* pairs = Item(fileMenu_, QStringLiteral("Spectral &Pair..."), QStringLiteral("Spectral Pair"));
  connect(pairs, &QAction::triggered, this, &CMainFrame::OnPairSearchJob);
  connect(Item(fileMenu_, QStringLiteral("Get &Mod Site..."),
               QStringLiteral("give a mod site for certain sequence and modification through KSDP")),
          &QAction::triggered, this, &CMainFrame::OnGetModSite);
  QAction* propagation = Item(fileMenu_, QStringLiteral("P&ropagation..."), QStringLiteral("Propagation"));
  connect(propagation, &QAction::triggered, this, &CMainFrame::OnPropagation);
  jobActions_ << clustering << pairs << propagation;
  fileMenu_->addSeparator();
  QAction* open = Item(fileMenu_, QStringLiteral("&Open Mass-Shift Table..."),
                       QStringLiteral("Show a mass-shift table (Mod_result.csv or a job's table) in the window"));
  open->setShortcut(QKeySequence::Open);
  connect(open, &QAction::triggered, this, &CMainFrame::OnOpenTable);
  connect(Item(fileMenu_, QStringLiteral("&Export List as TSV..."),
               QStringLiteral("Save the annotated list as tab-separated text")),
          &QAction::triggered, this, &CMainFrame::OnExportList);
  fileMenu_->addSeparator();
  recentPlaceholder_ = Item(fileMenu_, QStringLiteral("Latest Files"), QStringLiteral("Open this file"), false);
  for (int i = 0; i < kRecentFileCount; ++i) {
    QAction* action = Item(fileMenu_, QString(), QStringLiteral("Open this file"));
    action->setVisible(false);
    connect(action, &QAction::triggered, this, [this, action] { OpenRecentFile(action->data().toString()); });
    recentActions_ << action;
  }
  fileMenu_->addSeparator();
  QAction* exit = Item(fileMenu_, QStringLiteral("E&xit"), QStringLiteral("Exit the application"));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  RefreshRecentFiles();
}

void CMainFrame::CreateViewMenu() {
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  QAction* toolbarToggle = toolbar_->toggleViewAction();
  toolbarToggle->setText(QStringLiteral("&Tool Bar"));
  toolbarToggle->setStatusTip(QStringLiteral("Show or hide toolbar"));
  view->addAction(toolbarToggle);
  QAction* statusToggle = Item(view, QStringLiteral("&Status Bar"), QStringLiteral("Show or hide status bar"));
  statusToggle->setCheckable(true);
  statusToggle->setChecked(true);
  connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  view->addSeparator();
  connect(Item(view, QStringLiteral("&Parameters..."), QStringLiteral("Setting parameters")), &QAction::triggered,
          histogram_, &CTesseraView::EditParameters);
  QAction* back = Item(view, QStringLiteral("Zoom &Back"), QStringLiteral("Undo the last zoom of the histogram"));
  back->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace));
  connect(back, &QAction::triggered, histogram_, &CTesseraView::ZoomBack);
  connect(Item(view, QStringLiteral("&Refresh"), QStringLiteral("Show the whole histogram again")),
          &QAction::triggered, histogram_, &CTesseraView::Refresh);
}

void CMainFrame::CreateToolbar() {
  toolbar_ = addToolBar(QStringLiteral("Tool Bar"));
  toolbar_->setObjectName(QStringLiteral("toolBar"));
  toolbar_->setIconSize(QSize(art::kToolbarImageSize, art::kToolbarImageSize));
  toolbar_->setMovable(true);
  toolbar_->setFloatable(true);
  toolbar_->setAllowedAreas(Qt::AllToolBarAreas);

  struct Button {
    art::ToolbarImage image;
    const char* text;
    const char* prompt;
  };
  // Each prompt names what its button does.
  const Button buttons[] = {
      {art::ToolbarImage::Shiftscan, "Shiftscan", "Shiftscan"},
      {art::ToolbarImage::Clustering, "MS/MS clustering", "MS/MS clustering"},
      {art::ToolbarImage::Propagation, "Propagation", "Propagation"},
      {art::ToolbarImage::PairLink, "Spectral pair search", "Spectral pair search"},
      {art::ToolbarImage::About, "About", "About"},
  };
  QList<QAction*> actions;
  for (const Button& b : buttons) {
    QAction* action = toolbar_->addAction(art::ToolbarIcon(b.image), QLatin1String(b.text));
    action->setStatusTip(QLatin1String(b.prompt));
    actions << action;
  }
  connect(actions[0], &QAction::triggered, this, &CMainFrame::OnShiftscanJob);
  connect(actions[1], &QAction::triggered, this, &CMainFrame::OnClusterJob);
  connect(actions[2], &QAction::triggered, this, &CMainFrame::OnPropagation);
  // The linked spectra: the clustering dialog set for the pair search.
  connect(actions[3], &QAction::triggered, this, &CMainFrame::OnPairSearchJob);
  jobActions_ << actions[0] << actions[1] << actions[2] << actions[3];
  connect(actions[4], &QAction::triggered, this, &CMainFrame::OnAbout);
}

QList<QAction*> CMainFrame::ToolbarActions() const { return toolbar_->actions(); }

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("statusBar"));
  // The message takes the bar's width; the lock indicators stand at its
  // right end.
  auto* indicators = new QWidget;
  indicators->setObjectName(QStringLiteral("lockIndicators"));
  auto* row = new QHBoxLayout(indicators);
  row->setContentsMargins(0, 0, 0, 0);
  for (auto [label, text] : {std::pair{&capsLock_, "CAP"}, {&numLock_, "NUM"}, {&scrollLock_, "SCRL"}}) {
    *label = new QLabel(QLatin1String(text));
    (*label)->setFrameShape(QFrame::Panel);
    (*label)->setFrameShadow(QFrame::Sunken);
    (*label)->setAlignment(Qt::AlignCenter);
    (*label)->setMinimumWidth(44);
    (*label)->setEnabled(false);
    row->addWidget(*label);
  }
  bar->addPermanentWidget(indicators);
  bar->showMessage(QStringLiteral("Ready"));

  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, &CMainFrame::UpdateLockIndicators);
  poll->start(kLockPollMilliseconds);
}

void CMainFrame::UpdateLockIndicators() {
  const LockState state = ReadLockState();
  capsLock_->setEnabled(state.caps);
  numLock_->setEnabled(state.num);
  scrollLock_->setEnabled(state.scroll);
}

void CMainFrame::CreatePanes() {
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName(QStringLiteral("splitter"));
  splitter_->setHandleWidth(4);
  splitter_->setChildrenCollapsible(false);
  histogram_ = new CTesseraView(doc_, splitter_);
  list_ = new CMyListView(doc_, splitter_);
  histogram_->setObjectName(QStringLiteral("histogramView"));
  list_->setObjectName(QStringLiteral("resultList"));
  splitter_->addWidget(histogram_);
  splitter_->addWidget(list_);
  ConnectViews(histogram_, list_);
  const auto showStatus = [this](const QString& message) { statusBar()->showMessage(message); };
  connect(histogram_, &CTesseraView::StatusMessage, this, showStatus);
  connect(list_, &CMyListView::StatusMessage, this, showStatus);
  setCentralWidget(splitter_);
  histogram_->setFocus();
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (splitDone_) return;
  splitDone_ = true;
  // Once the window has its size: 8/10 of the height above, 2/10 below.
  QTimer::singleShot(0, this, [this] {
    const int height = this->height();
    splitter_->setSizes({height * 8 / 10, height * 2 / 10});
  });
}

void CMainFrame::OnClusterJob() { RunClusterDialog(-1); }
void CMainFrame::OnClusteringJob() { RunClusterDialog(CLUSTER_SIMILARITY); }
void CMainFrame::OnPairSearchJob() { RunClusterDialog(CLUSTER_SPECTRAL_PAIR); }

void CMainFrame::RunClusterDialog(int presetType) {
  CClusterDlg dialog(doc_, this);
  if (presetType >= 0) dialog.SetClusterType(presetType);
  if (dialog.exec() != QDialog::Accepted) return;
  QDir::setCurrent(QString::fromStdString(doc_->GetWorkingDirectory()));
  doc_->SetLastDataPath(dialog.DataPath().toStdString());
  doc_->SetLastDataType(dialog.DataTypeIndex());
  if (dialog.Parameters().isEmpty()) {
    statusBar()->showMessage(QStringLiteral("No parameter file was saved; the clustering job was not started."));
    return;
  }
  runner_->Start(runner_->ClusterJob(dialog.Parameters()));
}

void CMainFrame::OnShiftscanJob() {
  CShiftscanDlg dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (dialog.ConfigurationPath().isEmpty()) {
    statusBar()->showMessage(QStringLiteral("No configuration file was saved; the Shiftscan job was not started."));
    return;
  }
  runner_->Start(runner_->ShiftscanJob(dialog.ConfigurationPath()));
}

void CMainFrame::OnJobStarted(const QString& name) {
  // One job at a time: a second would share the working folder's fixed
  // file names, and propagation would read pair files still being written.
  for (QAction* action : jobActions_) action->setEnabled(false);
  statusBar()->showMessage(QStringLiteral("The %1 job is running; the window stays usable meanwhile.").arg(name));
}

void CMainFrame::OnJobFinished(int outcome, const QString& summary) {
  for (QAction* action : jobActions_) action->setEnabled(true);
  statusBar()->showMessage(summary);
  if (outcome == int(CJobRunner::Outcome::Loaded) && !runner_->LastTable().isEmpty())
    AddRecentFile(QFileInfo(runner_->LastTable()).absoluteFilePath());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (runner_->IsRunning()) {
    const bool end = desktop::ShowMessage(
        this, desktop::MessageKind::Question, kTitle,
        QStringLiteral("The %1 job is still running. End it and quit?").arg(runner_->RunningJobName()));
    if (!end) {
      event->ignore();
      return;
    }
    runner_->Cancel();
  }
  QMainWindow::closeEvent(event);
}

void CMainFrame::OnPropagation() { RunPropagationCommand(this, doc_); }

void CMainFrame::OnGetModSite() { OpenKSDPScoreDialog(this, doc_); }

void CMainFrame::OnAbout() {
  QDialog about(this);
  about.setWindowTitle(QStringLiteral("About Tessera"));
  auto* column = new QVBoxLayout(&about);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel;
  icon->setPixmap(art::ApplicationIcon().pixmap(48, 48));
  row->addWidget(icon, 0, Qt::AlignTop);
  auto* text = new QLabel(QStringLiteral(
      "<b>Tessera Version 1.0</b><br><br>"
      "A toolkit for tandem mass spectra (MS/MS): it clusters spectra, finds unexpected "
      "modifications as mass shifts (spectral pair search and Shiftscan), shows them as a "
      "histogram and a list annotated from Unimod, places a modification on a peptide by its "
      "KSDP score, and propagates identifications within clusters and across spectral pairs.<br><br>"
      "Unimod modifications: Copyright (C) 2002-2006 Unimod, distributed under the Design Science "
      "License (the unimod.xml of OpenMS 2.6.0, <i>Unimod_xml/Unimod_mono.xml</i> beside the program)."));
  text->setObjectName(QStringLiteral("aboutText"));
  text->setWordWrap(true);
  text->setMinimumWidth(420);
  row->addWidget(text, 1);
  column->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  column->addWidget(buttons);
  about.exec();
}

void CMainFrame::OnOpenTable() {
  desktop::FileChoice choice;
  choice.title = QStringLiteral("Open mass-shift table");
  choice.filter = QStringLiteral("Mass-shift tables (*.csv *.temp *.txt);;All files (*)");
  choice.memoryKey = QStringLiteral("tables");
  const auto path = desktop::ChooseFile(this, choice);
  if (path && !path->isEmpty()) OpenTable(*path);
}

void CMainFrame::OnExportList() {
  const QString written = desktop::ExportTableAsTsv(this, *list_, QStringLiteral("Export list as TSV"),
                                                    QStringLiteral("mass_shifts.tsv"));
  if (!written.isEmpty()) statusBar()->showMessage(QStringLiteral("List saved as %1").arg(written));
}

bool CMainFrame::OpenTable(const QString& path) {
  std::string why;
  if (!IsMassShiftTable(path.toStdString(), why) || !doc_->LoadHistogramData(path.toStdString())) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, kTitle,
                         why.empty() ? QStringLiteral("Can not open file: ") + path : QString::fromStdString(why));
    return false;
  }
  doc_->SetDataLoaded(true);
  doc_->SetViewState(0);
  doc_->UpdateAllViews();
  AddRecentFile(QFileInfo(path).absoluteFilePath());
  statusBar()->showMessage(QStringLiteral("%1 mass shifts from %2").arg(doc_->ResultRows().size()).arg(path));
  return true;
}

bool CMainFrame::OpenRecentFile(const QString& path) {
  if (QFileInfo::exists(path)) return OpenTable(path);
  RemoveRecentFile(path);
  desktop::ShowMessage(this, desktop::MessageKind::Warning, kTitle,
                       QStringLiteral("File: %1 does not exist! It was taken off the recent files.").arg(path));
  return false;
}

bool CMainFrame::RestoreLastTable() {
  for (const QString& path : RecentFiles()) {
    std::string why;
    if (!IsMassShiftTable(path.toStdString(), why) || !doc_->LoadHistogramData(path.toStdString())) continue;
    doc_->SetDataLoaded(true);
    doc_->SetViewState(0);
    doc_->UpdateAllViews();
    statusBar()->showMessage(QStringLiteral("%1 mass shifts from %2 (the last table shown)")
                                 .arg(doc_->ResultRows().size())
                                 .arg(path));
    return true;
  }
  return false;
}

QStringList CMainFrame::RecentFiles() {
  QStringList files;
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString file = desktop::Recall(QStringLiteral("%1/File%2").arg(QLatin1String(kRecentGroup)).arg(i)).toString();
    if (!file.isEmpty()) files << file;
  }
  return files;
}

void CMainFrame::AddRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  KeepRecentFiles(files);
}

void CMainFrame::RemoveRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  KeepRecentFiles(files);
}

void CMainFrame::KeepRecentFiles(const QStringList& files) {
  for (int i = 1; i <= kRecentFileCount; ++i)
    desktop::Remember(QStringLiteral("%1/File%2").arg(QLatin1String(kRecentGroup)).arg(i), files.value(i - 1));
  RefreshRecentFiles();
}

void CMainFrame::RefreshRecentFiles() {
  const QStringList files = RecentFiles();
  recentPlaceholder_->setVisible(files.isEmpty());
  for (int i = 0; i < kRecentFileCount; ++i) {
    QAction* action = recentActions_[i];
    const bool used = i < files.size();
    action->setVisible(used);
    if (!used) continue;
    action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]));
    action->setData(files[i]);
  }
}

#include "desktop/shell/MainFrame.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>

#include "desktop/shell/Artwork.h"
#include "desktop/shell/ClusterDlg.h"
#include "desktop/shell/JobRunner.h"
#include "desktop/shell/ShiftscanDlg.h"
#include "desktop/shell/core/FileChooser.h"
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
// The status bar's parts end at these x positions: the message pane, then
// the pane of the lock indicators.
constexpr int kMessagePaneRight = 400;
constexpr int kIndicatorPaneRight = 1000;
constexpr int kLockPollMilliseconds = 300;

QAction* Item(QMenu* menu, const QString& text, const QString& prompt, bool enabled) {
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
  CreateToolbar();
  CreateMenus();
  CreateStatusBar();
  CreatePanes();
  connect(runner_, &CJobRunner::JobFinished, this, [this](const QString& summary) {
    statusBar()->showMessage(summary);
  });
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateMenus() {
  fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
  // Items without an action stay visible but disabled.
  Item(fileMenu_, QStringLiteral("Cluster Data"), QStringLiteral("Cluster"), false);
  Item(fileMenu_, QStringLiteral("Spectral Pair"), QStringLiteral("Spectral Pair"), false);
  connect(Item(fileMenu_, QStringLiteral("Get Mod Site"),
               QStringLiteral("give a mod site for certain sequence and modification through KSDP"), true),
          &QAction::triggered, this, &CMainFrame::OnGetModSite);
  connect(Item(fileMenu_, QStringLiteral("Propagation"), QString(), true), &QAction::triggered, this,
          &CMainFrame::OnPropagation);
  fileMenu_->addSeparator();
  recentPlaceholder_ = Item(fileMenu_, QStringLiteral("Latest Files"), QStringLiteral("Open this file"), false);
  for (int i = 0; i < kRecentFileCount; ++i) {
    QAction* action = Item(fileMenu_, QString(), QStringLiteral("Open this file"), true);
    action->setVisible(false);
    connect(action, &QAction::triggered, this, [this, action] { OpenTable(action->data().toString()); });
    recentActions_ << action;
  }
  fileMenu_->addSeparator();
  QAction* exit = Item(fileMenu_, QStringLiteral("Exit(&X)"), QStringLiteral("Exit the application;"), true);
  connect(exit, &QAction::triggered, this, &QWidget::close);
  RefreshRecentFiles();

  // The standard open command: a mass-shift table into the document.
  auto* open = new QAction(this);
  open->setShortcut(QKeySequence::Open);
  connect(open, &QAction::triggered, this, &CMainFrame::OnOpenTable);
  addAction(open);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  QAction* toolbarToggle = toolbar_->toggleViewAction();
  toolbarToggle->setText(QStringLiteral("Tool Bar(&T)"));
  toolbarToggle->setStatusTip(QStringLiteral("Show or hide toolbar"));
  view->addAction(toolbarToggle);
  QAction* statusToggle = Item(view, QStringLiteral("Status Bar(&S)"), QStringLiteral("Show or hide status bar"), true);
  statusToggle->setCheckable(true);
  statusToggle->setChecked(true);
  connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  view->addSeparator();
  for (const auto& [text, prompt] :
       {std::pair{"Parameters", "Setting parameters"}, {"Best Bin", "Get Best Bin Value"}, {"Test", "Test"},
        {"Get Mod Pair", ""}}) {
    Item(view, QLatin1String(text), QLatin1String(prompt), false);
  }

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  // The same box as the toolbar's last button.
  connect(Item(help, QStringLiteral("About Tessera(&A)..."), QString(), true), &QAction::triggered, this,
          &CMainFrame::OnAbout);
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
      {art::ToolbarImage::PairLink, "Linked spectra", ""},
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
  // Button 4 has no command yet; greyed, it does not pass for one that
  // failed silently.
  actions[3]->setEnabled(false);
  connect(actions[4], &QAction::triggered, this, &CMainFrame::OnAbout);
}

QList<QAction*> CMainFrame::ToolbarActions() const { return toolbar_->actions(); }

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("statusBar"));
  indicatorPane_ = new QWidget;
  indicatorPane_->setObjectName(QStringLiteral("lockIndicators"));
  auto* row = new QHBoxLayout(indicatorPane_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addStretch(1);
  for (auto [label, text] : {std::pair{&capsLock_, "CAP"}, {&numLock_, "NUM"}, {&scrollLock_, "SCRL"}}) {
    *label = new QLabel(QLatin1String(text));
    (*label)->setFrameShape(QFrame::Panel);
    (*label)->setFrameShadow(QFrame::Sunken);
    (*label)->setAlignment(Qt::AlignCenter);
    (*label)->setMinimumWidth(44);
    (*label)->setEnabled(false);
    row->addWidget(*label);
  }
  indicatorPane_->setFixedWidth(kIndicatorPaneRight - kMessagePaneRight);
  statusTail_ = new QWidget;
  statusTail_->setFixedWidth(0);
  bar->addPermanentWidget(indicatorPane_);
  bar->addPermanentWidget(statusTail_);
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

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // The indicator pane spans 400 to 1000 pixels when the window is wide
  // enough; what lies right of it stays empty.
  const int width = statusBar()->width();
  const int paneWidth = std::max(0, std::min(width - kMessagePaneRight, kIndicatorPaneRight - kMessagePaneRight));
  indicatorPane_->setFixedWidth(paneWidth);
  statusTail_->setFixedWidth(std::max(0, width - kIndicatorPaneRight - 8));
}

void CMainFrame::CreatePanes() {
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName(QStringLiteral("splitter"));
  splitter_->setHandleWidth(4);
  splitter_->setChildrenCollapsible(false);
  auto* histogram = new CTesseraView(doc_, splitter_);
  auto* list = new CMyListView(doc_, splitter_);
  histogram->setObjectName(QStringLiteral("histogramView"));
  list->setObjectName(QStringLiteral("resultList"));
  splitter_->addWidget(histogram);
  splitter_->addWidget(list);
  ConnectViews(histogram, list);
  connect(histogram, &CTesseraView::StatusMessage, statusBar(), [this](const QString& m) { statusBar()->showMessage(m); });
  connect(list, &CMyListView::StatusMessage, statusBar(), [this](const QString& m) { statusBar()->showMessage(m); });
  setCentralWidget(splitter_);
  histogram->setFocus();
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

void CMainFrame::OnClusterJob() {
  CClusterDlg dialog(doc_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  QDir::setCurrent(QString::fromStdString(doc_->GetWorkingDirectory()));
  doc_->SetLastDataPath(dialog.DataPath().toStdString());
  doc_->SetLastDataType(dialog.DataTypeIndex());
  if (dialog.Parameters().isEmpty()) {
    statusBar()->showMessage(QStringLiteral("No parameter file was saved; the clustering job was not started."));
    return;
  }
  runner_->RunCluster(dialog.Parameters(), dialog.ClusterType(), dialog.ClusterResult());
}

void CMainFrame::OnShiftscanJob() {
  CShiftscanDlg dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (dialog.ConfigurationPath().isEmpty()) {
    statusBar()->showMessage(QStringLiteral("No configuration file was saved; the Shiftscan job was not started."));
    return;
  }
  runner_->RunShiftscan(dialog.ConfigurationPath());
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
  row->addWidget(icon);
  row->addWidget(new QLabel(QStringLiteral("Tessera Version 1.0")), 1);
  column->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  column->addWidget(buttons);
  about.exec();
}

void CMainFrame::OnOpenTable() {
  desktop::FileChoice choice;
  choice.filter = QStringLiteral("Mass-shift tables (*.csv *.temp *.txt);;All files (*)");
  choice.proposed = QString::fromStdString(doc_->GetWorkingDirectory());
  const auto path = desktop::ChooseFile(this, choice);
  if (path && !path->isEmpty()) OpenTable(*path);
}

bool CMainFrame::OpenTable(const QString& path) {
  if (!doc_->LoadHistogramData(path.toStdString())) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, QStringLiteral("Tessera"),
                         QStringLiteral("Can not open file:") + path);
    return false;
  }
  doc_->SetDataLoaded(true);
  doc_->SetViewState(0);
  doc_->UpdateAllViews();
  AddRecentFile(QFileInfo(path).absoluteFilePath());
  statusBar()->showMessage(QStringLiteral("%1 mass shifts from %2").arg(doc_->ResultRows().size()).arg(path));
  return true;
}

QStringList CMainFrame::RecentFiles() {
  QSettings settings;
  settings.beginGroup(QLatin1String(kRecentGroup));
  QStringList files;
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString file = settings.value(QStringLiteral("File%1").arg(i)).toString();
    if (!file.isEmpty()) files << file;
  }
  return files;
}

void CMainFrame::AddRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  QSettings settings;
  settings.beginGroup(QLatin1String(kRecentGroup));
  for (int i = 1; i <= kRecentFileCount; ++i)
    settings.setValue(QStringLiteral("File%1").arg(i), files.value(i - 1));
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

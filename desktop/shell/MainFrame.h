#pragma once
// The main window: menus and toolbar of the program's commands, a status bar
// with the prompts and the lock indicators, and the histogram pane above the
// result list. It runs the clustering and Shiftscan jobs for the user.

#include <QMainWindow>
#include <QStringList>

class CJobRunner;
class CMyListView;
class CTesseraDoc;
class CTesseraView;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kRecentFileCount = 4;

  explicit CMainFrame(CTesseraDoc* doc, QWidget* parent = nullptr);
  ~CMainFrame() override;

  CTesseraDoc* Document() const { return doc_; }
  CJobRunner* Runner() const { return runner_; }
  QSplitter* Splitter() const { return splitter_; }
  CTesseraView* Histogram() const { return histogram_; }
  CMyListView* List() const { return list_; }
  // The five toolbar buttons, left to right.
  QList<QAction*> ToolbarActions() const;

  // Recent files as kept in the settings, newest first.
  static QStringList RecentFiles();
  // Shows the newest recent table again, as the last session left it;
  // false when there is none that can be read.
  bool RestoreLastTable();

 public slots:
  // The clustering dialog as the user left it; "Cluster Data" and
  // "Spectral Pair" open it set for clustering or for the pair search.
  void OnClusterJob();
  void OnClusteringJob();
  void OnPairSearchJob();
  void OnShiftscanJob();
  void OnPropagation();
  void OnGetModSite();
  void OnAbout();
  void OnOpenTable();
  void OnExportList();
  // Loads a mass-shift table into the document and lists it as recent; a
  // file that is not a mass-shift table is refused with a message.
  bool OpenTable(const QString& path);
  // A recent file as chosen from the File menu: one that no longer exists
  // is said so and leaves the list.
  bool OpenRecentFile(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  // A running job is ended first (the user is asked), so that no back end
  // goes on alone holding the working folder.
  void closeEvent(QCloseEvent* event) override;

 private:
  void RunClusterDialog(int presetType);
  void OnJobStarted(const QString& name);
  void OnJobFinished(int outcome, const QString& summary);
  void CreateFileMenu();
  void CreateViewMenu();
  void CreateMenus();
  void CreateToolbar();
  void CreateStatusBar();
  void CreatePanes();
  void AddRecentFile(const QString& path);
  void RemoveRecentFile(const QString& path);
  // Stores the list, newest first, and shows it in the File menu.
  void KeepRecentFiles(const QStringList& files);
  void RefreshRecentFiles();
  void UpdateLockIndicators();

  CTesseraDoc* doc_;
  CJobRunner* runner_;
  QSplitter* splitter_ = nullptr;
  CTesseraView* histogram_ = nullptr;
  CMyListView* list_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QList<QAction*> recentActions_;
  QAction* recentPlaceholder_ = nullptr;
  // The commands that start a job; off while one runs.
  QList<QAction*> jobActions_;
  QLabel* capsLock_ = nullptr;
  QLabel* numLock_ = nullptr;
  QLabel* scrollLock_ = nullptr;
  bool splitDone_ = false;
};

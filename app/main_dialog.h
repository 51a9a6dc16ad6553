#pragma once
// The main window: the program itself. It owns, for the whole life of the
// program, the settings, the log, the disk info file, the scan engine and the
// error list; it runs the commands START/STOP, SKIP, OPTION, EXIT, ABOUT, the
// four panel toggles, CL and HELP, the one-second timer, and carries out the
// engine's window calls (through the window bridge, which takes calls of the
// engine's threads over to the UI thread). The error list's context menu
// copies rows, opens a file's folder and rescues damaged files, with a
// rescue window of its own while the main window stays usable.
#include <QBasicTimer>
#include <QIcon>
#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/check_run.h"
#include "engine/rescue.h"
#include "ui/error_list.h"
#include "ui/rescue_dialog.h"
#include "ui/template_dialog.h"
#include "ui/tooltip_ctrl.h"
#include "ui/window_bridge.h"

class QTreeView;

namespace platform {
class Registry;
}
namespace records {
class DiskInfoStore;
class LogFile;
class SettingsStore;
}  // namespace records

namespace ui {

class EventSounds;

// Asks the user for a folder: the desktop's folder chooser.
class FolderChooser {
 public:
  virtual ~FolderChooser() = default;
  // The folder chosen (its path as the system names it), or empty when the
  // user cancelled. start: the folder shown first.
  virtual std::string ChooseFolder(QWidget* owner, const std::string& title, const std::string& start) = 0;
};

// What the window uses of the system. Each left empty takes the real one;
// tests put fakes in.
struct MainDialogServices {
  std::shared_ptr<platform::Registry> registry;          // the user's registry file
  std::shared_ptr<engine::VolumeQuery> volumes;           // the volumes of the drives
  std::shared_ptr<engine::RootCheck> roots;               // roots mounted and readable
  std::shared_ptr<engine::RootPathTranslator> rootPaths;  // drive letters onto folders
  std::shared_ptr<engine::SoundPlayer> sounds;            // the sounds of events 1, 2 and 7
  std::shared_ptr<engine::ThreadStarter> threads;         // the system's threads
  std::shared_ptr<engine::FilePrefetcher> prefetcher;     // read-ahead through the system's cache
  std::unique_ptr<CErrorListModel> errorList;             // the rows of the error list
  std::shared_ptr<FolderChooser> folders;                 // where rescued files go
};

class CMainDialog : public CTemplateDialog, public engine::WindowOps {
  Q_OBJECT

 public:
  explicit CMainDialog(MainDialogServices services = {}, QWidget* parent = nullptr);
  ~CMainDialog() override;

  // The window operations, carried out on the UI thread (the engine reaches
  // them through the bridge).
  void SetFieldText(int id, const std::string& text) override;
  void SetProgress(int id, int position) override;
  int AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) override;
  void ShowButton(int id, bool show) override;
  void EnableButton(int id, bool enable) override;
  void SetTitle(const std::string& title) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned type) override;
  void OpenOptions() override;

  // The sound of an event (1 read error, 2 open error, 7 end of check).
  void PlayEventSound(int event);
  // The end-of-check report.
  void ShowCheckReport();

  void done(int result) override;

  engine::ScanEngine& Engine() { return *m_engine; }
  records::SettingsStore& Store() { return *m_store; }
  CErrorListModel& ErrorList() { return *m_errorList; }
  int NextRow() const { return m_nNextRow; }
  const engine::PanelFlags& Panels() const { return *m_panels; }
  const CToolTipCtrl& Tooltips() const { return m_tooltip; }
  QTreeView* List() const { return m_list; }
  // The window of the running rescue (nullptr: none runs).
  CRescueDialog* RescueWindow() const { return m_rescueWindow; }
  bool Rescuing() const { return m_rescue != nullptr; }

  // Control ids of the window's own buttons.
  enum : int {
    kIdOption = 1053,
    kIdExit = 1055,
    kIdToggleProgress = 1078,
    kIdToggleCurrent = 1079,
    kIdToggleTime = 1081,
    kIdToggleSpeed = 1082,
    kIdClear = 1093,
    kIdHelp = 1094,
    kIdAbout = 32790,
    kIdList = 1001,
    // The labels of the panels.
    kIdFileLabel = 1080,
    kIdDiskLabel = 1083,
    kIdCurrentFileLabel = 1084,
    kIdPathLabel = 1085,
    kIdElapsedLabel = 1086,
    kIdEstimatedLabel = 1087,
    kIdSpeedUnit = 1088,
  };

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id) override;
  void OnOK() override;      // Enter does nothing
  void OnCancel() override;  // Escape and the close box: Close

  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A file of the error list as the rescue takes it.
  struct ListFile {
    char drive = 0;          // the drive letter of its folder
    engine::RescueFile file;  // the file itself, and its path below the drive's root
    std::string volumeRoot;  // the drive's root folder
  };
  // Each drive's root folder, translated once (a rescue of every row asks
  // for the same few drives thousands of times).
  class DriveRoots {
   public:
    explicit DriveRoots(engine::RootPathTranslator& paths) : paths_(paths) {}
    // The folder of drive "D" (empty: none).
    const std::string& Root(char drive);

   private:
    engine::RootPathTranslator& paths_;
    std::map<char, std::string> roots_;
  };
  // The file of a row, or false when the row names none that can be found.
  bool FileOfRow(int row, DriveRoots& roots, ListFile* file) const;
  // The row is a Read error.
  bool IsReadRow(int row) const;
  // The files of the Read rows among rows, each once.
  std::vector<ListFile> ReadFiles(const std::vector<int>& rows) const;
  // The selected rows, in list order.
  std::vector<int> SelectedRows() const;
  // The context menu of the error list, for the row at `row` (-1: none).
  // What its entries act on is taken before it opens: rows may come and go
  // while it is open.
  void ShowListMenu(const QPoint& globalPos, int row);
  // The rows as text: tab-separated cells, one line per row.
  QString RowsText(const std::vector<int>& rows) const;
  void CopyRows(const std::vector<int>& rows);
  // Asks for a destination and starts the rescue of files.
  void RescueFiles(std::vector<ListFile> files);
  void OnRescueProgress(const engine::RescueProgress& progress);
  void OnRescueFinished(const engine::RescueReport& report);
  // Cancels a running rescue and lets go of it: nothing of it reaches the
  // window any more (the window is going).
  void DropRescue();
  // The drive letter a check would read (Start) or reads (running), or 0.
  char CheckDrive(bool running) const;

  void OnShow();
  void SetCaptions();
  void RegisterTooltips();
  void TogglePanel(int buttonId);
  void ClearStatistics();
  void OnExit();
  void OnAbout();
  // The window is going: the engine's threads let go of it for good.
  void CloseGate();

  QIcon m_hIcon;
  CToolTipCtrl m_tooltip;
  std::shared_ptr<platform::Registry> m_registry;
  std::unique_ptr<records::SettingsStore> m_store;
  std::shared_ptr<records::LogFile> m_log;
  std::shared_ptr<records::DiskInfoStore> m_diskInfo;
  std::shared_ptr<engine::PanelFlags> m_panels;
  std::shared_ptr<engine::WindowGate> m_gate;
  std::shared_ptr<WindowBridge> m_bridge;
  std::shared_ptr<engine::SoundPlayer> m_sounds;
  std::shared_ptr<EventSounds> m_eventSounds;  // the real sounds, when no others were given
  std::unique_ptr<CErrorListModel> m_errorList;
  std::unique_ptr<engine::ScanEngine> m_engine;
  QTreeView* m_list = nullptr;
  std::shared_ptr<engine::RootPathTranslator> m_rootPaths;
  std::shared_ptr<engine::ThreadStarter> m_threads;
  // Readers left stuck in the kernel, by device, of every check and rescue.
  std::shared_ptr<engine::StuckReaders> m_stuck = std::make_shared<engine::StuckReaders>();
  std::shared_ptr<FolderChooser> m_folders;
  // The running rescue, its listener, its window, the drives it reads and
  // where it writes.
  std::unique_ptr<engine::RescueRun> m_rescue;
  std::shared_ptr<RescuePoster> m_rescuePoster;
  QPointer<CRescueDialog> m_rescueWindow;
  std::string m_rescueDrives;
  std::map<std::string, std::string> m_rescueShown;  // the files' paths as the list shows them
  std::string m_rescueDestination;  // also the folder the chooser shows first
  QBasicTimer m_timer;  // timer 1: the one-second tick
  int m_nNextRow = 0;
  bool m_bShown = false;
};

}  // namespace ui

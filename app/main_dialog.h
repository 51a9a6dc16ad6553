#pragma once
// The main window: the program itself. It owns, for the whole life of the
// program, the settings, the log, the disk info file, the scan engine and the
// error list (put together by ComposeServices, app/services.h); it runs the
// commands START/STOP, SKIP, OPTION, EXIT, ABOUT, the four panel toggles, CL
// and HELP, the one-second timer, and carries out the engine's window calls
// (through the window bridge, which takes calls of the engine's threads over
// to the UI thread). The error list's context menu and the rescue of damaged
// files are its RescueController's (app/rescue_controller.h).
#include <QBasicTimer>
#include <QIcon>
#include <memory>
#include <string>

#include "app/rescue_controller.h"
#include "app/services.h"
#include "engine/check_run.h"
#include "ui/error_list.h"
#include "ui/rescue_dialog.h"
#include "ui/template_dialog.h"
#include "ui/tooltip_ctrl.h"
#include "ui/window_bridge.h"

class QTreeView;

namespace ui {

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
  CRescueDialog* RescueWindow() const { return m_rescue->Window(); }
  bool Rescuing() const { return m_rescue->Running(); }

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

 private:
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
  // The list's menu and the rescue of its files (never null).
  std::unique_ptr<RescueController> m_rescue;
  QBasicTimer m_timer;  // timer 1: the one-second tick
  int m_nNextRow = 0;
  bool m_bShown = false;
};

}  // namespace ui

#include "app/main_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QProgressBar>
#include <QShowEvent>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <utility>

#include "dialogs/about_dialog.h"
#include "dialogs/language_dialog.h"
#include "dialogs/options_dialog.h"
#include "engine/progress.h"
#include "platform/drive_table.h"
#include "platform/process_env.h"
#include "platform/registry.h"
#include "records/disk_info_store.h"
#include "records/log_file.h"
#include "records/settings_store.h"
#include "res/pictures.h"
#include "res/text_table.h"
#include "ui/event_sounds.h"
#include "ui/help_viewer.h"
#include "ui/message_dialog.h"

namespace ui {
namespace {

constexpr int kTimerPeriodMs = 1000;

// The twelve bitmap buttons, in the order they are attached.
constexpr int kButtons[] = {engine::kIdStart, engine::kIdStop, engine::kIdSkip, CMainDialog::kIdOption,
                            CMainDialog::kIdExit, CMainDialog::kIdAbout, CMainDialog::kIdToggleProgress,
                            CMainDialog::kIdToggleCurrent, CMainDialog::kIdToggleTime, CMainDialog::kIdToggleSpeed,
                            CMainDialog::kIdClear, CMainDialog::kIdHelp};

// The panels: their toggle, the controls greyed out with them, and the panel.
struct PanelControls {
  int button;
  engine::Panel panel;
  std::initializer_list<int> controls;
};
const PanelControls kPanels[] = {
    {CMainDialog::kIdToggleProgress, engine::Panel::Progress,
     {CMainDialog::kIdFileLabel, CMainDialog::kIdDiskLabel, engine::kIdFilePercent, engine::kIdDiskPercent,
      engine::kIdFileBar, engine::kIdDiskBar}},
    {CMainDialog::kIdToggleCurrent, engine::Panel::Current,
     {CMainDialog::kIdCurrentFileLabel, CMainDialog::kIdPathLabel, engine::kIdCurrentFile, engine::kIdFolderPath}},
    {CMainDialog::kIdToggleTime, engine::Panel::Time,
     {CMainDialog::kIdElapsedLabel, CMainDialog::kIdEstimatedLabel, engine::kIdElapsed, engine::kIdEstimated}},
    {CMainDialog::kIdToggleSpeed, engine::Panel::Speed, {CMainDialog::kIdSpeedUnit, engine::kIdSpeed}},
};

constexpr int kTextShowPanel = 63;
constexpr int kTextHidePanel = 29;

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

CMainDialog::CMainDialog(MainDialogServices services, QWidget* parent)
    : CTemplateDialog(res::kDialogMain, parent), m_hIcon(res::ProgramIcon()) {
  WindowServices made = ComposeServices(std::move(services));
  engine::EngineDeps& deps = made.engine;
  m_registry = std::move(made.registry);
  m_store = std::move(made.store);
  m_log = std::move(made.log);
  m_diskInfo = std::move(made.diskInfo);
  m_panels = deps.panels;
  m_gate = deps.gate;
  m_sounds = deps.sounds;
  m_eventSounds = std::move(made.eventSounds);
  m_errorList = std::move(made.errorList);
  m_bridge = WindowBridge::Create(*this, *this, m_gate);
  deps.window = m_bridge;

  // The rescues read with the engine's threads and count their stuck
  // readers in the engine's count.
  RescueController::Services rescue;
  rescue.settings = m_store->settings;
  rescue.rootPaths = deps.rootPaths;
  rescue.threads = deps.threads;
  rescue.stuck = deps.stuck;
  rescue.folders = std::move(made.folders);
  rescue.checkedDrive = [this] { return m_engine->State().idle ? '\0' : CheckDrive(true); };

  // The block buffer is obtained here, once.
  m_engine = std::make_unique<engine::ScanEngine>(std::move(deps));
  m_rescue = std::make_unique<RescueController>(*this, *m_errorList, std::move(rescue));

  m_list = DlgItem<QTreeView>(*this, kIdList);
  if (m_list != nullptr) {
    AttachErrorList(*m_list, *m_errorList, Units().BaseX());
    m_rescue->AttachList(*m_list);
  }
  // Message boxes that no other window asks for belong to this one.
  SetMainWindow(this);
}

CMainDialog::~CMainDialog() {
  if (ui::MainWindow() == this) SetMainWindow(nullptr);
  CloseGate();
  WinHelp(this, kHelpQuit, 0);
  m_store->SaveSettings();
  // The list view goes with the window; the model it shows goes after it.
  delete m_list;
  m_list = nullptr;
}

bool CMainDialog::OnInitDialog() {
  CTemplateDialog::OnInitDialog();
  setWindowIcon(m_hIcon);

  engine::Settings& set = *m_store->settings;
  m_store->TakeProgramFolder();
  m_store->LoadSettings();
  res::InterfaceLanguage = set.language;

  if (!m_engine->HasBlockBuffer()) {
    ui::ShowMessage(res::LoadText(engine::kTextNotEnoughMemory), engine::kCaptionError, engine::kMsgError, this);
    done(1);
    return false;
  }

  m_log->SetFolder(m_store->programFolder);
  m_log->OpenLog("Torvex.log", engine::kLogAppend);
  m_diskInfo->SetFolder(m_store->programFolder);
  m_diskInfo->OpenStore("Torvex.tvd");

  m_tooltip.Create(this);
  m_tooltip.Activate(true);
  for (int id : kButtons) AttachBitmapButton(id);

  *m_panels = engine::PanelFlags{};
  for (int id : {engine::kIdFileBar, engine::kIdDiskBar}) {
    if (auto* bar = DlgItem<QProgressBar>(*this, id)) {
      bar->setRange(0, 100);
      bar->setValue(0);
    }
  }
  m_nNextRow = 0;
  m_engine->State().running = false;

  m_timer.start(kTimerPeriodMs, this);

  if (set.createLog && set.logMode == engine::kLogOverwrite) m_log->OpenLog("Torvex.log", engine::kLogOverwrite);

  const int drive = set.drive;
  if (drive != -1 && drive != 255) setWindowTitle(Utf8(engine::RestoredTitle(drive, std::string())));
  m_panels->minimized = false;
  return true;
}

void CMainDialog::showEvent(QShowEvent* event) {
  CTemplateDialog::showEvent(event);
  if (m_bShown || event->spontaneous()) return;
  m_bShown = true;
  OnShow();
}

void CMainDialog::OnShow() {
  engine::Settings& set = *m_store->settings;
  if (m_store->firstRun) {
    // The user's locale chooses at first.
    const int language = dialogs::AskInterfaceLanguage(this, platform::LocaleLanguage(platform::SystemEnvironment()));
    set.language = language;
    res::InterfaceLanguage = language;
  }
  SetCaptions();
  FitDlgItemText(*this);
  RegisterTooltips();
  m_errorList->SetColumns({QString::fromUtf8(res::LoadText(35)), QString::fromUtf8(res::LoadText(37)),
                           QString::fromUtf8(res::LoadText(39)), QString::fromUtf8(res::LoadText(41))});
  if (m_store->settingsReset) {
    // Once, when the window is up: the damaged file is kept beside the new one.
    m_store->settingsReset = false;
    QTimer::singleShot(0, this, [this] {
      const std::string text = engine::FillIn(res::LoadTextCopy(engine::kTextSettingsReset),
                                              {m_store->SettingsFile(), m_store->DamagedCopy()});
      ui::ShowMessage(text.c_str(), engine::kCaptionWarning, engine::kMsgWarning);
    });
  }
}

void CMainDialog::SetCaptions() {
  // The panels and labels take the texts their template names, when the
  // window is first shown.
  for (const res::ControlTemplate& c : res::FindDialogTemplate(res::kDialogMain)->controls) {
    const bool label = c.kind == res::ControlKind::kText || c.kind == res::ControlKind::kGroupBox;
    if (label && c.textId != 0) SetDlgItemText(*this, c.id, res::LoadText(c.textId));
  }
}

void CMainDialog::RegisterTooltips() {
  const res::DialogTemplate* t = res::FindDialogTemplate(res::kDialogMain);
  for (int id : kButtons) {
    const res::ControlTemplate* c = t->Find(id);
    if (QWidget* button = DlgItem(*this, id); button != nullptr && c != nullptr && c->textId != 0) {
      m_tooltip.AddTool(button, res::LoadText(c->textId));
    }
  }
}

// --- The window operations (UI thread) ---

void CMainDialog::SetFieldText(int id, const std::string& text) {
  SetDlgItemText(*this, id, text.c_str());
}

void CMainDialog::SetProgress(int id, int position) {
  if (auto* bar = DlgItem<QProgressBar>(*this, id)) bar->setValue(position);
}

int CMainDialog::AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) {
  if (!m_errorList->InsertRow(m_nNextRow, cells, file)) {
    // The list is out of memory: the run stops and the user is told.
    m_engine->OnListOutOfMemory();
    return -1;
  }
  return m_nNextRow++;
}

void CMainDialog::ShowButton(int id, bool show) {
  if (QWidget* button = DlgItem(*this, id)) button->setVisible(show);
}

void CMainDialog::EnableButton(int id, bool enable) {
  if (QWidget* button = DlgItem(*this, id)) button->setEnabled(enable);
}

void CMainDialog::SetTitle(const std::string& title) { setWindowTitle(Utf8(title)); }

int CMainDialog::ShowMessage(const std::string& text, const std::string& caption, unsigned type) {
  return ui::ShowMessage(text.c_str(), caption.empty() ? nullptr : caption.c_str(), static_cast<int>(type), this);
}

void CMainDialog::OpenOptions() {
  engine::Settings& set = *m_store->settings;
  // The start folder is the engine's (empty: the whole disk); it is never
  // stored.
  std::string folder = m_engine->StartFolder();
  // The drives as they are now: volumes come and go between openings.
  const platform::DriveTable drives = platform::DriveTable::System(*m_registry);
  const auto running = [this] { return m_engine->State().running.load(); };
  if (!dialogs::RunOptionsDialog(this, set, folder, running, drives)) return;
  // The drive and the start folder were taken only with no check reading.
  if (running()) return;
  m_engine->SetStartFolder(folder);
  const int drive = set.drive;
  if (drive != -1 && drive != 255) setWindowTitle(Utf8(engine::RestoredTitle(drive, folder)));
}

void CMainDialog::PlayEventSound(int event) {
  if (m_sounds) m_sounds->PlayEventSound(event);
}

void CMainDialog::ShowCheckReport() { m_engine->ShowCheckReport(); }

// --- Commands ---

void CMainDialog::OnCommand(int id) {
  switch (id) {
    case engine::kIdStart:
    case engine::kIdStop:
      if (m_engine->State().idle && CheckDrive(false) != 0 && m_rescue->ReadsDrive(CheckDrive(false))) {
        // One drive is read by one of them at a time.
        ShowMessage(res::LoadTextCopy(engine::kTextBusyRescuing), engine::kCaptionWarning, engine::kMsgWarning);
        break;
      }
      m_engine->StartStop();
      break;
    case engine::kIdSkip:
      m_engine->Skip();
      break;
    case kIdOption:
      OpenOptions();
      break;
    case kIdExit:
      OnExit();
      break;
    case kIdAbout:
      OnAbout();
      break;
    case kIdToggleProgress:
    case kIdToggleCurrent:
    case kIdToggleTime:
    case kIdToggleSpeed:
      TogglePanel(id);
      break;
    case kIdClear:
      ClearStatistics();
      break;
    case kIdHelp:
      WinHelp(this, kHelpFinder, 0);
      break;
    default:
      break;
  }
}

void CMainDialog::OnOK() {}

void CMainDialog::OnCancel() {
  // Escape and the close box: a key pressed by habit must not throw an hour
  // of checking away, so a running check saves its progress as EXIT does;
  // without one the window simply ends.
  OnExit();
}

void CMainDialog::OnExit() {
  m_engine->Exit();
  done(2);
}

void CMainDialog::OnAbout() {
  dialogs::CAboutDialog dlg(*m_store, this);
  dlg.DoModal();
}

void CMainDialog::TogglePanel(int buttonId) {
  for (const PanelControls& p : kPanels) {
    if (p.button != buttonId) continue;
    bool shown = false;
    switch (p.panel) {
      case engine::Panel::Progress: shown = !m_panels->showProgress; break;
      case engine::Panel::Current: shown = !m_panels->showCurrent; break;
      case engine::Panel::Time: shown = !m_panels->showTime; break;
      case engine::Panel::Speed: shown = !m_panels->showSpeed; break;
    }
    for (int id : p.controls) {
      if (QWidget* control = DlgItem(*this, id)) control->setEnabled(shown);
    }
    m_engine->OnPanelShown(p.panel, shown);
    if (QWidget* button = DlgItem(*this, buttonId)) {
      m_tooltip.UpdateTipText(res::LoadText(shown ? kTextHidePanel : kTextShowPanel), button);
    }
    return;
  }
}

void CMainDialog::ClearStatistics() {
  m_nNextRow = 0;
  m_errorList->DeleteAllItems();
}

void CMainDialog::done(int result) {
  // Whatever ends the window (EXIT, Escape, the close box) lets the engine go first.
  CloseGate();
  CTemplateDialog::done(result);
}

void CMainDialog::CloseGate() {
  // The rescue first: its calls never reach a window that is going.
  m_rescue->Drop();
  if (!m_gate->IsOpen()) return;
  m_timer.stop();
  m_engine->Close();  // closes the gate
  m_bridge->Close();
  if (m_eventSounds) m_eventSounds->Shutdown();  // cuts off what plays
  // A box that an engine thread asked for has no caller any more.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<CMessageDialog*>(w);
    if (box != nullptr && box->isVisible()) box->done(engine::kIdCancel);
  }
}

char CMainDialog::CheckDrive(bool running) const {
  const int drive = running ? m_engine->Run().drive : static_cast<int>(m_store->settings->drive);
  return drive >= 0 && drive <= 25 ? static_cast<char>('A' + drive) : 0;
}

// --- Events ---

void CMainDialog::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timer.timerId()) {
    CTemplateDialog::timerEvent(event);
    return;
  }
  m_engine->OnTimerTick();
}

void CMainDialog::resizeEvent(QResizeEvent* event) {
  CTemplateDialog::resizeEvent(event);
  m_engine->OnSizeChanged(isMinimized());
}

void CMainDialog::changeEvent(QEvent* event) {
  CTemplateDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) m_engine->OnSizeChanged(isMinimized());
}

}  // namespace ui

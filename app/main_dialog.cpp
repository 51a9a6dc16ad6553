#include "app/main_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressBar>
#include <QShowEvent>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <map>
#include <numeric>
#include <optional>
#include <set>

#include "dialogs/about_dialog.h"
#include "dialogs/language_dialog.h"
#include "dialogs/options_dialog.h"
#include "engine/progress.h"
#include "platform/ascii.h"
#include "engine/system_services.h"
#include "platform/drive_table.h"
#include "platform/process_env.h"
#include "platform/registry.h"
#include "platform/sound_output.h"
#include "records/disk_info_store.h"
#include "records/drive_list.h"
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

// The window's texts, from the text table.
class TableTexts : public engine::TextLookup {
 public:
  std::string Text(int id) const override { return res::LoadTextCopy(id); }
};

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The desktop's own folder chooser.
class DesktopFolderChooser : public FolderChooser {
 public:
  std::string ChooseFolder(QWidget* owner, const std::string& title, const std::string& start) override {
    const QString folder = QFileDialog::getExistingDirectory(owner, Utf8(title), QFile::decodeName(QByteArray::fromStdString(start)),
                                                             QFileDialog::ShowDirsOnly);
    return QFile::encodeName(folder).toStdString();
  }
};

// The extra passes of a rescue over the sectors still missing.
constexpr int kRescueExtraPasses = 2;

}  // namespace

CMainDialog::CMainDialog(MainDialogServices services, QWidget* parent)
    : CTemplateDialog(res::kDialogMain, parent),
      m_hIcon(res::ProgramIcon()),
      m_registry(services.registry ? std::move(services.registry) : std::make_shared<platform::Registry>()),
      m_store(std::make_unique<records::SettingsStore>(*m_registry)),
      m_log(std::make_shared<records::LogFile>()),
      m_diskInfo(std::make_shared<records::DiskInfoStore>()),
      m_panels(std::make_shared<engine::PanelFlags>()),
      m_gate(std::make_shared<engine::WindowGate>()),
      m_sounds(std::move(services.sounds)),
      m_errorList(services.errorList ? std::move(services.errorList) : std::make_unique<CErrorListModel>()),
      m_folders(services.folders ? std::move(services.folders) : std::make_shared<DesktopFolderChooser>()) {
  m_bridge = WindowBridge::Create(*this, *this, m_gate);
  if (!m_sounds) {
    m_eventSounds = std::make_shared<EventSounds>(m_store->settings, platform::CreateSoundOutput());
    m_sounds = m_eventSounds;
  }

  engine::EngineDeps deps;
  deps.window = m_bridge;
  deps.settings = m_store->settings;
  deps.panels = m_panels;
  deps.text = std::make_shared<TableTexts>();
  deps.log = m_log;
  deps.resume = m_diskInfo;
  deps.sounds = m_sounds;
  m_rootPaths = services.rootPaths ? std::move(services.rootPaths) : std::make_shared<records::SystemRootPaths>(m_registry);
  m_threads = services.threads ? services.threads : std::make_shared<engine::SystemThreads>();
  deps.rootPaths = m_rootPaths;
  deps.volumes = services.volumes ? std::move(services.volumes) : std::make_shared<records::SystemVolumeQuery>(m_registry);
  deps.roots = services.roots ? std::move(services.roots) : std::make_shared<records::SystemRootCheck>(m_registry);
  deps.threads = m_threads;
  deps.prefetcher = services.prefetcher ? std::move(services.prefetcher) : std::make_shared<engine::SystemPrefetcher>();
  // One gate for the window, its bridge and the engine's threads.
  deps.gate = m_gate;
  // One count of stuck readers for the checks and the rescues.
  deps.stuck = m_stuck;
  // The block buffer is obtained here, once.
  m_engine = std::make_unique<engine::ScanEngine>(std::move(deps));

  m_list = DlgItem<QTreeView>(*this, kIdList);
  if (m_list != nullptr) {
    AttachErrorList(*m_list, *m_errorList, Units().BaseX());
    // Rows are copied and rescued several at a time.
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
      const QModelIndex at = m_list->indexAt(pos);
      ShowListMenu(m_list->viewport()->mapToGlobal(pos), at.isValid() ? at.row() : -1);
    });
    m_list->installEventFilter(this);
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
      if (m_engine->State().idle && CheckDrive(false) != 0 &&
          m_rescueDrives.find(CheckDrive(false)) != std::string::npos) {
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
  // Close: no stop request, no saved progress; the window ends at once.
  done(2);
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
  DropRescue();
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

// --- The error list's context menu, and the rescue ---

const std::string& CMainDialog::DriveRoots::Root(char drive) {
  auto root = roots_.find(drive);
  if (root == roots_.end()) root = roots_.emplace(drive, paths_.ToNativePath(std::string{drive, ':', '\\'})).first;
  return root->second;
}

bool CMainDialog::FileOfRow(int row, DriveRoots& roots, ListFile* file) const {
  if (row < 0 || row >= m_errorList->rowCount()) return false;
  // The folder cell is "D:\A\B", a drive's root "D:\": it gives the drive;
  // the file itself is the one the row was made from.
  const std::string folder = m_errorList->RowBytes(row, 3);
  if (folder.size() < 2 || folder[1] != ':') return false;
  file->drive = platform::AsciiUpper(folder[0]);
  file->volumeRoot = roots.Root(file->drive);
  const std::optional<engine::RescueFile> found = engine::RescueFileOfRow(m_errorList->FileOf(row), file->volumeRoot);
  if (!found) return false;
  file->file = *found;
  return true;
}

bool CMainDialog::IsReadRow(int row) const {
  if (row < 0 || row >= m_errorList->rowCount()) return false;
  // Rows keep the language they were listed in.
  const QString& kind = m_errorList->RowAt(row)[1];
  return kind == QString::fromUtf8(res::TextResource(engine::kTextRead)) ||
         kind == QString::fromUtf8(res::TextResource(engine::kTextRead + 1));
}

std::vector<int> CMainDialog::SelectedRows() const {
  std::vector<int> rows;
  if (m_list == nullptr || m_list->selectionModel() == nullptr) return rows;
  for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool CMainDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_list && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
      // The menu of the current row, below it.
      const QModelIndex current = m_list->currentIndex();
      QRect place = current.isValid() ? m_list->visualRect(current) : QRect();
      if (!place.isValid() || !m_list->viewport()->rect().intersects(place)) place = QRect(0, 0, 1, 1);
      ShowListMenu(m_list->viewport()->mapToGlobal(place.bottomLeft()), current.isValid() ? current.row() : -1);
      key->accept();
      return true;
    }
    if (key->matches(QKeySequence::Copy)) {
      CopyRows(SelectedRows());
      key->accept();
      return true;
    }
  }
  return CTemplateDialog::eventFilter(watched, event);
}

std::vector<CMainDialog::ListFile> CMainDialog::ReadFiles(const std::vector<int>& rows) const {
  std::vector<ListFile> files;
  std::set<std::string> seen;  // a disc checked twice lists its files twice
  DriveRoots roots(*m_rootPaths);
  for (int row : rows) {
    ListFile file;
    if (IsReadRow(row) && FileOfRow(row, roots, &file) && seen.insert(file.file.root + '\0' + file.file.path).second) {
      files.push_back(std::move(file));
    }
  }
  return files;
}

void CMainDialog::ShowListMenu(const QPoint& globalPos, int row) {
  std::vector<int> selected = SelectedRows();
  if (row >= 0 && std::find(selected.begin(), selected.end(), row) == selected.end()) selected = {row};
  DriveRoots roots(*m_rootPaths);
  ListFile file;
  const bool named = FileOfRow(row, roots, &file);
  std::vector<ListFile> thisFile = ReadFiles({row});
  const QString text = RowsText(selected);

  QMenu menu(this);
  QAction* rescueOne = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextRescueThisFile)));
  rescueOne->setEnabled(!thisFile.empty());
  QAction* rescueAll = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextRescueAll)));
  menu.addSeparator();
  QAction* copy = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextCopyRows)));
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(!text.isEmpty());
  QAction* open = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextOpenFolder)));
  open->setEnabled(named);
  QAction* chosen = menu.exec(globalPos);
  if (chosen == nullptr) return;
  if (chosen == rescueOne) {
    RescueFiles(std::move(thisFile));
  } else if (chosen == rescueAll) {
    std::vector<int> all(static_cast<std::size_t>(m_errorList->rowCount()));
    std::iota(all.begin(), all.end(), 0);
    RescueFiles(ReadFiles(all));
  } else if (chosen == copy) {
    QApplication::clipboard()->setText(text);
  } else if (chosen == open) {
    // The folder that holds the file.
    const std::string& root = file.file.root;
    const std::string path = (root.ends_with('/') ? root : root + "/") + file.file.path;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder))));
  }
}

QString CMainDialog::RowsText(const std::vector<int>& rows) const {
  QString text;
  for (int row : rows) {
    if (row < 0 || row >= m_errorList->rowCount()) continue;
    const CErrorListModel::Row& cells = m_errorList->RowAt(row);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i != 0) text += QLatin1Char('\t');
      text += cells[i];
    }
    text += QLatin1Char('\n');
  }
  return text;
}

void CMainDialog::CopyRows(const std::vector<int>& rows) {
  const QString text = RowsText(rows);
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

char CMainDialog::CheckDrive(bool running) const {
  const int drive = running ? m_engine->Run().drive : static_cast<int>(m_store->settings->drive);
  return drive >= 0 && drive <= 25 ? static_cast<char>('A' + drive) : 0;
}

void CMainDialog::RescueFiles(std::vector<ListFile> files) {
  std::string drives;
  for (const ListFile& file : files) {
    if (drives.find(file.drive) == std::string::npos) drives += file.drive;
  }
  if (files.empty()) {
    ShowMessage(res::LoadTextCopy(engine::kTextNothingToRescue), engine::kCaptionInfo, engine::kMsgInfo);
    return;
  }
  if (m_rescue) {
    ShowMessage(res::LoadTextCopy(engine::kTextBusyRescuing), engine::kCaptionWarning, engine::kMsgWarning);
    return;
  }
  if (!m_engine->State().idle && drives.find(CheckDrive(true)) != std::string::npos) {
    ShowMessage(res::LoadTextCopy(engine::kTextBusyChecking), engine::kCaptionWarning, engine::kMsgWarning);
    return;
  }

  const std::string start = m_rescueDestination.empty() ? QFile::encodeName(QDir::homePath()).toStdString()
                                                        : m_rescueDestination;
  const std::string destination = m_folders->ChooseFolder(this, res::LoadTextCopy(engine::kTextRescueWhere), start);
  if (destination.empty()) return;
  // Nothing is ever written to a volume being read.
  std::set<std::string> volumes;
  for (const ListFile& file : files) volumes.insert(file.volumeRoot);
  for (const std::string& volume : volumes) {
    const engine::DestinationProblem problem = engine::CheckDestination(destination, volume);
    if (problem == engine::DestinationProblem::kMissing) {
      ShowMessage(engine::FillIn(res::LoadTextCopy(engine::kTextRescueNoFolder), {ShownNativePath(destination)}),
                  engine::kCaptionError, engine::kMsgError);
      return;
    }
    if (problem == engine::DestinationProblem::kOnVolume) {
      ShowMessage(res::LoadTextCopy(engine::kTextRescueOnVolume), engine::kCaptionError, engine::kMsgError);
      return;
    }
  }
  m_rescueDestination = destination;

  // Files of several drives go below a folder named by their letter each,
  // so that the same path on two discs makes two copies.
  std::vector<engine::RescueFile> rescued;
  std::map<std::string, std::string> shown;
  for (const ListFile& file : files) {
    engine::RescueFile f = file.file;
    if (drives.size() > 1) f.relative = std::string(1, file.drive) + "/" + f.relative;
    shown[f.relative] = RescueWindowPath(file.drive, file.file.relative);
    rescued.push_back(std::move(f));
  }
  engine::RescueOptions options;
  options.destination = destination;
  options.delaySeconds = engine::DelaySeconds(*m_store->settings);
  options.priority = engine::PriorityPosition(*m_store->settings);
  options.extraPasses = kRescueExtraPasses;
  for (const char d : drives) options.drive += (options.drive.empty() ? "" : ", ") + std::string{d, ':'};

  auto poster = RescuePoster::Create(
      *this, [this](const engine::RescueProgress& p) { OnRescueProgress(p); },
      [this](const engine::RescueReport& r) { OnRescueFinished(r); });
  auto rescue = std::make_unique<engine::RescueRun>(m_threads, poster, m_stuck);
  if (!rescue->Start(std::move(rescued), options)) {
    poster->Detach();
    ShowMessage(res::LoadTextCopy(engine::kTextNotEnoughMemory), engine::kCaptionError, engine::kMsgError);
    return;
  }
  m_rescue = std::move(rescue);
  m_rescuePoster = std::move(poster);
  m_rescueDrives = drives;
  m_rescueShown = shown;
  auto* window = new CRescueDialog(std::move(shown), this);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  connect(window, &CRescueDialog::cancelRequested, this, [this] {
    if (m_rescue) m_rescue->Cancel();
  });
  m_rescueWindow = window;
  window->Create();
}

void CMainDialog::OnRescueProgress(const engine::RescueProgress& progress) {
  if (m_rescueWindow) m_rescueWindow->ShowProgress(progress);
}

void CMainDialog::OnRescueFinished(const engine::RescueReport& report) {
  const std::string text = RescueEndText(report, m_rescueShown);
  bool whole = !report.cancelled && !report.deviceNotAnswering && !report.destinationFailed;
  for (const auto& f : report.files) whole = whole && f.kind == engine::RescueOutcome::kWhole;
  m_rescuePoster->Detach();
  m_rescuePoster.reset();
  m_rescue.reset();
  m_rescueDrives.clear();
  m_rescueShown.clear();
  if (m_rescueWindow) {
    m_rescueWindow->hide();
    m_rescueWindow->deleteLater();
  }
  // The report, once the handing over of the rescue's calls has unwound.
  QTimer::singleShot(0, this, [this, text, whole] {
    ShowMessage(text, res::LoadTextCopy(engine::kTextRescueTitle), whole ? engine::kMsgInfo : engine::kMsgWarning);
  });
}

void CMainDialog::DropRescue() {
  if (m_rescuePoster) m_rescuePoster->Detach();
  m_rescuePoster.reset();
  if (m_rescue) m_rescue->Cancel();  // what was read stays under its temporary name
  m_rescue.reset();
  m_rescueDrives.clear();
  m_rescueShown.clear();
  delete m_rescueWindow;
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

#include "dialogs/options_dialog.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QSlider>
#include <algorithm>
#include <charconv>

#include "dialogs/folder_browser_dialog.h"
#include "platform/drive_table.h"
#include "platform/folder_list.h"
#include "platform/volume_info.h"
#include "engine/settings.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"
#include "ui/message_dialog.h"

namespace dialogs {
namespace {

enum ControlId : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdDriveList = 1014,
  kIdDelay = 1015,
  kIdCdromOnly = 1016,
  kIdPreScan = 1017,
  kIdFastCheck = 1018,
  kIdSounds = 1019,
  kIdResume = 1021,
  kIdCreateLog = 1022,
  kIdAppend = 1023,
  kIdOverwrite = 1024,
  kIdDeviceGroup = 1067,
  kIdSpeaker = 1069,
  kIdPriority = 1096,
  kIdRussian = 1097,
  kIdEnglish = 1098,
  kIdLanguageGroup = 1099,
  kIdFolderGroup = 1124,
  kIdStartFolder = 1125,
  kIdBrowse = 1126,
  kIdClear = 1128,
};

enum TextId : int {
  kTextOk = 1,
  kTextCancel = 3,
  kTextNoCdrom = 11,
  kTextTitleRunning = 13,
  kTextTitle = 23,
  kTextRerun = 155,
  kTextBrowse = 173,
  kTextClear = 177,
};

constexpr int kMinDelay = 3;
constexpr int kMaxDelay = 99;  // two digits
constexpr int kHighestPriority = 6;

const platform::SystemFolderLister kSystemLister;

// What the list shows as an entry's tooltip: the folder the drive stands
// for, or its device while no disc is mounted.
QString WhereTheDriveIs(const platform::DriveTable& drives, const std::string& entry) {
  const platform::Drive* drive = entry.empty() ? nullptr : drives.Find(entry[0]);
  if (drive == nullptr) return QString();
  return QString::fromUtf8(!drive->path.empty() ? drive->path : drive->device);
}

}  // namespace

int DelayFromText(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) value = 0;
  return std::max(value, kMinDelay);
}

COptionsDialog::COptionsDialog(const engine::Settings& settings, const std::string& startFolder, bool checkRunning,
                               const platform::DriveTable& drives, QWidget* parent,
                               const platform::FolderLister* lister)
    : CContextHelpDialog(res::kDialogOptions, parent),
      m_bShowCdromOnly(settings.showCdromOnly),
      m_bCreateLog(settings.createLog),
      m_nLogMode(engine::LogModeOf(settings)),
      m_bResumeEnabled(settings.resumeEnabled),
      m_bSounds(settings.sounds),
      m_bInternalSpeaker(settings.internalSpeaker),
      m_bFastCheck(settings.fastCheck),
      m_bPreScan(settings.preScan),
      m_strDelay(std::to_string(engine::DelaySeconds(settings))),
      m_nDriveListIndex(settings.driveListIndex),
      m_nPriority(engine::PriorityPosition(settings)),
      m_nLanguage(settings.language == 0 ? 0 : 1),
      m_strStartFolder(startFolder),
      m_bCheckRunning(checkRunning),
      m_drives(drives),
      m_pLister(lister != nullptr ? lister : &kSystemLister),
      m_nSettingsDrive(settings.drive) {
  m_list = ui::DlgItem<QComboBox>(*this, kIdDriveList);
  if (m_list != nullptr) {
    connect(m_list, &QComboBox::activated, this, [this] { SelectionUpdate(); });
    // The closed list tells where the selected drive is, as its entries do.
    connect(m_list, &QComboBox::currentIndexChanged, this,
            [this] { m_list->setToolTip(WhereTheDriveIs(m_drives, SelectedEntry())); });
  }
  const auto onClick = [this](int id, void (COptionsDialog::*handler)()) {
    if (auto* button = ui::DlgItem<QAbstractButton>(*this, id)) {
      connect(button, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
    }
  };
  onClick(kIdCdromOnly, &COptionsDialog::OnShowCdromOnly);
  onClick(kIdPreScan, &COptionsDialog::OnPreScan);
  onClick(kIdSounds, &COptionsDialog::OnSounds);
  onClick(kIdCreateLog, &COptionsDialog::OnCreateLog);
  onClick(kIdRussian, &COptionsDialog::OnLanguage);
  onClick(kIdEnglish, &COptionsDialog::OnLanguage);
  if (auto* folder = ui::DlgItem<QLineEdit>(*this, kIdStartFolder)) {
    connect(folder, &QLineEdit::textChanged, this, [this] { OnStartFolderChanged(); });
  }
}


uint32_t COptionsDialog::HelpContextOf(int controlId) const {
  if (controlId == kIdOk || controlId == kIdCancel || controlId == res::kNoId) return 0;
  return ui::HelpContextId(res::kDialogOptions, controlId);
}

bool COptionsDialog::OnInitDialog() {
  CContextHelpDialog::OnInitDialog();
  // The values into the controls.
  SetChecked(kIdCdromOnly, m_bShowCdromOnly);
  SetChecked(kIdCreateLog, m_bCreateLog);
  SetChecked(kIdResume, m_bResumeEnabled);
  SetChecked(kIdSounds, m_bSounds);
  SetChecked(kIdFastCheck, m_bFastCheck);
  SetChecked(kIdPreScan, m_bPreScan);
  SetChecked(kIdSpeaker, m_bInternalSpeaker);
  if (auto* delay = ui::DlgItem<QLineEdit>(*this, kIdDelay)) {
    delay->setMaxLength(2);
    delay->setText(QString::fromStdString(m_strDelay));
  }
  SetChecked(m_nLanguage == 0 ? kIdRussian : kIdEnglish, true);

  // Captions and tooltips in the interface language.
  if (const res::DialogTemplate* t = res::FindDialogTemplate(TemplateId())) {
    for (const res::ControlTemplate& c : t->controls) {
      if (c.textId != 0 && c.kind != res::ControlKind::kBitmapButton) {
        ui::SetDlgItemText(*this, c.id, res::LoadText(c.textId));
      }
    }
  }
  m_tooltip.Create(this);
  m_tooltip.Activate(true);
  for (const auto& [id, textId] : {std::pair{kIdOk, kTextOk}, std::pair{kIdCancel, kTextCancel},
                                   std::pair{kIdBrowse, kTextBrowse}, std::pair{kIdClear, kTextClear}}) {
    if (ui::CBitmapButton* button = AttachBitmapButton(id)) m_tooltip.AddTool(button, res::LoadText(textId));
  }

  // The drive list. The drive of the settings is selected when it is listed,
  // since list positions move as volumes come and go; otherwise the first
  // CD-ROM drive, or the remembered position among all drives.
  FillList();
  if (m_list != nullptr) {
    int index = m_bShowCdromOnly ? 0 : m_nDriveListIndex;
    for (int i = 0; i < m_list->count(); ++i) {
      if (records::EntryToDrive(m_list->itemData(i).toString().toStdString()) == m_nSettingsDrive) index = i;
    }
    m_list->setCurrentIndex(index >= 0 && index < m_list->count() ? index : -1);
  }

  SetChecked(m_nLogMode == engine::kLogOverwrite ? kIdOverwrite : kIdAppend, true);
  Enable(kIdAppend, m_bCreateLog && !m_bCheckRunning);
  Enable(kIdOverwrite, m_bCreateLog && !m_bCheckRunning);

  if (m_bCheckRunning) {
    setWindowTitle(QString::fromUtf8(res::LoadText(kTextTitleRunning)));
    for (int id : {kIdCdromOnly, kIdPreScan, kIdResume, kIdCreateLog, kIdDriveList, kIdDeviceGroup, kIdRussian,
                   kIdEnglish, kIdLanguageGroup, kIdFolderGroup, kIdStartFolder, kIdBrowse, kIdClear}) {
      Enable(id, false);
    }
  } else {
    setWindowTitle(QString::fromUtf8(res::LoadText(kTextTitle)));
    m_bResetPathOnSelect = false;
    SelectionUpdate();
    if (!m_bPreScan) Enable(kIdResume, false);
  }
  if (!m_bSounds) Enable(kIdSpeaker, false);

  if (auto* slider = ui::DlgItem<QSlider>(*this, kIdPriority)) {
    slider->setRange(0, kHighestPriority);
    slider->setPageStep(1);
    slider->setTickInterval(1);
    slider->setValue(m_nPriority);
  }
  m_bLanguageNoticeShown = false;

  if (!m_strStartFolder.empty()) {
    ui::SetDlgItemText(*this, kIdStartFolder, m_strStartFolder.c_str());  // runs the folder check
  } else {
    m_bResetPathOnSelect = true;
    SelectionUpdate();
  }
  return true;
}

void COptionsDialog::FillList() {
  if (m_list == nullptr) return;
  m_list->clear();
  std::vector<std::string> entries;
  const int cdroms =
      records::FillDriveList(m_bShowCdromOnly ? records::kCdromDrivesOnly : records::kAllDrives, entries, m_drives);
  for (const std::string& entry : entries) {
    // Shown with the volume's label and folder; the entry itself is kept
    // as the item's data.
    const platform::Drive* drive = m_drives.Find(entry[0]);
    const std::string label = drive != nullptr && !drive->device.empty() ? platform::DeviceLabel(drive->device) : "";
    const std::string text = drive != nullptr ? records::DriveListText(entry, *drive, label) : entry;
    m_list->addItem(QString::fromUtf8(text), QString::fromStdString(entry));
    m_list->setItemData(m_list->count() - 1, WhereTheDriveIs(m_drives, entry), Qt::ToolTipRole);
  }
  // The list opens wide enough for the longest of them.
  if (m_list->view() != nullptr) m_list->view()->setMinimumWidth(m_list->view()->sizeHintForColumn(0) + 8);
  m_list->setCurrentIndex(-1);
  if (m_bShowCdromOnly && cdroms == 0) {
    ui::ShowMessage(res::LoadText(kTextNoCdrom), engine::kCaptionError, engine::kMsgInfo, this);
  }
}

std::string COptionsDialog::SelectedEntry() const {
  return m_list != nullptr ? m_list->currentData().toString().toStdString() : std::string();
}

void COptionsDialog::SelectionUpdate() {
  const std::string entry = SelectedEntry();
  Enable(kIdResume, records::EntryIsCdrom(entry) && m_bPreScan && !m_bCheckRunning);
  if (m_bResetPathOnSelect) {
    m_strStartFolder = entry.empty() ? std::string() : records::EntryToRoot(entry);
    ui::SetDlgItemText(*this, kIdStartFolder, m_strStartFolder.c_str());
  }
}

void COptionsDialog::OnCommand(int id) {
  switch (id) {
    case kIdBrowse:
      OnBrowse();
      break;
    case kIdClear:
      OnClearPath();
      break;
    default:
      CContextHelpDialog::OnCommand(id);
      break;
  }
}

void COptionsDialog::OnShowCdromOnly() {
  m_bShowCdromOnly = Checked(kIdCdromOnly);
  FillList();
  if (m_list != nullptr) m_list->setCurrentIndex(m_list->count() > 0 ? 0 : -1);
  m_bResetPathOnSelect = true;
  SelectionUpdate();
}

void COptionsDialog::OnPreScan() {
  m_bPreScan = Checked(kIdPreScan);
  m_bResetPathOnSelect = false;
  SelectionUpdate();
}

void COptionsDialog::OnSounds() {
  m_bSounds = Checked(kIdSounds);
  Enable(kIdSpeaker, m_bSounds);
}

void COptionsDialog::OnCreateLog() {
  m_bCreateLog = Checked(kIdCreateLog);
  Enable(kIdAppend, m_bCreateLog);
  Enable(kIdOverwrite, m_bCreateLog);
}

void COptionsDialog::OnLanguage() {
  if (m_bLanguageNoticeShown) return;
  m_bLanguageNoticeShown = true;
  ui::ShowMessage(res::LoadText(kTextRerun), engine::kCaptionInfo, engine::kMsgInfo, this);
}

void COptionsDialog::OnBrowse() {
  m_strStartFolder = FolderText();
  CFolderBrowserDialog browser(m_drives, *m_pLister, this);
  browser.m_strPath = m_strStartFolder;
  browser.DoModal();
  // Whichever way the browser closed, its path goes into the box.
  m_strStartFolder = browser.m_strPath;
  ui::SetDlgItemText(*this, kIdStartFolder, m_strStartFolder.c_str());
}

void COptionsDialog::OnClearPath() {
  ui::SetDlgItemText(*this, kIdStartFolder, "");
  m_strStartFolder.clear();
  Enable(kIdOk, true);
  m_bResetPathOnSelect = true;
  SelectionUpdate();
}

void COptionsDialog::OnStartFolderChanged() {
  Enable(kIdOk, records::CheckStartFolder(FolderText(), m_drives));
}

void COptionsDialog::OnOK() {
  // Enter does not get past a start folder that does not exist.
  if (const QWidget* ok = ui::DlgItem(*this, kIdOk); ok != nullptr && !ok->isEnabled()) return;
  m_strStartFolder = FolderText();
  const std::string entry = SelectedEntry();
  m_nDrive = entry.empty() ? -1 : records::EntryToDrive(entry);
  if (m_strStartFolder.empty()) {
    m_bCdromTarget = records::EntryIsCdrom(entry);
  } else {
    m_bCdromTarget = m_drives.GetDriveType(std::string(1, m_strStartFolder[0]) + ":\\") == platform::kDriveCdrom;
  }
  m_nLogMode = Checked(kIdAppend) ? engine::kLogAppend : engine::kLogOverwrite;
  if (m_strStartFolder.size() > 3 && m_strStartFolder.back() == '\\') m_strStartFolder.pop_back();

  m_bShowCdromOnly = Checked(kIdCdromOnly);
  m_bPreScan = Checked(kIdPreScan);
  m_bResumeEnabled = Checked(kIdResume);
  m_bFastCheck = Checked(kIdFastCheck);
  m_bSounds = Checked(kIdSounds);
  m_bCreateLog = Checked(kIdCreateLog);
  m_strDelay = ui::DlgItemText(*this, kIdDelay).left(2).toStdString();
  m_nDriveListIndex = m_list != nullptr ? m_list->currentIndex() : -1;
  m_bInternalSpeaker = Checked(kIdSpeaker);
  if (const auto* slider = ui::DlgItem<QSlider>(*this, kIdPriority)) m_nPriority = slider->value();
  if (Checked(kIdRussian)) m_nLanguage = 0;
  if (Checked(kIdEnglish)) m_nLanguage = 1;
  done(1);
}

void COptionsDialog::Enable(int id, bool enable) {
  if (QWidget* control = ui::DlgItem(*this, id)) control->setEnabled(enable);
}

bool COptionsDialog::Checked(int id) const {
  const auto* button = ui::DlgItem<QAbstractButton>(*this, id);
  return button != nullptr && button->isChecked();
}

void COptionsDialog::SetChecked(int id, bool checked) {
  if (auto* button = ui::DlgItem<QAbstractButton>(*this, id)) button->setChecked(checked);
}

std::string COptionsDialog::FolderText() const { return ui::DlgItemText(*this, kIdStartFolder).toUtf8().toStdString(); }

bool RunOptionsDialog(QWidget* parent, engine::Settings& settings, std::string& startFolder,
                      const std::function<bool()>& checkRunning, const platform::DriveTable& drives) {
  COptionsDialog dialog(settings, startFolder, checkRunning && checkRunning(), drives, parent);
  if (dialog.DoModal() != 1) return false;
  // A running check reads these afresh for every file.
  settings.sounds = dialog.m_bSounds;
  settings.internalSpeaker = dialog.m_bInternalSpeaker;
  settings.fastCheck = dialog.m_bFastCheck;
  settings.priority = dialog.m_nPriority;
  settings.delaySeconds = DelayFromText(dialog.m_strDelay);
  if (checkRunning && checkRunning()) return true;
  settings.cdromTarget = dialog.m_bCdromTarget;
  settings.createLog = dialog.m_bCreateLog;
  settings.logMode = dialog.m_nLogMode;
  settings.showCdromOnly = dialog.m_bShowCdromOnly;
  settings.preScan = dialog.m_bPreScan;
  settings.driveListIndex = dialog.m_nDriveListIndex;
  settings.resumeEnabled = dialog.m_bResumeEnabled;
  settings.language = dialog.m_nLanguage;
  settings.drive = dialog.m_nDrive;
  startFolder = dialog.m_strStartFolder;
  return true;
}

}  // namespace dialogs

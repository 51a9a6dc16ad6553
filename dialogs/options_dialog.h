#pragma once
// The Options dialog: edits a copy of the settings and of the start folder.
// While a check runs only the options that a running check takes (sounds,
// internal speaker, fast checking, delay time, thread priority) can change,
// and the title says so.
#include <cstdint>
#include <functional>
#include <string>

#include "dialogs/context_help.h"
#include "records/drive_list.h"
#include "ui/tooltip_ctrl.h"

class QComboBox;

namespace platform {
class DriveTable;
class FolderLister;
}  // namespace platform

namespace engine {
struct Settings;
}

namespace ui {
class CBitmapButton;
}

namespace dialogs {

class COptionsDialog : public CContextHelpDialog {
  Q_OBJECT

 public:
  // Copies the settings (but drive and cdromTarget, which OK computes) and
  // the start folder. checkRunning: a check is reading files now. The drive
  // table, and the lister the folder browser lists folders with (null: the
  // system's), must outlive the dialog.
  COptionsDialog(const engine::Settings& settings, const std::string& startFolder, bool checkRunning,
                 const platform::DriveTable& drives, QWidget* parent = nullptr,
                 const platform::FolderLister* lister = nullptr);

  uint32_t HelpContextOf(int controlId) const override;

  // The copy, as OK leaves it.
  bool m_bShowCdromOnly = true;
  bool m_bCreateLog = true;
  int m_nLogMode = 2;
  bool m_bResumeEnabled = true;
  bool m_bSounds = true;
  bool m_bInternalSpeaker = false;
  bool m_bFastCheck = false;
  bool m_bPreScan = true;
  std::string m_strDelay;   // the text of the delay box
  int m_nDriveListIndex = -1;
  int m_nDrive = -1;        // from the selected entry on OK; -1 none
  bool m_bCdromTarget = false;
  int m_nPriority = 3;
  int m_nLanguage = 1;      // 0 Russian, 1 English
  std::string m_strStartFolder;
  bool m_bCheckRunning = false;
  // A change of the drive selection rewrites the start folder to its root.
  bool m_bResetPathOnSelect = false;
  bool m_bLanguageNoticeShown = false;
  ui::CToolTipCtrl m_tooltip;

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id) override;
  void OnOK() override;

 private:
  // Empties the list and fills it in the mode of m_bShowCdromOnly; in
  // CD-ROM-only mode without any CD-ROM drive, says so.
  void FillList();
  void SelectionUpdate();
  std::string SelectedEntry() const;
  void OnShowCdromOnly();
  void OnPreScan();
  void OnSounds();
  void OnCreateLog();
  void OnLanguage();
  void OnBrowse();
  void OnClearPath();
  void OnStartFolderChanged();
  void Enable(int id, bool enable);
  bool Checked(int id) const;
  void SetChecked(int id, bool checked);
  std::string FolderText() const;

  const platform::DriveTable& m_drives;
  const platform::FolderLister* m_pLister;
  // The drive of the settings: the entry selected at start when it is listed.
  int m_nSettingsDrive = -1;
  QComboBox* m_list = nullptr;  // 1014
};

// The delay time of the delay box's text: a value below 3, an empty text
// included, becomes 3.
int DelayFromText(const std::string& text);

// Runs the Options dialog on a copy of the settings and the start folder. On
// OK it takes back the five live options (sounds, internalSpeaker,
// fastCheck, priority, delaySeconds) always, and the others, with the start
// folder, only when checkRunning() is still false once the dialog has
// closed. Field by field: a running check reads some fields from another
// thread. Returns true when OK was pressed (the caller then sets the title).
bool RunOptionsDialog(QWidget* parent, engine::Settings& settings, std::string& startFolder,
                      const std::function<bool()>& checkRunning, const platform::DriveTable& drives);

}  // namespace dialogs

#pragma once
// The folder browser: a tree of the drives and their folders in which the
// user picks the start folder of a check. The caller sets m_strPath to the
// path to preselect, runs the dialog and reads m_strPath afterwards: OK with
// a selected item gives that item's path ("" for the root "Devices"); OK
// without a selection and Cancel leave it as it was.
#include <string>

#include "dialogs/context_help.h"
#include "ui/tooltip_ctrl.h"

namespace platform {
class DriveTable;
class FolderLister;
}  // namespace platform

namespace ui {
class CBitmapButton;
}

namespace dialogs {

class CFolderTreeCtrl;

class CFolderBrowserDialog : public CContextHelpDialog {
  Q_OBJECT

 public:
  // The drive table and the lister must outlive the dialog.
  CFolderBrowserDialog(const platform::DriveTable& drives, const platform::FolderLister& lister,
                       QWidget* parent = nullptr);

  uint32_t HelpContextOf(int controlId) const override;

  std::string m_strPath;
  CFolderTreeCtrl* m_tree = nullptr;  // control 1127
  ui::CToolTipCtrl m_tooltip;
  ui::CBitmapButton* m_btnCancel = nullptr;  // 2
  ui::CBitmapButton* m_btnOk = nullptr;      // 1

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};

}  // namespace dialogs

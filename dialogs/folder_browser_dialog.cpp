#include "dialogs/folder_browser_dialog.h"

#include "dialogs/folder_tree_ctrl.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"

namespace dialogs {
namespace {

constexpr int kIdTree = 1127;
constexpr int kTextOk = 1;
constexpr int kTextCancel = 3;
constexpr int kTextCaption = 179;

}  // namespace

CFolderBrowserDialog::CFolderBrowserDialog(const platform::DriveTable& drives, const platform::FolderLister& lister,
                                           QWidget* parent)
    : CContextHelpDialog(res::kDialogFolderBrowser, parent) {
  m_tree = static_cast<CFolderTreeCtrl*>(ui::ReplaceDlgItem(*this, kIdTree, new CFolderTreeCtrl(drives, lister)));
}

uint32_t CFolderBrowserDialog::HelpContextOf(int controlId) const {
  return controlId == kIdTree ? ui::HelpContextId(res::kDialogFolderBrowser, kIdTree) : 0;
}

bool CFolderBrowserDialog::OnInitDialog() {
  CContextHelpDialog::OnInitDialog();
  m_btnCancel = AttachBitmapButton(2);
  m_btnOk = AttachBitmapButton(1);
  m_tooltip.Create(this);
  m_tooltip.Activate(true);
  if (m_btnOk != nullptr) m_tooltip.AddTool(m_btnOk, res::LoadText(kTextOk));
  if (m_btnCancel != nullptr) m_tooltip.AddTool(m_btnCancel, res::LoadText(kTextCancel));
  setWindowTitle(QString::fromUtf8(res::LoadText(kTextCaption)));
  if (m_tree != nullptr) {
    m_tree->ResetTree(true);
    m_tree->SelectPath(m_strPath);
  }
  return true;
}

void CFolderBrowserDialog::OnOK() {
  // The selected item, not a caret the tree may have taken on gaining focus.
  const QList<QTreeWidgetItem*> selected = m_tree != nullptr ? m_tree->selectedItems() : QList<QTreeWidgetItem*>();
  if (!selected.isEmpty()) m_strPath = m_tree->GetSelectedPath(selected.front());
  done(1);
}

}  // namespace dialogs

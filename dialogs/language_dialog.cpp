#include "dialogs/language_dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>

namespace dialogs {
namespace {

constexpr int kIdRussian = 1118;

}  // namespace

CLanguageDialog::CLanguageDialog(QWidget* parent) : CTemplateDialog(res::kDialogLanguage, parent) {}

bool CLanguageDialog::OnInitDialog() {
  // Neither button starts selected.
  if (auto* russian = ui::DlgItem<QAbstractButton>(*this, kIdRussian)) {
    if (QButtonGroup* group = russian->group()) {
      group->setExclusive(false);
      for (QAbstractButton* b : group->buttons()) b->setChecked(false);
      group->setExclusive(true);
    }
  }
  AttachBitmapButton(1);
  return true;
}

void CLanguageDialog::OnOK() {
  // The index of the selected button within the group, or -1.
  m_nLanguage = -1;
  if (auto* russian = ui::DlgItem<QAbstractButton>(*this, kIdRussian)) {
    if (QButtonGroup* group = russian->group()) {
      const QList<QAbstractButton*> buttons = group->buttons();
      for (int i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked()) m_nLanguage = i;
      }
    }
  }
  done(1);
}

int AskInterfaceLanguage(QWidget* parent) {
  CLanguageDialog dialog(parent);
  dialog.DoModal();
  return dialog.m_nLanguage;
}

}  // namespace dialogs

#include "dialogs/language_dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>

namespace dialogs {
namespace {

constexpr int kIdRussian = 1118;

}  // namespace

CLanguageDialog::CLanguageDialog(int preselected, QWidget* parent)
    : CTemplateDialog(res::kDialogLanguage, parent), m_nPreselected(preselected) {}

bool CLanguageDialog::OnInitDialog() {
  // The button of the language asked for starts selected, or neither.
  if (auto* russian = ui::DlgItem<QAbstractButton>(*this, kIdRussian)) {
    if (QButtonGroup* group = russian->group()) {
      group->setExclusive(false);
      const QList<QAbstractButton*> buttons = group->buttons();
      for (int i = 0; i < buttons.size(); ++i) buttons[i]->setChecked(i == m_nPreselected);
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

int AskInterfaceLanguage(QWidget* parent, int preselected) {
  CLanguageDialog dialog(preselected, parent);
  dialog.DoModal();
  return dialog.m_nLanguage;
}

}  // namespace dialogs

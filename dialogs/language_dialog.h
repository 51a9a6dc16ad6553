#pragma once
// The question of the very first start: which interface language. Its texts
// are fixed English, since no language exists yet; it has no close box.
#include "ui/template_dialog.h"

namespace dialogs {

class CLanguageDialog : public ui::CTemplateDialog {
  Q_OBJECT

 public:
  // preselected: the button chosen when the dialog opens (0 Russian, 1
  // English, -1 neither).
  explicit CLanguageDialog(int preselected = -1, QWidget* parent = nullptr);

  // -1 no choice (also after Escape), 0 Russian, 1 English.
  int m_nLanguage = -1;
  int m_nPreselected = -1;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};

// Runs the dialog, with the language of preselected chosen at first, and
// gives the language it chose: 0 Russian, 1 English or -1 for no choice
// (which counts as English).
int AskInterfaceLanguage(QWidget* parent = nullptr, int preselected = -1);

}  // namespace dialogs

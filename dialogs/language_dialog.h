#pragma once
// The question of the very first start: which interface language. Its texts
// are fixed English, since no language exists yet; it has no close box.
#include "ui/template_dialog.h"

namespace dialogs {

class CLanguageDialog : public ui::CTemplateDialog {
  Q_OBJECT

 public:
  explicit CLanguageDialog(QWidget* parent = nullptr);

  // -1 no choice (also after Escape), 0 Russian, 1 English.
  int m_nLanguage = -1;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};

// Runs the dialog and gives the language it chose: 0 Russian, 1 English or
// -1 for no choice (which counts as English).
int AskInterfaceLanguage(QWidget* parent = nullptr);

}  // namespace dialogs

#pragma once
// The web page window: the program's home page inside the program, in a
// resizable window that opens maximised, with OK to close it and REFRESH to
// load the page again.
#include <string>

#include "dialogs/web_browser_ctrl.h"
#include "records/settings_store.h"
#include "ui/template_dialog.h"
#include "ui/tooltip_ctrl.h"

namespace dialogs {

// The page shipped with the program, as a file: address: the file beside the
// program or in the installed data folder (where it should be, when it is in
// neither).
inline constexpr char kHomePageFile[] = "torvex.html";
std::string DefaultHomePage();

class CWebPageDialog : public ui::CTemplateDialog {
  Q_OBJECT

 public:
  // The address of "AddrURLhp" is read with a buffer of this many bytes
  // (terminating zero included).
  static constexpr int kAddressBufferSize = 512;

  // The program's browser.
  explicit CWebPageDialog(records::SettingsStore& store, QWidget* parent = nullptr);
  // A browser of the caller's (nullptr: none, so the dialog cannot open).
  CWebPageDialog(records::SettingsStore& store, WebBrowserEngine* engine, QWidget* parent);

  // Reads the address afresh (the default, or "AddrURLhp" when the key
  // already existed and the value fits) and navigates to it.
  void NavigateToPage();
  // The address of the last navigation.
  const std::string& Address() const { return m_strAddress; }

  void setVisible(bool visible) override;

  ui::CBitmapButton* m_btnRefresh = nullptr;  // 1033
  ui::CBitmapButton* m_btnOk = nullptr;       // 1
  CWebBrowserCtrl* m_browser = nullptr;       // 1036
  ui::CToolTipCtrl m_tooltip;

 protected:
  bool OnCreate() override;
  bool OnInitDialog() override;
  void OnCommand(int id) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void LayOutControls();

  records::SettingsStore& m_store;
  WebBrowserEngine* m_pEngine;
  bool m_bProgramBrowser;
  std::string m_strAddress;
};

}  // namespace dialogs

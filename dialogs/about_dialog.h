#pragma once
// The About dialog (name, picture, version, the maker's addresses and the
// program's home page, which its URL button opens in the web page window)
// and the credits window that a double-click on the picture opens.
#include <cstddef>
#include <string>

#include "records/settings_store.h"
#include "ui/template_dialog.h"
#include "ui/tooltip_ctrl.h"

class QMouseEvent;

namespace dialogs {

// The program's version: 2.03.
inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRelease = 3;

// The maker's home page and e-mail line shown when the settings key holds
// none of their own.
inline constexpr char kDefaultMakerHomePage[] = "http://www.quillon.example/";
// The program's home page as About names it when the settings key holds no
// address of its own; the web page window opens the copy of that page
// shipped with the program (DefaultHomePage), which reads offline.
inline constexpr char kDefaultHomePageAddress[] = "http://www.quillon.example/torvex/";
inline constexpr char kDefaultMakerEMail[] = "EMail: torvex@quillon.example";

// The version text in the interface language, "Version 2.03", with
// " (Service Pack N)" after it when servicePack is not 0. It fits 31
// characters: the longest, with service pack 255, takes all of them.
void FormatVersion(char* buffer, std::size_t size, int servicePack);

class CAboutDialog : public ui::CTemplateDialog {
  Q_OBJECT

 public:
  // Up to 31 characters of UTF-8 (two bytes each for the Russian letters)
  // and the terminating zero.
  static constexpr int kVersionBufferSize = 64;
  // The buffers the address values are read with, terminating zero included.
  static constexpr int kAddressBufferSize = 128;
  static constexpr int kEMailBufferSize = 64;

  // Fills m_szVersion with the version and the stored service pack.
  explicit CAboutDialog(records::SettingsStore& store, QWidget* parent = nullptr);

  char m_szVersion[kVersionBufferSize] = "";
  // The addresses shown: the program's home page (1122), the maker's home
  // page (1129) and the e-mail line (1130).
  std::string m_strHomePage;
  std::string m_strMakerHomePage;
  std::string m_strEMail;
  ui::CBitmapButton* m_btnOk = nullptr;   // 1
  ui::CBitmapButton* m_btnUrl = nullptr;  // 1035
  ui::CToolTipCtrl m_tooltip;

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id) override;
  // A left double-click on the picture opens the credits.
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void SetAddressText(int id, const std::string& text);

  records::SettingsStore& m_store;
};

// The names of the author, the testers and the people thanked. Any mouse
// press closes it, as do Escape and the close box.
class CCreditsDialog : public ui::CTemplateDialog {
  Q_OBJECT

 public:
  explicit CCreditsDialog(QWidget* parent = nullptr);

 protected:
  bool OnInitDialog() override;
  void mousePressEvent(QMouseEvent* event) override;
};

// The area of the About picture that opens the credits, in client pixels,
// both bounds included.
inline constexpr int kCreditsAreaLeft = 29;
inline constexpr int kCreditsAreaTop = 25;
inline constexpr int kCreditsAreaRight = 80;
inline constexpr int kCreditsAreaBottom = 75;

}  // namespace dialogs

#pragma once
// The window of the hosted web browser: a control of the web page window
// that holds the browser's view and passes addresses on to it.
#include <QString>
#include <QWidget>

#include "dialogs/web_browser.h"

namespace dialogs {

class CWebBrowserCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CWebBrowserCtrl(QWidget* parent = nullptr);

  // Creates the browser's view inside the control. False when there is no
  // browser or it cannot start; the control then stays empty.
  bool CreateControl(WebBrowserEngine* engine);

  // Starts loading the address (UTF-8) and returns at once.
  void Navigate(const char* address);
  // The address shown or being loaded, and the title of the page.
  QString GetLocationURL() const;
  QString GetLocationName() const;
  // The browser's own view (nullptr before CreateControl succeeds).
  QWidget* View() const { return m_pView; }

 private:
  WebBrowserEngine* m_pEngine = nullptr;
  QWidget* m_pView = nullptr;
};

}  // namespace dialogs

#pragma once
// The browser component that the web page window hosts. It lives in a module
// of its own ("torvex_browser.so", built on Qt WebEngine) that is loaded the
// first time a web page window opens, so that a program that never shows a
// page never loads the browser's libraries nor starts its processes.
#include <QObject>
#include <QString>
#include <QtPlugin>

class QWidget;

namespace dialogs {

class WebBrowserEngine {
 public:
  virtual ~WebBrowserEngine() = default;

  // A browser view as a child of parent, showing nothing yet; nullptr when
  // the browser cannot start here (its helper process is missing).
  virtual QWidget* CreateView(QWidget* parent) = 0;
  // Starts loading the address (a web address, a file: address or a local
  // path) and returns at once; a page that cannot be loaded is shown as the
  // browser shows such pages.
  virtual void Navigate(QWidget* view, const QString& address) = 0;
  // The address the view shows or is loading, and the title of its page.
  virtual QString LocationUrl(const QWidget* view) const = 0;
  virtual QString LocationName(const QWidget* view) const = 0;
};

// The file name of the browser module.
inline constexpr char kBrowserModuleName[] = "torvex_browser.so";

// The browser of the module at this path, loaded once and kept for the life
// of the process; nullptr when the module cannot be loaded.
WebBrowserEngine* LoadBrowserEngine(const QString& modulePath);
// The browser of the program: the module beside the program file, or else in
// the installed module folder; nullptr when there is none that loads.
WebBrowserEngine* ProgramBrowserEngine();

}  // namespace dialogs

#define TORVEX_WEB_BROWSER_ENGINE_IID "org.quillon.torvex.WebBrowserEngine/1"
Q_DECLARE_INTERFACE(dialogs::WebBrowserEngine, TORVEX_WEB_BROWSER_ENGINE_IID)

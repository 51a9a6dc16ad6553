// The browser module: Qt WebEngine behind the web page window's browser
// interface. Loaded only when a web page window opens.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QUrl>
#include <QWebEngineView>
#include <QtGlobal>

#include "dialogs/web_browser.h"

namespace {

bool IsExecutableFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}

// Qt WebEngine renders every page in a helper process; without one it starts
// but never shows anything.
bool HelperProcessPresent() {
  const QString named = qEnvironmentVariable("QTWEBENGINE_PROCESS_PATH");
  if (!named.isEmpty()) return IsExecutableFile(named);
  const QString file = QStringLiteral("QtWebEngineProcess");
  return IsExecutableFile(QDir(QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath)).filePath(file)) ||
         IsExecutableFile(QDir(QCoreApplication::applicationDirPath()).filePath(file));
}

class WebEngineBrowser : public QObject, public dialogs::WebBrowserEngine {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID TORVEX_WEB_BROWSER_ENGINE_IID)
  Q_INTERFACES(dialogs::WebBrowserEngine)

 public:
  QWidget* CreateView(QWidget* parent) override {
    if (!HelperProcessPresent()) return nullptr;
    return new QWebEngineView(parent);
  }

  void Navigate(QWidget* view, const QString& address) override {
    if (auto* web = qobject_cast<QWebEngineView*>(view)) {
      web->setUrl(QUrl::fromUserInput(address));
    }
  }

  QString LocationUrl(const QWidget* view) const override {
    const auto* web = qobject_cast<const QWebEngineView*>(view);
    return web != nullptr ? web->url().toString() : QString();
  }

  QString LocationName(const QWidget* view) const override {
    const auto* web = qobject_cast<const QWebEngineView*>(view);
    return web != nullptr ? web->title() : QString();
  }
};

}  // namespace

#include "web_engine_browser.moc"

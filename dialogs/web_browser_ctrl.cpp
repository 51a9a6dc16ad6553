#include "dialogs/web_browser_ctrl.h"

#include <QMap>
#include <QPluginLoader>
#include <QVBoxLayout>

#include "platform/data_files.h"

namespace dialogs {

WebBrowserEngine* LoadBrowserEngine(const QString& modulePath) {
  if (modulePath.isEmpty()) return nullptr;
  // A loaded browser stays for the life of the process: its libraries keep
  // threads and a helper process that do not survive being unloaded.
  static QMap<QString, WebBrowserEngine*> loaded;
  if (auto it = loaded.constFind(modulePath); it != loaded.constEnd()) return it.value();
  QPluginLoader loader(modulePath);
  WebBrowserEngine* engine = qobject_cast<WebBrowserEngine*>(loader.instance());
  if (engine == nullptr) {
    loader.unload();
    return nullptr;
  }
  loaded.insert(modulePath, engine);
  return engine;
}

WebBrowserEngine* ProgramBrowserEngine() {
  return LoadBrowserEngine(QString::fromStdString(platform::FindModuleFile(kBrowserModuleName)));
}

CWebBrowserCtrl::CWebBrowserCtrl(QWidget* parent) : QWidget(parent) {}

bool CWebBrowserCtrl::CreateControl(WebBrowserEngine* engine) {
  if (m_pView != nullptr) return true;
  if (engine == nullptr) return false;
  QWidget* view = engine->CreateView(this);
  if (view == nullptr) return false;
  m_pEngine = engine;
  m_pView = view;
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  setFocusProxy(view);
  return true;
}

void CWebBrowserCtrl::Navigate(const char* address) {
  if (m_pView == nullptr) return;
  m_pEngine->Navigate(m_pView, QString::fromUtf8(address != nullptr ? address : ""));
}

QString CWebBrowserCtrl::GetLocationURL() const {
  return m_pView != nullptr ? m_pEngine->LocationUrl(m_pView) : QString();
}

QString CWebBrowserCtrl::GetLocationName() const {
  return m_pView != nullptr ? m_pEngine->LocationName(m_pView) : QString();
}

}  // namespace dialogs

#include "dialogs/web_page_dialog.h"

#include <QEvent>
#include <QResizeEvent>
#include <QUrl>

#include "platform/data_files.h"
#include "res/dialog_templates.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"

namespace dialogs {
namespace {

constexpr int kIdRefresh = 1033;
constexpr int kIdBrowser = 1036;

// The layout once the window has been resized, in pixels: the browser keeps
// 11 pixels to the left, top and bottom and leaves 69 on the right for the
// two 32 by 32 buttons, which keep 15 pixels from the right edge.
constexpr int kMargin = 11;
constexpr int kButtonColumn = 80;
constexpr int kButtonFromRight = 47;
constexpr int kButtonSize = 32;
constexpr int kRefreshTop = 50;

}  // namespace

std::string DefaultHomePage() {
  std::string path = platform::FindDataFile(kHomePageFile);
  if (path.empty()) path = platform::DataFolder() + "/" + kHomePageFile;
  return QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded).toStdString();
}

CWebPageDialog::CWebPageDialog(records::SettingsStore& store, QWidget* parent)
    : CTemplateDialog(res::kDialogWebPage, parent), m_store(store), m_pEngine(nullptr), m_bProgramBrowser(true) {}

CWebPageDialog::CWebPageDialog(records::SettingsStore& store, WebBrowserEngine* engine, QWidget* parent)
    : CTemplateDialog(res::kDialogWebPage, parent), m_store(store), m_pEngine(engine), m_bProgramBrowser(false) {}

bool CWebPageDialog::OnCreate() {
  if (m_browser != nullptr) return true;
  QWidget* placeholder = ui::DlgItem(*this, kIdBrowser);
  if (placeholder == nullptr) return false;
  WebBrowserEngine* engine = m_bProgramBrowser ? ProgramBrowserEngine() : m_pEngine;
  auto* browser = new CWebBrowserCtrl(this);
  browser->setGeometry(placeholder->geometry());
  if (!browser->CreateControl(engine)) {
    delete browser;
    return false;
  }
  // The browser takes the place of the template's empty area, in its tab
  // order and under its id.
  delete placeholder;
  ui::SetDlgItemId(browser, kIdBrowser);
  m_browser = browser;
  if (QWidget* ok = ui::DlgItem(*this, 1)) QWidget::setTabOrder(ok, browser);
  if (QWidget* refresh = ui::DlgItem(*this, kIdRefresh)) QWidget::setTabOrder(browser, refresh);
  return true;
}

bool CWebPageDialog::OnInitDialog() {
  CTemplateDialog::OnInitDialog();
  setWindowTitle(QString::fromUtf8(res::LoadText(79)));
  m_tooltip.Create(this);
  m_tooltip.Activate(true);
  m_btnOk = AttachBitmapButton(1);
  if (m_btnOk != nullptr) m_tooltip.AddTool(m_btnOk, res::LoadText(65));
  m_btnRefresh = AttachBitmapButton(kIdRefresh);
  if (m_btnRefresh != nullptr) m_tooltip.AddTool(m_btnRefresh, res::LoadText(67));
  return true;
}

void CWebPageDialog::NavigateToPage() {
  m_strAddress = DefaultHomePage();
  // A missing value, or one too long for the buffer, keeps the default.
  if (std::optional<std::string> value = m_store.ReadText("AddrURLhp", kAddressBufferSize)) m_strAddress = *value;
  if (m_browser != nullptr) m_browser->Navigate(m_strAddress.c_str());
}

void CWebPageDialog::setVisible(bool visible) {
  const bool showing = visible && !isVisible();
  CTemplateDialog::setVisible(visible);
  if (!showing) return;
  // Every showing loads the page afresh and fills the screen.
  NavigateToPage();
  showMaximized();
}

void CWebPageDialog::OnCommand(int id) {
  if (id == kIdRefresh) {
    NavigateToPage();
    return;
  }
  CTemplateDialog::OnCommand(id);
}

void CWebPageDialog::resizeEvent(QResizeEvent* event) {
  CTemplateDialog::resizeEvent(event);
  LayOutControls();
}

void CWebPageDialog::changeEvent(QEvent* event) {
  CTemplateDialog::changeEvent(event);
  // Coming back from the task bar lays out for the size the window has now,
  // which may have changed while it was minimised.
  if (event->type() == QEvent::WindowStateChange &&
      (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized)) {
    LayOutControls();
  }
}

void CWebPageDialog::LayOutControls() {
  // Nothing moves while the window is hidden or minimised.
  if (!isVisible() || isMinimized()) return;
  const int w = width();
  const int h = height();
  if (m_browser != nullptr) m_browser->setGeometry(kMargin, kMargin, w - kButtonColumn, h - 2 * kMargin);
  if (QWidget* ok = ui::DlgItem(*this, 1)) ok->setGeometry(w - kButtonFromRight, kMargin, kButtonSize, kButtonSize);
  if (QWidget* refresh = ui::DlgItem(*this, kIdRefresh)) {
    refresh->setGeometry(w - kButtonFromRight, kRefreshTop, kButtonSize, kButtonSize);
  }
}

}  // namespace dialogs

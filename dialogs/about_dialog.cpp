#include "dialogs/about_dialog.h"

#include <QLabel>
#include <QMetaObject>
#include <QMouseEvent>
#include <cstdio>
#include <cstring>
#include <string>

#include "dialogs/web_page_dialog.h"
#include "res/dialog_templates.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"

namespace dialogs {
namespace {

constexpr int kIdUrl = 1035;
constexpr int kIdVersion = 1120;
constexpr int kIdHomePageLabel = 1102;
constexpr int kIdHomePage = 1122;
constexpr int kIdMakerHomePage = 1129;
constexpr int kIdEMail = 1130;

}  // namespace

void FormatVersion(char* buffer, std::size_t size, int servicePack) {
  if (size == 0) return;
  std::snprintf(buffer, size, res::LoadText(71), kVersionMajor, kVersionMinor, kVersionRelease);
  if (servicePack != 0) {
    // The service pack part is the same in both languages.
    char part[32];
    std::snprintf(part, sizeof part, " (Service Pack %d)", servicePack);
    const std::size_t used = std::strlen(buffer);
    std::snprintf(buffer + used, size - used, "%s", part);
  }
}

CAboutDialog::CAboutDialog(records::SettingsStore& store, QWidget* parent)
    : CTemplateDialog(res::kDialogAbout, parent), m_store(store) {
  FormatVersion(m_szVersion, sizeof m_szVersion, store.settings->servicePack);
}

bool CAboutDialog::OnInitDialog() {
  CTemplateDialog::OnInitDialog();
  m_tooltip.Create(this);
  m_tooltip.Activate(true);
  ui::SetDlgItemText(*this, kIdVersion, m_szVersion);
  setWindowTitle(QString::fromUtf8(res::LoadText(73)));
  ui::SetDlgItemText(*this, kIdHomePageLabel, res::LoadText(75));
  m_btnOk = AttachBitmapButton(1);
  if (m_btnOk != nullptr) m_tooltip.AddTool(m_btnOk, res::LoadText(1));
  m_btnUrl = AttachBitmapButton(kIdUrl);
  if (m_btnUrl != nullptr) m_tooltip.AddTool(m_btnUrl, res::LoadText(51));

  // The settings key may name other addresses; each value that is missing or
  // too long for its buffer keeps its default.
  m_strHomePage = kDefaultHomePageAddress;
  m_strMakerHomePage = kDefaultMakerHomePage;
  m_strEMail = kDefaultMakerEMail;
  if (auto value = m_store.ReadText("AddrURLhp", kAddressBufferSize)) m_strHomePage = *value;
  if (auto value = m_store.ReadText("AddrURLas", kAddressBufferSize)) m_strMakerHomePage = *value;
  if (auto value = m_store.ReadText("AddrEMail", kEMailBufferSize)) m_strEMail = *value;
  SetAddressText(kIdHomePage, m_strHomePage);
  SetAddressText(kIdMakerHomePage, m_strMakerHomePage);
  SetAddressText(kIdEMail, m_strEMail);
  return true;
}

void CAboutDialog::SetAddressText(int id, const std::string& text) {
  auto* label = ui::DlgItem<QLabel>(*this, id);
  if (label == nullptr) return;
  // An address stays on its one line; one too wide for it loses its middle,
  // so that both its beginning and its file name stay readable.
  label->setWordWrap(false);
  const QString full = QString::fromUtf8(text.c_str());
  label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->width()));
}

void CAboutDialog::OnCommand(int id) {
  if (id == kIdUrl) {
    // The page opens on top; this dialog stays as it is underneath, also when
    // the browser cannot start.
    CWebPageDialog page(m_store, this);
    page.DoModal();
    return;
  }
  CTemplateDialog::OnCommand(id);
}

void CAboutDialog::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint p = event->position().toPoint();
    if (p.x() >= kCreditsAreaLeft && p.x() <= kCreditsAreaRight && p.y() >= kCreditsAreaTop &&
        p.y() <= kCreditsAreaBottom) {
      CCreditsDialog credits(this);
      credits.DoModal();
      return;
    }
  }
  CTemplateDialog::mouseDoubleClickEvent(event);
}

CCreditsDialog::CCreditsDialog(QWidget* parent) : CTemplateDialog(res::kDialogCredits, parent) {}

bool CCreditsDialog::OnInitDialog() {
  CTemplateDialog::OnInitDialog();
  // The labels and the names: "Author:", "Testers:", "Special thanks to:",
  // then the author, the testers and the people thanked.
  for (int i = 0; i < 6; ++i) ui::SetDlgItemText(*this, 1111 + i, res::LoadText(139 + 2 * i));
  ui::SetDlgItemText(*this, 1121, res::LoadText(169));
  ui::SetDlgItemText(*this, 1117, res::LoadText(185));
  return true;
}

void CCreditsDialog::mousePressEvent(QMouseEvent* event) {
  CTemplateDialog::mousePressEvent(event);
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
    // Closed once the press has been handled, like the close box.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

}  // namespace dialogs

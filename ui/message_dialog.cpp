#include "ui/message_dialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "res/dialog_templates.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"

namespace ui {
namespace {

constexpr int kIconSize = 32;

// Copies at most room - 1 bytes of UTF-8 text and the terminating zero; a
// character that does not fit whole is left out.
void CopyText(char* target, std::size_t room, const char* source) {
  std::size_t length = std::strlen(source);
  if (length >= room) {
    length = room - 1;
    while (length > 0 && (static_cast<unsigned char>(source[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(target, source, length);
  target[length] = '\0';
}

// Set when the application's event loop ends: boxes asked for after that are
// answered with Cancel at once.
std::atomic<bool> g_quitting{false};
std::mutex g_watchMutex;
const QCoreApplication* g_watched = nullptr;

void WatchForQuit(QCoreApplication* app) {
  const std::lock_guard<std::mutex> lock(g_watchMutex);
  if (g_watched == app) return;
  g_watched = app;
  g_quitting = false;
  QObject::connect(app, &QObject::destroyed, [] {
    const std::lock_guard<std::mutex> lock(g_watchMutex);
    g_watched = nullptr;
  });
  QObject::connect(app, &QCoreApplication::aboutToQuit, app, [app] {
    g_quitting = true;
    // Answer the boxes that other threads asked for and that the ending event
    // loop will never show, so that no caller waits for ever.
    QCoreApplication::sendPostedEvents(app, QEvent::MetaCall);
  });
}

QPointer<QWidget> g_mainWindow;

struct MessageRequest {
  char text[1024];
  char caption[256];
  bool hasText;
  bool hasCaption;
  int type;
  QPointer<QWidget> owner;
};

int RunMessageBox(const MessageRequest& request) {
  if (g_quitting || QCoreApplication::closingDown()) return engine::kIdCancel;
  // The window that asked, else the main window; never whatever happens to
  // be active, which may belong to another program or be nothing at all.
  QWidget* owner = request.owner != nullptr ? request.owner.data() : g_mainWindow.data();
  if (owner != nullptr) owner = owner->window();
  CMessageDialog box(owner);
  box.SetMessage(request.hasText ? request.text : nullptr, request.hasCaption ? request.caption : nullptr,
                 request.type);
  const int result = box.DoModal();
  // A box closed by the application's end, not by the user, counts as Cancel.
  return result == 0 ? engine::kIdCancel : result;
}

}  // namespace

CMessageDialog::CMessageDialog(QWidget* parent) : CTemplateDialog(res::kDialogMessage, parent) {
  m_btnCheckAgain = DlgItem<CBitmapButton>(*this, engine::kIdCheckAgain);
  m_btnContinue = DlgItem<CBitmapButton>(*this, engine::kIdContinue);
  m_btnRetry = DlgItem<CBitmapButton>(*this, engine::kIdRetry);
  m_btnCancel = DlgItem<CBitmapButton>(*this, engine::kIdCancel);
  m_btnOk = DlgItem<CBitmapButton>(*this, engine::kIdOk);
  m_icon = DlgItem<QLabel>(*this, 1060);
}

void CMessageDialog::SetMessage(const char* text, const char* caption, int type) {
  m_bHasText = text != nullptr;
  CopyText(m_szText, sizeof m_szText, m_bHasText ? text : "");
  m_bHasCaption = caption != nullptr;
  CopyText(m_szCaption, sizeof m_szCaption, m_bHasCaption ? caption : "");
  m_nType = type;
}

bool CMessageDialog::OnInitDialog() {
  CTemplateDialog::OnInitDialog();
  m_tooltip.Create(this);
  m_tooltip.Activate(true);

  // Buttons and their tooltips, in this order: OK, Cancel, Retry, Check again,
  // Continue checking.
  const struct {
    int id;
    int textId;
  } buttons[] = {{engine::kIdOk, 1}, {engine::kIdCancel, 3}, {engine::kIdRetry, 5},
                 {engine::kIdCheckAgain, 7}, {engine::kIdContinue, 9}};
  for (const auto& b : buttons) {
    CBitmapButton* button = AttachBitmapButton(b.id);
    if (button != nullptr) m_tooltip.AddTool(button, res::LoadText(b.textId));
  }

  if (m_bHasCaption) setWindowTitle(QString::fromUtf8(m_szCaption));
  if (m_bHasText) SetDlgItemText(*this, 1061, m_szText);
  FitToText();

  // With several icon bits, the last one tested wins.
  const struct {
    int bit;
    QStyle::StandardPixmap icon;
  } icons[] = {{engine::kMbIconStop, QStyle::SP_MessageBoxCritical},
               {engine::kMbIconQuestion, QStyle::SP_MessageBoxQuestion},
               {engine::kMbIconInformation, QStyle::SP_MessageBoxInformation},
               {engine::kMbIconExclamation, QStyle::SP_MessageBoxWarning}};
  for (const auto& i : icons) {
    if ((m_nType & i.bit) == 0) continue;
    m_nIconBit = i.bit;
    if (m_icon != nullptr) {
      m_icon->setPixmap(style()->standardIcon(i.icon, nullptr, this).pixmap(kIconSize, kIconSize));
      m_icon->resize(kIconSize, kIconSize);  // an icon control takes the icon's size
    }
  }

  if (m_nType & engine::kMbCheckAgainContinueCancel) {
    m_btnOk->hide();
    m_btnCancel->show();
    m_btnCheckAgain->show();
    m_btnContinue->show();
  }
  if (m_nType & engine::kMbRetryCancel) {
    m_btnOk->hide();
    m_btnCancel->show();
    m_btnRetry->show();
  }
  return true;
}

void CMessageDialog::FitToText() {
  auto* label = DlgItem<QLabel>(*this, 1061);
  if (label == nullptr) return;
  const QString text = label->text();
  const QRect box = label->geometry();
  const int frame = label->frameWidth() + label->margin();
  const QFontMetrics metrics = label->fontMetrics();
  const int flags = int(label->alignment()) | Qt::TextWordWrap;
  const auto needed = [&](int boxWidth) {
    return metrics.boundingRect(QRect(0, 0, std::max(1, boxWidth - 2 * frame), 1 << 20), flags, text).size() +
           QSize(2 * frame, 2 * frame);
  };
  if (needed(box.width()).width() <= box.width() && needed(box.width()).height() <= box.height()) return;

  // As wide as its longest line, up to two thirds of the screen, and then
  // as high as the text needs. A word (a path) wider than that widens the
  // box to the word.
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
  const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  const int most = shown != nullptr ? shown->availableGeometry().width() * 2 / 3 - (width() - box.width()) : 640;
  int textWidth = std::clamp(widest + 2 * frame + 1, box.width(), std::max(box.width(), most));
  QSize fitted = needed(textWidth);
  if (fitted.width() > textWidth) {
    textWidth = fitted.width();
    fitted = needed(textWidth);
  }
  const int growX = textWidth - box.width();
  const int growY = std::max(0, fitted.height() - box.height());
  MoveDlgItem(*label, QRect(box.topLeft(), QSize(textWidth, box.height() + growY)));
  // The buttons stay centred below the text.
  for (CBitmapButton* button : {m_btnCheckAgain, m_btnContinue, m_btnRetry, m_btnCancel, m_btnOk}) {
    if (button != nullptr) button->move(button->pos() + QPoint(growX / 2, growY));
  }
  setFixedSize(size() + QSize(growX, growY));
}

void CMessageDialog::OnCommand(int id) {
  switch (id) {
    case engine::kIdRetry:
    case engine::kIdCheckAgain:
    case engine::kIdContinue:
      done(id);
      break;
    default:
      CTemplateDialog::OnCommand(id);
      break;
  }
}

void CMessageDialog::OnOK() { done((m_nType & engine::kMbRetryCancel) ? engine::kIdRetry : engine::kIdOk); }

void SetMainWindow(QWidget* window) { g_mainWindow = window; }

QWidget* MainWindow() { return g_mainWindow.data(); }

int ShowMessage(const char* text, const char* caption, int type, QWidget* owner) {
  // Copied before anything else, so that the caller's buffers are free at once.
  MessageRequest request{};
  request.owner = owner;
  request.hasText = text != nullptr;
  CopyText(request.text, sizeof request.text, request.hasText ? text : "");
  request.hasCaption = caption != nullptr;
  CopyText(request.caption, sizeof request.caption, request.hasCaption ? caption : "");
  request.type = type;

  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || qobject_cast<QApplication*>(app) == nullptr) return -1;
  WatchForQuit(app);
  if (QThread::currentThread() == app->thread()) return RunMessageBox(request);

  if (g_quitting || QCoreApplication::closingDown()) return engine::kIdCancel;
  // If the application goes away before the box runs, the call is dropped
  // and the caller gets Cancel. The answer travels in an atomic, so that it
  // is ordered for this thread by our own means, not only by Qt's semaphore.
  std::atomic<int> result{engine::kIdCancel};
  const bool posted = QMetaObject::invokeMethod(
      app, [&request, &result] { result = RunMessageBox(request); }, Qt::BlockingQueuedConnection);
  return posted ? result.load() : -1;
}

}  // namespace ui

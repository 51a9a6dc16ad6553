#include "ui/bitmap_button.h"

#include <QPainter>

#include "res/pictures.h"

namespace ui {

CBitmapButton::CBitmapButton(QWidget* parent) : CBitmapButton(QString(), parent) {}

CBitmapButton::CBitmapButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
  // Enter is the window's OK command, never a click on the focused button.
  setAutoDefault(false);
  setDefault(false);
}

bool CBitmapButton::AutoLoad() {
  const QString name = text();
  if (name.isEmpty()) return false;
  if (!LoadBitmaps(name + 'U', name + 'D', name + 'F', name + 'X')) return false;
  SizeToContent();
  return true;
}

bool CBitmapButton::LoadBitmaps(const QString& up, const QString& down, const QString& focused,
                                const QString& disabled) {
  m_bitmap = res::LoadBitmapResource(up);
  m_bitmapSel = res::LoadBitmapResource(down);
  m_bitmapFocus = res::LoadBitmapResource(focused);
  m_bitmapDisabled = res::LoadBitmapResource(disabled);
  update();
  return !m_bitmap.isNull();
}

void CBitmapButton::SizeToContent() {
  if (!m_bitmap.isNull()) resize(m_bitmap.deviceIndependentSize().toSize());
}

CBitmapButton::Image CBitmapButton::CurrentImage() const {
  if (m_bitmap.isNull()) return kNone;
  if (isDown() && !m_bitmapSel.isNull()) return kDown;
  if (hasFocus() && !m_bitmapFocus.isNull()) return kFocused;
  if (!isEnabled() && !m_bitmapDisabled.isNull()) return kDisabled;
  return kUp;
}

const QPixmap& CBitmapButton::Bitmap(Image image) const {
  switch (image) {
    case kDown: return m_bitmapSel;
    case kFocused: return m_bitmapFocus;
    case kDisabled: return m_bitmapDisabled;
    case kUp:
    case kNone: break;
  }
  return m_bitmap;
}

QSize CBitmapButton::sizeHint() const {
  return m_bitmap.isNull() ? size() : m_bitmap.deviceIndependentSize().toSize();
}

QSize CBitmapButton::minimumSizeHint() const { return sizeHint(); }

void CBitmapButton::paintEvent(QPaintEvent*) {
  const Image image = CurrentImage();
  if (image == kNone) return;  // nothing to draw with
  QPainter painter(this);
  painter.drawPixmap(0, 0, Bitmap(image));  // whole and unscaled, from the top left corner
}

}  // namespace ui

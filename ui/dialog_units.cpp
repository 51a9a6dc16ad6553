#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace ui {
namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogUnits::DialogUnits(int baseX, int baseY) : m_nBaseX(baseX > 0 ? baseX : 1), m_nBaseY(baseY > 0 ? baseY : 1) {}

DialogUnits DialogUnits::ForFont(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // (letters / 26 + 1) / 2 is the average over 52 letters, rounded.
  return DialogUnits((letters / 26 + 1) / 2, metrics.height());
}

int DialogUnits::ToPixelsX(int units) const { return MulDiv(units, m_nBaseX, 4); }
int DialogUnits::ToPixelsY(int units) const { return MulDiv(units, m_nBaseY, 8); }

QRect DialogUnits::ToPixels(const res::DluRect& rect) const {
  return QRect(ToPixelsX(rect.x), ToPixelsY(rect.y), ToPixelsX(rect.width), ToPixelsY(rect.height));
}

QSize DialogUnits::ToPixels(int width, int height) const { return QSize(ToPixelsX(width), ToPixelsY(height)); }

}  // namespace ui

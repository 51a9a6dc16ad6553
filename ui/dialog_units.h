#pragma once
// Dialog units: the measure of every template. A horizontal unit is a quarter
// of the dialog font's average character width, a vertical unit an eighth of
// its character height; pixels = units * base / 4 (or 8), rounded to nearest.
#include <QFont>
#include <QRect>
#include <QSize>

#include "res/dialog_templates.h"

namespace ui {

class DialogUnits {
 public:
  // baseX: average character width in pixels; baseY: character height.
  DialogUnits(int baseX, int baseY);

  // The base units of a font. The average character width is that of the 52
  // letters "A".."Z", "a".."z" set in the font, rounded to the nearest pixel;
  // the height is the font's line height (ascent + descent).
  static DialogUnits ForFont(const QFont& font);

  int BaseX() const { return m_nBaseX; }
  int BaseY() const { return m_nBaseY; }
  int ToPixelsX(int units) const;
  int ToPixelsY(int units) const;
  QRect ToPixels(const res::DluRect& rect) const;
  QSize ToPixels(int width, int height) const;

 private:
  int m_nBaseX;
  int m_nBaseY;
};

}  // namespace ui

#pragma once
// A push button that shows a picture instead of its caption. Its caption names
// an image set of four bitmaps: caption + "U" (up), "D" (pressed), "F"
// (focused) and "X" (disabled). Until the images are loaded, and for good when
// the up image is missing, the button draws nothing.
#include <QPixmap>
#include <QPushButton>

namespace ui {

class CBitmapButton : public QPushButton {
  Q_OBJECT

 public:
  enum Image { kNone = -1, kUp = 0, kDown, kFocused, kDisabled };

  explicit CBitmapButton(QWidget* parent = nullptr);
  CBitmapButton(const QString& caption, QWidget* parent);

  // Loads the image set named by the caption (text()) and sizes the button to
  // the up image, keeping its top left corner. False when the up image is
  // missing: the button then stays undrawn.
  bool AutoLoad();
  // Loads the images by their resource names; an empty name leaves that image
  // out. False when the up image cannot be loaded.
  bool LoadBitmaps(const QString& up, const QString& down = QString(), const QString& focused = QString(),
                   const QString& disabled = QString());
  // Resizes the button to its up image.
  void SizeToContent();

  // The image that drawing chooses now: pressed, then focused, then disabled,
  // each only when that image exists, and otherwise up; kNone without images.
  Image CurrentImage() const;
  const QPixmap& Bitmap(Image image) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap m_bitmap;          // up
  QPixmap m_bitmapSel;       // pressed
  QPixmap m_bitmapFocus;     // focused
  QPixmap m_bitmapDisabled;  // disabled
};

}  // namespace ui

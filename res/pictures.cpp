#include "res/pictures.h"

#include <QBitmap>
#include <QColor>
#include <QFile>

namespace res {

QPixmap LoadBitmapResource(const QString& name) {
  const QString path = QStringLiteral(":/images/%1.bmp").arg(name);
  if (name.isEmpty() || !QFile::exists(path)) return QPixmap();
  return QPixmap(path, "BMP");
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* name : {"128_32", "128_16"}) {
    QPixmap picture = LoadBitmapResource(QString::fromLatin1(name));
    if (picture.isNull()) continue;
    picture.setMask(picture.createMaskFromColor(QColor(255, 0, 255)));
    icon.addPixmap(picture);
  }
  return icon;
}

}  // namespace res

#pragma once
// The program's pictures, compiled in from res/images.
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace res {

// A bitmap by its resource name ("STARTU", "XD", "212"); a null pixmap when
// there is none.
QPixmap LoadBitmapResource(const QString& name);

// The program icon (resource 128): 32 by 32 and 16 by 16, magenta transparent.
QIcon ProgramIcon();

}  // namespace res

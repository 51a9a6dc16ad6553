#include "ui/help_viewer.h"

namespace ui {

// Placeholder until the viewer lands: no help is shown.
bool WinHelp(QWidget*, unsigned, uint32_t) { return false; }

}  // namespace ui

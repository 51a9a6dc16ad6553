#include "dialogs/context_help.h"

#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QWhatsThis>

#include "ui/help_viewer.h"

namespace dialogs {

QWidget* CContextHelpDialog::ControlAt(const QPoint& pos) const {
  QWidget* best = nullptr;
  long bestArea = 0;
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->isHidden() || !child->geometry().contains(pos)) continue;
    const long area = static_cast<long>(child->width()) * child->height();
    if (best == nullptr || area < bestArea) {
      best = child;
      bestArea = area;
    }
  }
  return best;
}

QWidget* CContextHelpDialog::ControlOf(QWidget* widget) const {
  while (widget != nullptr && widget->parentWidget() != this) widget = widget->parentWidget();
  return widget;
}

void CContextHelpDialog::OnHelpInfo(QWidget* control) {
  if (control == nullptr) return;
  const uint32_t contextId = HelpContextOf(ui::DlgItemId(control));
  if (contextId != 0) ShowHelpPopup(control, contextId);
}

void CContextHelpDialog::OnHelp() { OnHelpInfo(ControlOf(focusWidget())); }

void CContextHelpDialog::ShowHelpPopup(QWidget*, uint32_t contextId) {
  // The viewer finds the control in the dialog by the context id's low word
  // and shows the pop-up beside it, or beside the mouse when that is on it.
  ui::WinHelp(this, ui::kHelpContextPopup, contextId);
}

bool CContextHelpDialog::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::QueryWhatsThis:
      // Every control answers, so the help cursor shows over all of them.
      event->accept();
      return true;
    case QEvent::WhatsThis:
      // The control under the click let the request pass up to the dialog.
      OnHelpInfo(ControlAt(static_cast<QHelpEvent*>(event)->pos()));
      // Left unaccepted, the help mode of the caption's button ends when the
      // mouse button is released.
      event->ignore();
      return true;
    default:
      return CTemplateDialog::event(event);
  }
}

void CContextHelpDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::ShiftModifier) {
    // The caption's help button, for window managers that draw none.
    QWhatsThis::enterWhatsThisMode();
    return;
  }
  CTemplateDialog::keyPressEvent(event);
}

}  // namespace dialogs

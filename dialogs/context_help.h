#pragma once
// Dialogs whose controls carry help context ids. A help request on a control
// (F1 while it has the focus, or a click on it after the caption's help
// button or Shift+F1) shows the help file's pop-up for the control's context
// id; a control whose id is 0 shows nothing.
#include <cstdint>

#include "ui/template_dialog.h"

class QEvent;
class QKeyEvent;
class QPoint;

namespace dialogs {

class CContextHelpDialog : public ui::CTemplateDialog {
  Q_OBJECT

 public:
  using CTemplateDialog::CTemplateDialog;

  // The help context id of a control of this dialog; 0 for none.
  virtual uint32_t HelpContextOf(int controlId) const = 0;

  // The control of the template that a help request at this point (in the
  // dialog's coordinates) is about: the innermost one holding it.
  QWidget* ControlAt(const QPoint& pos) const;
  // The control of the template that holds this widget (itself, or the
  // control it is part of); nullptr for none.
  QWidget* ControlOf(QWidget* widget) const;

 protected:
  // A help request on a control. Shows its pop-up when its id is not 0.
  void OnHelpInfo(QWidget* control);
  // F1: the pop-up of the control that has the focus.
  void OnHelp() override;
  // Shows the pop-up of a control's context id.
  virtual void ShowHelpPopup(QWidget* control, uint32_t contextId);

  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace dialogs

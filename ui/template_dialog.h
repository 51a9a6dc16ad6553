#pragma once
// Windows built from the dialog templates of res/dialog_templates.h.
//
// BuildDialog creates a template's controls as children of a dialog, at the
// pixel rectangles that the dialog units give with the dialog's font, in tab
// order, with their start state (hidden, disabled) and captions; it sizes the
// dialog (fixed unless the template has a sizing border) and sets its title
// and window buttons. Each control is found again by its id with DlgItem.
//
// CTemplateDialog is the base of the program's dialogs: it builds its
// template, runs modally with DoModal, turns Enter into the OK command and
// Escape or the close box into the Cancel command, F1 into OnHelp, and hands
// every button click to OnCommand with the button's id.
#include <QDialog>
#include <QString>
#include <optional>

#include "res/dialog_templates.h"
#include "ui/dialog_units.h"

class QCloseEvent;
class QKeyEvent;

namespace ui {

class CBitmapButton;

// The widget kind made for each control kind: CBitmapButton, QGroupBox,
// QLabel (texts, icons, pictures), QCheckBox, QRadioButton (one QButtonGroup
// per radio group), QLineEdit, QComboBox, QTreeView (list views; the window
// gives it its model), QTreeWidget (tree views),
// QProgressBar, QSlider, and a QFrame standing in for the web page view.
// Returns the units used.
DialogUnits BuildDialog(QDialog& dialog, const res::DialogTemplate& dialogTemplate);

// The control with this id, or nullptr.
QWidget* DlgItem(const QWidget& dialog, int id);
template <typename T>
T* DlgItem(const QWidget& dialog, int id) {
  return qobject_cast<T*>(DlgItem(dialog, id));
}
// The id a control was built with (res::kNoId for others).
int DlgItemId(const QWidget* control);
// Gives a control that a window makes itself the id DlgItem finds it by.
void SetDlgItemId(QWidget* control, int id);

// Puts a widget of the window's own class in the place of the template's
// control with this id: same id, rectangle, tab position, stacking and
// start state; the template's control is deleted. Returns the replacement,
// or nullptr (the replacement then deleted) when there is no such control.
QWidget* ReplaceDlgItem(QWidget& dialog, int id, QWidget* replacement);

// Makes every caption of the window show its whole text in the window's
// font, for which the template's boxes were not measured: a label, check box,
// radio button or group box whose text does not fit grows into the free room
// around it within its frame (the innermost group box around it, else the
// window), without moving any other control. A one-line text grows in width
// from its aligned edge; a word-wrapped text grows in width, then in height.
// Only where the room is not enough is its font set narrower, down to 80 %.
// Each control starts again from its template rectangle and the window's
// font, so the window calls it again after changing its captions.
void FitDlgItemText(QWidget& dialog);
// True when the control shows its whole text: one line within its width, a
// word-wrapped text within its width and height.
bool DlgItemTextFits(const QWidget& control);
// Moves a control to rect and makes that the rectangle FitDlgItemText starts
// from, for a window that lays itself out for its contents.
void MoveDlgItem(QWidget& control, const QRect& rect);

// Sets the text (UTF-8) of a label, group box, check box, radio button or edit.
void SetDlgItemText(QWidget& dialog, int id, const char* text);
QString DlgItemText(const QWidget& dialog, int id);

class CTemplateDialog : public QDialog {
  Q_OBJECT

 public:
  // Builds the template with this id; a template that does not exist leaves
  // the dialog empty and DoModal returns -1.
  explicit CTemplateDialog(int templateId, QWidget* parent = nullptr);

  int TemplateId() const { return m_nTemplateId; }
  const DialogUnits& Units() const { return m_units; }
  bool IsBuilt() const { return m_pTemplate != nullptr; }

  // Runs OnCreate and OnInitDialog, then the dialog modally; returns the
  // result it ended with (0 when something else closed it), or -1 when it
  // cannot be made.
  int DoModal();
  // Runs OnCreate and OnInitDialog and shows the dialog without a modal loop
  // of its own (a modeless window). False when it cannot be made or its
  // initialisation ended it.
  bool Create();

  // Loads the images of the bitmap button with this id (AutoLoad). Returns
  // the button, also when its up image is missing (it then stays undrawn);
  // nullptr when there is no such button.
  CBitmapButton* AttachBitmapButton(int id);

  void reject() override;  // close box, Escape
  // Ending the dialog from OnInitDialog ends DoModal before the dialog is shown.
  void done(int result) override;

 protected:
  // Creates what the template cannot hold (hosted controls). Returning false
  // ends the dialog with -1 before initialisation, without showing it.
  virtual bool OnCreate();
  // Sets up the controls before the dialog is shown. Returning true gives the
  // focus to the first visible, enabled control that takes it by Tab.
  virtual bool OnInitDialog();
  // A click on the button with this id. The default: 1 is OnOK, 2 OnCancel.
  virtual void OnCommand(int id);
  // Enter (and button 1): ends the dialog with 1.
  virtual void OnOK();
  // Escape, the close box (and button 2): ends the dialog with 2.
  virtual void OnCancel();
  // F1, also while a hosted control has the focus: the help topic of the
  // window (0x20000 plus its template id).
  virtual void OnHelp();

  void keyPressEvent(QKeyEvent* event) override;
  // What the template's frame does not offer stays refused also under a
  // window manager that draws every caption button whatever the window
  // asks for: no close box, no closing from the caption; a modal dialog
  // without a minimise box comes back at once; a fixed window without a
  // maximise box keeps its size.
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Runs OnInitDialog; false when it ended the dialog.
  bool Initialise(bool* focus);

  int m_nTemplateId;
  const res::DialogTemplate* m_pTemplate;
  bool m_bInInit = false;
  std::optional<int> m_nInitResult;
  DialogUnits m_units{1, 1};
};

}  // namespace ui

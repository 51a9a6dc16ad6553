#pragma once
// The program's message box: an icon, the text and one of three sets of
// bitmap buttons, answered with a result code. Every error, warning, question
// and report goes through ShowMessage.
#include "engine/message_box.h"
#include "ui/template_dialog.h"
#include "ui/tooltip_ctrl.h"

class QLabel;

namespace ui {

class CBitmapButton;

class CMessageDialog : public CTemplateDialog {
  Q_OBJECT

 public:
  explicit CMessageDialog(QWidget* parent = nullptr);

  // Copies the text and the caption at once (nullptr: none), cut to fit the
  // buffers at a character boundary, and takes the type code.
  void SetMessage(const char* text, const char* caption, int type);

  // The icon bit whose icon the box shows (1, 2, 4 or 8), 0 for none.
  int IconBit() const { return m_nIconBit; }

  CBitmapButton* m_btnCheckAgain = nullptr;  // 6
  CBitmapButton* m_btnContinue = nullptr;    // 7
  CBitmapButton* m_btnRetry = nullptr;       // 4
  CBitmapButton* m_btnCancel = nullptr;      // 2
  CBitmapButton* m_btnOk = nullptr;          // 1
  char m_szCaption[256] = "";
  char m_szText[1024] = "";
  bool m_bHasText = false;
  bool m_bHasCaption = false;
  int m_nType = 0;
  QLabel* m_icon = nullptr;  // 1060
  CToolTipCtrl m_tooltip;

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id) override;
  void OnOK() override;

 private:
  // A text that does not fit the template's box widens the box and the
  // window (up to two thirds of the screen), then makes them taller.
  void FitToText();

  int m_nIconBit = 0;
};

// Shows the message box and returns the result of the button pressed: 1 OK,
// 2 Cancel (also Escape and the close box), 4 Retry (also Enter in a box with
// bit 0x20), 6 Check again, 7 Continue checking; -1 when the box cannot be
// made (no QApplication). The type code combines the icon bits 1, 2, 4, 8
// with the button set bit 0x10 or 0x20 (see engine::MessageType). text and
// caption may be nullptr (empty text area; the caption "Torvex").
//
// The box belongs to `owner`, the window that asks (nullptr: the main
// window, see SetMainWindow): it is centred over it and stays above it,
// whatever window of whatever program is active at the time.
//
// Any thread may call it. On the UI thread the box runs at once; from another
// thread it runs on the UI thread while the caller waits for the answer. Once
// the application is quitting, the answer is 2 without a box.
int ShowMessage(const char* text, const char* caption, int type, QWidget* owner = nullptr);

// The window that owns the message boxes asked for without an owner: the
// main window while it exists (nullptr: none; a box then has no owner).
void SetMainWindow(QWidget* window);
QWidget* MainWindow();

}  // namespace ui

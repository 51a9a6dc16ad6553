#pragma once
// The program's help viewer: a window of our own over the help file that lies
// beside the program (or in the installed data folder), named after the
// program file with ".hlp". Windows ask it for the topic finder, a topic by
// number, or the pop-up of a control's context id, and close it when the
// program ends.
#include <cstdint>
#include <string>

class QWidget;

namespace ui {

enum HelpCommand : unsigned {
  kHelpContext = 1,        // data: topic number (0x20000 + template id for a window)
  kHelpQuit = 2,           // closes the viewer; data 0
  kHelpContextPopup = 8,   // data: a control's context id; shown beside the control or the mouse
  kHelpFinder = 11,        // the list of topics; data 0
};

// The context id of a control of a dialog: the top bit set, the dialog's
// template id in the next 15 bits and the control id in the low 16 bits.
constexpr uint32_t HelpContextId(int dialogId, int controlId) {
  return 0x80000000u | (static_cast<uint32_t>(dialogId & 0x7FFF) << 16) | (static_cast<uint32_t>(controlId) & 0xFFFFu);
}
// The topic of a window, for F1.
constexpr uint32_t HelpTopicOfWindow(int templateId) { return 0x20000u + static_cast<uint32_t>(templateId); }

// Carries out a help command for a window (the viewer's owner; may be
// nullptr). Returns false when the command could not be carried out; the
// viewer has then told the user why (a missing help file), and the caller
// does nothing further. UI thread only.
//
// kHelpFinder and kHelpContext open the one viewer window of the program, or
// raise it; a topic number the file does not have opens the finder. The
// viewer stays usable while a modal dialog is open. kHelpContextPopup shows
// the pop-up beside the mouse when it rests on the control of that id in
// `window`, otherwise below the control (or beside the mouse when `window`
// has no such control); context id 0 shows nothing. Every call reads the help
// file afresh.
bool WinHelp(QWidget* window, unsigned command, uint32_t data);

// The help file WinHelp reads. A bare name is looked up beside the program,
// then in the installed data folder; a path is taken as it is. Empty, the
// default: the program file's name with ".hlp" ("torvex.hlp").
void SetHelpFile(const std::string& name);
std::string HelpFileName();

// The viewer window while it is open, and the number of the topic it shows;
// the pop-up while it is up. nullptr / 0 otherwise.
QWidget* HelpViewerWindow();
uint32_t HelpViewerTopic();
QWidget* HelpPopupWindow();

}  // namespace ui

#pragma once
// The dialog templates of the program's windows, as data: each window's size,
// caption and style, and its controls with id, kind, rectangle in dialog units,
// style notes and template caption. ui/dialog_builder.h turns a template into
// widgets. Plain C++ (no Qt).
#include <span>

namespace res {

// Template ids.
enum DialogId : int {
  kDialogAbout = 100,
  kDialogMain = 102,
  kDialogOptions = 130,
  kDialogCredits = 133,
  kDialogWebPage = 140,
  kDialogMessage = 202,
  kDialogLanguage = 230,
  kDialogFolderBrowser = 231,
  kDialogRescue = 240,
};

// The id of controls that the code never addresses (unnamed labels, frames).
inline constexpr int kNoId = -1;

// A rectangle in dialog units: left, top, width, height.
struct DluRect {
  int x, y, width, height;
};

enum class ControlKind {
  kBitmapButton,  // push button drawn from the image set its caption names
  kGroupBox,      // frame with a title
  kText,          // static text
  kIcon,          // static control that shows an icon (sized by the icon)
  kPicture,       // static control that shows the bitmap its caption names
  kCheckBox,
  kRadioButton,
  kEdit,
  kDropDownList,  // the height is that of the open list
  kListView,      // report-mode list with column headers
  kTreeView,
  kProgressBar,
  kSlider,
  kBrowser,       // area of the hosted web page view
};

// Style notes of a control.
enum ControlStyle : unsigned {
  kTabStop = 1u << 0,
  kHidden = 1u << 1,         // not visible at start
  kDisabled = 1u << 2,       // disabled at start
  kGroup = 1u << 3,          // starts a group (ends the radio group before it)
  kAlignCenter = 1u << 4,
  kAlignRight = 1u << 5,
  kNoWrap = 1u << 6,         // static text on one line, cut at the right
  kSunken = 1u << 7,         // sunken edge
  kTransparent = 1u << 8,
  kNoPrefix = 1u << 9,       // '&' is shown, not taken as a mnemonic
  kDigitsOnly = 1u << 10,
  kAutoHScroll = 1u << 11,
  kVScroll = 1u << 12,
  kTickMarks = 1u << 13,
  kSingleSelection = 1u << 14,
  kNoSortHeader = 1u << 15,  // column headers cannot be clicked
  kTreeLines = 1u << 16,     // expand buttons and lines, none at the root
  kShowSelectionAlways = 1u << 17,
  kTrackSelect = 1u << 18,   // hot tracking
  kFullRowSelect = 1u << 19,
  kNoDragDrop = 1u << 20,
  kBorder = 1u << 21,
};

struct ControlTemplate {
  int id;  // kNoId for unnamed controls
  ControlKind kind;
  DluRect rect;
  unsigned style;
  // The template's text: the image set of a bitmap button, the resource of a
  // picture, a placeholder for labels whose text the window sets.
  const char* caption;
  // The text pair the window sets as the caption of the control, or for a
  // bitmap button as its tooltip; 0 when none.
  int textId;
};

// Style notes of a dialog.
enum DialogStyle : unsigned {
  kCaptionBar = 1u << 0,
  kSystemMenu = 1u << 1,   // the caption bar's close box
  kMinimizeBox = 1u << 2,
  kMaximizeBox = 1u << 3,
  kContextHelp = 1u << 4,  // the caption bar's help button
  kModalFrame = 1u << 5,
  kResizable = 1u << 6,    // sizing border; every other window has a fixed size
  kToolCaption = 1u << 7,  // small tool-window caption
  kAppWindow = 1u << 8,    // a top-level window of its own on the task bar
  kVisible = 1u << 9,
  kCentred = 1u << 10,     // centred on the screen
};

struct DialogTemplate {
  int id;
  const char* caption;
  int width, height;  // client area, dialog units
  unsigned style;
  // The font the dialog units are measured with; on Linux the application's
  // default font stands in for it.
  const char* fontName;
  int pointSize;
  std::span<const ControlTemplate> controls;  // in tab order

  // The first control with this id, or nullptr.
  const ControlTemplate* Find(int controlId) const;
};

// The template with this id, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

// Every template, by rising id.
std::span<const DialogTemplate> AllDialogTemplates();

}  // namespace res

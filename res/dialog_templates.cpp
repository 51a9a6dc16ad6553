// The templates of every window. Rectangles are left, top, width, height in
// dialog units; controls are listed in tab order. Label captions are the
// Russian placeholders the windows replace from the text table when they open.
#include "res/dialog_templates.h"

#include <algorithm>
#include <iterator>

namespace res {
namespace {

using K = ControlKind;
constexpr const char* kFont = "MS Sans Serif";

// Main window.
constexpr ControlTemplate kMain[] = {
    {1001, K::kListView, {2, 84, 353, 79}, kTabStop | kSingleSelection | kNoSortHeader | kSunken, "", 0},
    {1109, K::kGroupBox, {0, 74, 358, 91}, 0, "Статистика", 131},
    {1089, K::kGroupBox, {0, 34, 126, 38}, 0, "Прогресс", 121},
    {1004, K::kProgressBar, {28, 46, 69, 8}, 0, "", 0},
    {1005, K::kProgressBar, {28, 57, 69, 8}, 0, "", 0},
    {1080, K::kText, {4, 46, 21, 8}, 0, "Файл:", 125},
    {1083, K::kText, {4, 57, 21, 8}, 0, "Диск:", 127},
    {1090, K::kGroupBox, {128, 34, 230, 38}, 0, "Текущий", 123},
    {1084, K::kText, {131, 44, 21, 8}, 0, "Файл:", 125},
    {1085, K::kText, {131, 57, 21, 8}, 0, "Путь:", 129},
    {1110, K::kText, {264, 44, 21, 8}, 0, "Диск:", 127},
    {1050, K::kBitmapButton, {7, 7, 30, 13}, kTabStop, "START", 17},
    {1063, K::kBitmapButton, {37, 7, 30, 13}, kTabStop | kDisabled, "SKIP", 21},
    {1053, K::kBitmapButton, {67, 7, 30, 13}, kTabStop, "OPTION", 23},
    {1009, K::kText, {99, 46, 23, 8}, 0, "", 0},
    {1010, K::kText, {99, 57, 23, 8}, 0, "", 0},
    {1055, K::kBitmapButton, {97, 7, 30, 13}, kTabStop, "EXIT", 25},
    {32790, K::kBitmapButton, {143, 7, 30, 13}, kTabStop, "ABOUT", 27},
    {1064, K::kBitmapButton, {7, 7, 30, 13}, kTabStop | kHidden, "STOP", 19},
    {1091, K::kGroupBox, {213, 2, 82, 32}, 0, "Время", 117},
    {1086, K::kText, {219, 11, 30, 8}, 0, "Прошло:", 133},
    {1087, K::kText, {219, 22, 38, 8}, 0, "Требуется:", 135},
    {1071, K::kText, {259, 11, 33, 8}, 0, "", 0},
    {1072, K::kText, {259, 22, 33, 8}, 0, "", 0},
    {1092, K::kGroupBox, {297, 2, 60, 32}, 0, "Скорость", 119},
    {1074, K::kText, {300, 11, 53, 8}, kAlignCenter, "", 0},
    {1088, K::kText, {300, 22, 53, 8}, kAlignCenter, "Кб/сек", 137},
    {1006, K::kText, {155, 43, 106, 12}, kSunken | kNoWrap, "", 0},
    {1073, K::kText, {286, 43, 69, 12}, kSunken | kNoWrap, "", 0},
    {1007, K::kText, {155, 57, 200, 12}, kSunken | kNoWrap, "", 0},
    {1078, K::kBitmapButton, {116, 35, 9, 9}, kTransparent, "X", 29},
    {1079, K::kBitmapButton, {348, 35, 9, 9}, kTransparent, "X", 29},
    {1081, K::kBitmapButton, {285, 3, 9, 9}, kTransparent, "X", 29},
    {1082, K::kBitmapButton, {347, 3, 9, 9}, kTransparent, "X", 29},
    {1093, K::kBitmapButton, {348, 75, 9, 9}, kTransparent, "CL", 31},
    {1094, K::kBitmapButton, {173, 7, 30, 13}, kTabStop, "HELP", 33},
};

// Options dialog.
constexpr ControlTemplate kOptions[] = {
    {1067, K::kGroupBox, {7, 7, 146, 32}, 0, "Устройство", 81},
    {1014, K::kDropDownList, {13, 19, 134, 85}, kTabStop | kVScroll, "", 0},
    {1104, K::kGroupBox, {157, 7, 73, 32}, 0, "Время задержки", 83},
    {1015, K::kEdit, {163, 18, 35, 14}, kTabStop | kDigitsOnly | kBorder, "", 0},
    {1105, K::kText, {201, 20, 15, 8}, 0, "сек.", 85},
    {1124, K::kGroupBox, {7, 40, 223, 35}, 0, "Начальная папка", 175},
    {1125, K::kEdit, {13, 52, 184, 14}, kTabStop | kAutoHScroll | kBorder, "", 0},
    {1126, K::kBitmapButton, {203, 49, 30, 14}, kTabStop, "BROWSE", 173},
    {1128, K::kBitmapButton, {221, 41, 9, 9}, 0, "CL", 177},
    {kNoId, K::kGroupBox, {7, 76, 223, 117}, 0, "", 0},
    {1016, K::kCheckBox, {13, 86, 186, 10}, kTabStop, "Показывать только устройства CD-ROM", 87},
    {1017, K::kCheckBox, {13, 97, 188, 10}, kTabStop, "Исследование дерева папок перед проверкой", 89},
    {1021, K::kCheckBox, {26, 108, 203, 10}, kTabStop, "Возможность возобновления проверки CD-ROM диска", 91},
    {1018, K::kCheckBox, {13, 119, 113, 10}, kTabStop, "Ускоренная проверка диска", 93},
    {1019, K::kCheckBox, {13, 131, 80, 10}, kTabStop, "Звуковые сигналы", 95},
    {1069, K::kCheckBox, {26, 142, 140, 10}, kTabStop, "Использовать динамик компьютера", 97},
    {1022, K::kCheckBox, {13, 153, 140, 10}, kTabStop, "Создание файла отчета (Torvex.log)", 99},
    {1023, K::kRadioButton, {26, 165, 110, 10}, kTabStop | kGroup, "Дописывать в конец файла", 101},
    {1024, K::kRadioButton, {26, 177, 176, 10}, 0, "Перезаписывать файл при запуске программы", 103},
    {1106, K::kGroupBox, {7, 197, 115, 42}, 0, "Приоритет при проверке", 105},
    {1096, K::kSlider, {13, 207, 106, 17}, kTabStop | kTickMarks, "", 0},
    {1107, K::kText, {13, 228, 26, 8}, 0, "Низкий", 107},
    {1108, K::kText, {85, 228, 31, 8}, kAlignRight, "Высокий", 109},
    {1099, K::kGroupBox, {127, 197, 103, 42}, 0, "Язык", 111},
    {1097, K::kRadioButton, {136, 210, 77, 10}, kTabStop | kGroup, "Русский / Russian", 113},
    {1098, K::kRadioButton, {136, 223, 86, 10}, 0, "Английский / English", 115},
    {1, K::kBitmapButton, {78, 246, 30, 14}, kTabStop, "OK", 1},
    {2, K::kBitmapButton, {129, 246, 30, 14}, kTabStop, "CANCEL", 3},
};

// About dialog.
constexpr ControlTemplate kAbout[] = {
    {kNoId, K::kText, {111, 13, 27, 8}, kNoWrap | kNoPrefix, "Torvex", 0},
    {1077, K::kPicture, {19, 15, 33, 31}, kSunken, "212", 0},
    {1120, K::kText, {65, 24, 118, 8}, kAlignCenter, "", 0},
    {kNoId, K::kText, {73, 39, 96, 8}, kAlignCenter, "(c) Quillon, 2003", 0},
    {1129, K::kText, {36, 49, 170, 8}, kAlignCenter, "", 0},
    {1130, K::kText, {36, 58, 170, 8}, kAlignCenter, "", 0},
    {kNoId, K::kText, {95, 67, 54, 8}, kAlignCenter, "tel. 555-0100", 0},
    {1102, K::kText, {52, 82, 143, 10}, kAlignCenter, "Домашняя страница программы Torvex:", 75},
    {1122, K::kText, {36, 92, 170, 8}, kAlignCenter, "", 0},
    {1, K::kBitmapButton, {215, 14, 32, 14}, kTabStop, "OK", 1},
    {1035, K::kBitmapButton, {215, 82, 32, 14}, kTabStop, "URL", 51},
};

// Credits window (opened from the About picture). Its names and contacts are
// set from the text table; the author's contact is the template's own text.
constexpr ControlTemplate kCredits[] = {
    {1111, K::kText, {26, 7, 43, 8}, kAlignRight, "Разработка:", 139},
    {1114, K::kText, {78, 7, 75, 8}, 0, "", 145},
    {kNoId, K::kText, {164, 7, 54, 8}, 0, "tel. 555-0100", 0},
    {1112, K::kText, {18, 22, 51, 8}, kAlignRight, "Тестирование:", 141},
    {1115, K::kText, {78, 22, 86, 42}, 0, "", 147},
    {1121, K::kText, {164, 22, 54, 42}, 0, "", 169},
    {1113, K::kText, {7, 69, 62, 8}, kAlignRight, "Благодарности:", 143},
    {1116, K::kText, {78, 69, 86, 16}, 0, "", 149},
    {1117, K::kText, {164, 69, 54, 16}, 0, "", 185},
};

// Web page window.
constexpr ControlTemplate kWebPage[] = {
    {1, K::kBitmapButton, {309, 7, 28, 14}, kTabStop, "OK", 65},
    {1036, K::kBrowser, {7, 7, 290, 176}, kTabStop, "", 0},
    {1033, K::kBitmapButton, {309, 29, 28, 14}, kTabStop, "REFRESH", 67},
};

// Message box.
constexpr ControlTemplate kMessage[] = {
    {4, K::kBitmapButton, {57, 48, 32, 14}, kTabStop | kHidden, "RETRY", 5},
    {2, K::kBitmapButton, {119, 48, 32, 14}, kTabStop | kHidden, "CANCEL", 3},
    {1, K::kBitmapButton, {88, 48, 32, 14}, kTabStop, "OK", 1},
    {1060, K::kIcon, {7, 16, 21, 20}, 0, "", 0},
    {1061, K::kText, {36, 13, 173, 33}, 0, "", 0},
    {6, K::kBitmapButton, {57, 48, 32, 14}, kTabStop | kHidden, "RETRY", 7},
    {7, K::kBitmapButton, {88, 48, 32, 14}, kTabStop | kHidden, "SKIP", 9},
};

// First-run language dialog: fixed English texts, no tooltips.
constexpr ControlTemplate kLanguage[] = {
    {1, K::kBitmapButton, {77, 78, 30, 14}, kTabStop, "OK", 0},
    {kNoId, K::kText, {35, 7, 116, 8}, kAlignCenter | kGroup, "This is the first time you run Torvex.", 0},
    {kNoId, K::kText, {29, 18, 126, 8}, kAlignCenter | kGroup, "Please, choose your interface language", 0},
    {1118, K::kRadioButton, {72, 44, 41, 10}, kTabStop | kGroup, "Russian", 0},
    {1119, K::kRadioButton, {72, 58, 39, 10}, 0, "English", 0},
    {kNoId, K::kText, {38, 28, 110, 8}, kGroup, "(you will be able to change it later):", 0},
};

// Rescue progress: the labels take their texts from the window as the
// rescue goes.
constexpr ControlTemplate kRescue[] = {
    {1201, K::kText, {7, 7, 226, 8}, kNoWrap | kNoPrefix, "", 0},
    {1202, K::kText, {7, 17, 226, 8}, kNoWrap | kNoPrefix, "", 0},
    {1203, K::kText, {7, 31, 226, 8}, kNoWrap | kNoPrefix, "", 0},
    {1204, K::kText, {7, 41, 226, 8}, kNoWrap | kNoPrefix, "", 0},
    {1205, K::kProgressBar, {7, 54, 226, 8}, 0, "", 0},
    {2, K::kBitmapButton, {105, 68, 30, 14}, kTabStop, "CANCEL", 3},
};

// Folder browser.
constexpr ControlTemplate kFolderBrowser[] = {
    {1127, K::kTreeView, {7, 7, 172, 137},
     kTabStop | kBorder | kTreeLines | kShowSelectionAlways | kTrackSelect | kFullRowSelect | kNoDragDrop, "", 0},
    {1, K::kBitmapButton, {52, 153, 30, 14}, kTabStop, "OK", 1},
    {2, K::kBitmapButton, {103, 153, 30, 14}, kTabStop, "CANCEL", 3},
};

constexpr DialogTemplate kTemplates[] = {
    {kDialogAbout, "О программе Torvex", 262, 154, kCaptionBar | kSystemMenu | kModalFrame | kVisible, kFont, 8,
     kAbout},
    {kDialogMain, "Torvex", 358, 165,
     kCaptionBar | kSystemMenu | kMinimizeBox | kAppWindow | kVisible | kCentred, kFont, 8, kMain},
    {kDialogOptions, "Параметры", 237, 273, kCaptionBar | kSystemMenu | kContextHelp | kModalFrame, kFont, 8,
     kOptions},
    {kDialogCredits, "Quillon's   Torvex Product Team", 225, 92,
     kCaptionBar | kSystemMenu | kToolCaption | kModalFrame, kFont, 8, kCredits},
    {kDialogWebPage, "Torvex в WWW", 344, 190, kCaptionBar | kSystemMenu | kResizable | kMaximizeBox, kFont, 8,
     kWebPage},
    {kDialogMessage, "Torvex", 216, 73, kCaptionBar | kSystemMenu | kModalFrame, kFont, 8, kMessage},
    {kDialogLanguage, "Torvex v2.03", 186, 105, kCaptionBar | kModalFrame, kFont, 8, kLanguage},
    {kDialogFolderBrowser, "Обзор папок", 186, 181, kCaptionBar | kSystemMenu | kContextHelp | kModalFrame, kFont,
     8, kFolderBrowser},
    {kDialogRescue, "Torvex", 240, 88, kCaptionBar | kSystemMenu, kFont, 8, kRescue},
};

}  // namespace

const ControlTemplate* DialogTemplate::Find(int controlId) const {
  const auto it = std::find_if(controls.begin(), controls.end(),
                               [controlId](const ControlTemplate& c) { return c.id == controlId; });
  return it == controls.end() ? nullptr : &*it;
}

const DialogTemplate* FindDialogTemplate(int id) {
  const auto it = std::find_if(std::begin(kTemplates), std::end(kTemplates),
                               [id](const DialogTemplate& t) { return t.id == id; });
  return it == std::end(kTemplates) ? nullptr : &*it;
}

std::span<const DialogTemplate> AllDialogTemplates() { return kTemplates; }

}  // namespace res

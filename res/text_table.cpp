// The text table: Russian under the odd id, English under the even id of
// each pair. Texts are UTF-8 and at most 255 bytes each. Ids 145 to 150,
// 169, 170, 185 and 186 are the credits window's names and contacts.
#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "res/text_table.h"

namespace res {

std::atomic<int> InterfaceLanguage{0};

namespace {

struct TextPair {
  int id;  // odd
  const char* russian;
  const char* english;
};

constexpr TextPair kTexts[] = {
    {1, "OK",
     "OK"},
    {3, "Отмена",
     "Cancel"},
    {5, "Повтор",
     "Retry"},
    {7, "Проверить заново",
     "Check again"},
    {9, "Проверить с места остановки",
     "Continue checking"},
    {11, "Не обнаружено ни одного устройства CD-ROM.\nОтключите опцию 'Показывать только устройства CD-ROM'\nи выберите устройство вручную.",
     "No CD-ROM device found.\nUncheck 'Show CD-ROM devices only' option\nand choose device manually."},
    {13, "Параметры (во время проверки)",
     "Options (cheking in progress)"},
    {15, "Не хватает памяти",
     "Not enough memory"},
    {17, "Начать проверку диска",
     "Start disk checking"},
    {19, "Остановить проверку диска",
     "Stop disk checking"},
    {21, "Пропустить файл",
     "Skip file"},
    {23, "Параметры",
     "Options"},
    {25, "Выход из программы",
     "Quit the ptogram"},
    {27, "Информация о программе",
     "About Torvex"},
    {29, "Выключить окно слежения",
     "Hide info window"},
    {31, "Очистить статистику",
     "Clear statistics"},
    {33, "Справка (F1)",
     "Help (F1)"},
    {35, "Имя файла",
     "File name"},
    {37, "Ошибка",
     "Error"},
    {39, "Позиция (Кб)",
     "Possition (Kb)"},
    {41, "Полный путь к файлу",
     "Full path"},
    {43, "Не выбрано устройство для проверки.\nНастройте параметры программы.",
     "No device selected for checking.\nPlease, configure options."},
    {45, "В устройстве отсутствует диск",
     "There is no disk in selected device"},
    {47, "В устройстве находится аудио компакт диск.\nВ текущей версии Torvex проверка AudioCD не реализована.",
     "There is an audio compact disk in your device.\nChecking of AudioCD isn't available in this version of Torvex"},
    {49, "Этот диск уже проверен на %d%%\nВы желаете проверить его занового или с места остановки?",
     "This disk has been checked (%d%%)\nDo you want to start or continue checking?"},
    {51, "На домашнюю страницу",
     "Visit Torvex home page"},
    {53, "Проверка диска завершена полностью\nПроверено файлов: %ld\n",
     "The checking is complete\nFiles checked: %ld\n"},
    {55, "Проверка диска завершена на %d%%\nПроверено файлов: %ld\n",
     "The checking is complete (%d%%)\nFiles checked: %ld\n"},
    {57, "Проверка диска завершена на ? %%\nПроверено файлов:  %ld\n",
     "The checking is complete (? %%)\nFiles checked: %ld\n"},
    {59, "Ошибок на диске не обнаружено",
     "No error were detected"},
    {61, "Файлов с ошибками (чтение/открытие): %ld / %ld",
     "Files with errors (read/open): %ld / %ld"},
    {63, "Включить окно слежения",
     "Show info window"},
    {65, "Закрыть",
     "Close"},
    {67, "Обновить",
     "Refresh"},
    {71, "Версия %d.%d%d",
     "Version %d.%d%d"},
    {73, "О программе Torvex",
     "About Torvex"},
    {75, "Домашняя страница программы Torvex:",
     "Torvex home page:"},
    {79, "Torvex в WWW",
     "Torvex in WWW"},
    {81, "Устройство",
     "Device"},
    {83, "Время задержки",
     "Delay time"},
    {85, "сек.",
     "sec."},
    {87, "Показывать только устройства CD-ROM",
     "Show CD-ROM devices only"},
    {89, "Исследование дерева папок перед проверкой",
     "Browsing folder tree before checking"},
    {91, "Возможность возобновления проверки CD-ROM диска",
     "Ability to restore disk checking (after interrupt)"},
    {93, "Ускоренная проверка диска",
     "Fast disk checking"},
    {95, "Звуковые сигналы",
     "Sounds"},
    {97, "Использовать динамик компьютера",
     "Use internal speaker"},
    {99, "Создание файла отчета (Torvex.log)",
     "Create Log file (Torvex.log)"},
    {101, "Дописывать в конец файла",
     "Append to the existing log file"},
    {103, "Перезаписывать файл при запуске программы",
     "Overwrite log file every time you start program"},
    {105, "Приоритет при проверке",
     "Scan thread priority"},
    {107, "Низкий",
     "Lowest"},
    {109, "Высокий",
     "Highest"},
    {111, "Язык",
     "Language"},
    {113, "Русский / Russian",
     "Russian"},
    {115, "Английский / English",
     "English"},
    {117, "Время",
     "Time"},
    {119, "Скорость",
     "Speed"},
    {121, "Прогресс",
     "Progress"},
    {123, "Текущий",
     "Current"},
    {125, "Файл:",
     "File:"},
    {127, "Диск:",
     "Disk:"},
    {129, "Путь:",
     "Path:"},
    {131, "Статистика",
     "Statictics"},
    {133, "Прошло:",
     "Elapsed:"},
    {135, "Требуется:",
     "Estimated:"},
    {137, "Кб/сек",
     "Kb/sec"},
    {139, "Разработка:",
     "Author:"},
    {141, "Тестирование:",
     "Testers:"},
    {143, "Благодарности:",
     "Special thanks to:"},
    {145, "Олег Веретенников",
     "Oleg Veretennikov"},
    {147, "Ирина Соколова\nДенис Малахов\nАнна Греч",
     "Irina Sokolova\nDenis Malakhov\nAnna Grech"},
    {149, "Поддержка Quillon\nВсе бета-тестеры",
     "Quillon support team\nAll beta testers"},
    {155, "Перезапустите программу, чтобы изменить язык интерфейса.",
     "Please, rerun program to change interface language."},
    {157, "Чтения",
     "Read"},
    {159, "Открытия",
     "Open"},
    {161, "Пропущен",
     "Skipped"},
    {163, "Нет памяти",
     "No Memory"},
    {165, "*** Новый диск ***",
     "*** New Disk ***"},
    {167, "Анализ...",
     "Analysing..."},
    {169, "тел. 555-0141\nтел. 555-0178\nтел. 555-0192",
     "tel. 555-0141\ntel. 555-0178\ntel. 555-0192"},
    {171, "Устройства",
     "Devices"},
    {173, "Обзор дерева папок",
     "Browse folder tree"},
    {175, "Начальная папка",
     "Start folder"},
    {177, "Очистить поле ввода",
     "Clear the entered path"},
    {179, "Обзор папок",
     "Folder browser"},
    {181, "Проверка завершена",
     "Torvex check finished"},
    {183, "Обнаружен сохраненный диск",
     "Torvex disk restore"},
    {185, "тел. 555-0100",
     "tel. 555-0100"},
    {187, "Диск в выбранном устройстве не смонтирован.\nСмонтируйте его и повторите попытку",
     "The disk in selected device is not mounted.\nPlease, mount it and try again"},
    {189, "Корневая папка диска не открывается или не читается.\nДиск повреждён, или нет прав доступа",
     "The root folder of the disk cannot be opened or listed.\nThe disk is damaged, or access is denied"},
    {191, "Устройство диска %s перестало отвечать: чтение не завершается.\nПроверка остановлена",
     "The device of drive %s does not answer any more: reads do not return.\nThe checking has been stopped"},
    {193, "Не удаётся открыть файл справки:\n%s",
     "Cannot open the help file:\n%s"},
    {195, "Не удаётся записать файл протокола \"%s\": %s.\nПроверка продолжается, запись будет повторяться",
     "The log file \"%s\" cannot be written: %s.\nThe checking goes on; the program keeps trying to write it"},
    {197, "Не удаётся записать файл \"%s\": %s.\nПроверка продолжается, но её ход может не запомниться",
     "The disk info file \"%s\" cannot be written: %s.\nThe checking goes on, but how far it gets may not be remembered"},
    {199, "это символическая ссылка, через неё программа не пишет",
     "it is a symbolic link, and the program never writes through one"},
    {201, "это не обычный файл (папка, канал или устройство)",
     "it is not a regular file (a folder, a pipe or a device)"},
    {203, "на диске нет места",
     "the disk is full"},
    {205, "доступ запрещён (диск только для чтения или защищённый файл)",
     "access is denied (a read-only disk or a protected file)"},
    {207, "система отказала в записи",
     "the system refused to write it"},
    {209, "Файл настроек \"%s\" повреждён: непрочитанные параметры сброшены.\nПовреждённый файл сохранён как \"%s\"",
     "The settings file \"%s\" is damaged: the options that could not be read were reset.\nThe damaged file is kept as \"%s\""},
    {211, "Спасти этот файл…",
     "Rescue this file…"},
    {213, "Спасти все файлы с ошибками чтения…",
     "Rescue all files with read errors…"},
    {215, "Копировать",
     "Copy"},
    {217, "Открыть папку",
     "Open the folder"},
    {219, "Куда сохранить спасённые файлы",
     "Where to put the rescued files"},
    {221, "Спасённые файлы нельзя записывать на читаемый диск.\nВыберите папку на другом диске",
     "The rescued files cannot be written to the disk being read.\nPlease, choose a folder on another disk"},
    {223, "Папка \"%s\" не существует",
     "The folder \"%s\" does not exist"},
    {225, "Torvex: спасение файлов",
     "Torvex Rescue"},
    {227, "Проход %s из %s",
     "Pass %s of %s"},
    {229, "Спасено: %s   Не хватает: %s",
     "Recovered: %s   Still missing: %s"},
    {231, "Файл %s из %s:",
     "File %s of %s:"},
    {233, "Спасение файлов закончено.",
     "The rescue is finished."},
    {235, "Спасение прервано. Прочитанное сохранено под временными именами; запустите спасение снова, чтобы продолжить.",
     "The rescue was cancelled. What was read is kept under temporary names; start the rescue again to go on."},
    {237, "Скопировано целиком: %s",
     "Copied whole: %s"},
    {239, "Скопировано частично: %s (нечитаемые места заполнены нулями и перечислены в файле .rescue-map рядом с копией)",
     "Copied in part: %s (the unreadable places are zeros and are listed in a .rescue-map file beside each copy)"},
    {241, "Не открылись: %s",
     "Could not be opened: %s"},
    {243, "Не записаны: %s",
     "Could not be written: %s"},
    {245, "Не обработаны: %s",
     "Not done: %s"},
    {247, "Оставлены как есть (в папке уже есть другой файл с тем же именем): %s",
     "Left alone (another file of that name is already there): %s"},
    {249, "%s: не хватает %s байт (%s)",
     "%s: %s bytes missing (%s)"},
    {251, "Копии не удаётся записать в \"%s\": %s.\nСпасение остановлено",
     "The copies cannot be written to \"%s\": %s.\nThe rescue has been stopped"},
    {253, "Диск сейчас проверяется. Дождитесь конца проверки или остановите её",
     "The disk is being checked now. Wait for the check to end or stop it"},
    {255, "С этого диска сейчас спасаются файлы. Дождитесь конца или прервите спасение",
     "Files are being rescued from this disk now. Wait for the rescue to end or cancel it"},
    {257, "Спасать нечего: в списке нет файлов с ошибками чтения",
     "Nothing to rescue: the list holds no file with a read error"},
    {259, "…и ещё %s",
     "…and %s more"},
    {261, "с %s, %s байт",
     "at %s, %s bytes"},
    {263, "\u00a0",
     ","},
    {265, "Устройство диска %s перестало отвечать: чтение не завершается.\nСпасение файлов остановлено",
     "The device of drive %s does not answer any more: reads do not return.\nThe rescue has been stopped"},
    {267, "%s: на месте папки \"%s\" в папке назначения стоит символическая ссылка, через неё программа не пишет",
     "%s: \"%s\" in the destination is a symbolic link where a folder should be, and the program never writes through one"},
    {269, "%s: на месте папки \"%s\" в папке назначения стоит файл",
     "%s: \"%s\" in the destination is a file where a folder should be"},
    {271, "%s: такое имя не может стоять в папке назначения",
     "%s: this name cannot stand in the destination folder"},
    {273, "Пропущено файлов, проверенных прошлой проверкой: %ld\n",
     "Files passed over, checked by an earlier run: %ld\n"},
    {275, "В файлах, прочитанных этой проверкой, ошибок не обнаружено",
     "No error were detected in the files read by this run"},
    {277, "Серийный номер диска нельзя прочитать без доступа к его устройству.\nДиск будет проверен, но ход проверки не запомнится",
     "The serial number of the disk cannot be read without access to its device.\nThe disk is checked, but how far the check gets is not remembered"},
};

constexpr bool SortedOddIds() {
  for (std::size_t i = 0; i < std::size(kTexts); ++i) {
    if (kTexts[i].id % 2 != 1 || kTexts[i].id < kFirstTextId || kTexts[i].id > kLastTextId) return false;
    if (i > 0 && kTexts[i - 1].id >= kTexts[i].id) return false;
  }
  return true;
}
static_assert(SortedOddIds(), "text pairs must be listed by rising odd id");

// Each thread has its own cache, so that a lookup on the check thread never
// replaces the text the UI thread is about to copy, and the other way round.
thread_local int t_lastId = 0;
thread_local char t_buffer[kTextBufferSize] = "";

}  // namespace

const char* TextResource(int resourceId) {
  if (resourceId < kFirstTextId || resourceId > kLastTextId + 1) return nullptr;
  const int pairId = resourceId - 1 + resourceId % 2;  // the odd id of the pair
  const auto* it = std::lower_bound(std::begin(kTexts), std::end(kTexts), pairId,
                                    [](const TextPair& p, int id) { return p.id < id; });
  if (it == std::end(kTexts) || it->id != pairId) return nullptr;
  return resourceId % 2 == 1 ? it->russian : it->english;
}

const char* LoadText(int id) {
  if (id == t_lastId) return t_buffer;
  t_lastId = id;
  // Ids outside the table give the empty text; checking the range first also
  // keeps id + 1 from overflowing.
  const char* text = nullptr;
  if (id >= kFirstTextId && id <= kLastTextId) {
    text = TextResource(InterfaceLanguage.load() != 0 ? id + 1 : id);
  }
  if (text == nullptr) text = "";
  const std::size_t length = std::min(std::strlen(text), static_cast<std::size_t>(kTextBufferSize - 1));
  std::memcpy(t_buffer, text, length);
  t_buffer[length] = '\0';
  return t_buffer;
}

std::string LoadTextCopy(int id) { return LoadText(id); }

}  // namespace res

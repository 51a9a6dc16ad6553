#pragma once
// What the log file and the disk info file share: the folder they live in and
// the text-mode line ends of their text parts.
#include <string>
#include <string_view>

namespace records {

// The folder with a separator at its end ("/" is left as it is, and an
// empty folder stays empty: no folder is known).
std::string FolderWithSeparator(std::string_view folder);

// The text as a text-mode stream writes it: every line feed becomes CR LF.
std::string WithCrLf(std::string_view text);

}  // namespace records

#pragma once
// Loading and saving the options: the 16-byte value "Options" and the string
// "Path" under the program's registry key, plus the values the main window
// keeps beside the Settings record.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "engine/settings.h"

namespace records {

// The program's key; its subkey "Drives" pins drive letters.
inline constexpr std::string_view kProgramKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203";

using OptionBytes = std::array<uint8_t, 16>;

// The stored form of the options: bools as 0 or 1, numbers as their low
// byte, byte 14 always 0xFF, byte 15 the service pack.
OptionBytes EncodeOptions(const engine::Settings& settings);
// Back into the fields: bytes 9 and 10 give -1 for 0xFF; byte 11 gives 1
// when not 0; byte 14 is ignored. No range checks.
void DecodeOptions(const OptionBytes& bytes, engine::Settings& settings);

// The options and what the main window keeps beside them.
class SettingsStore {
 public:
  explicit SettingsStore(platform::Registry& registry);

  // programFolder from the current directory; called before LoadSettings.
  void TakeProgramFolder();

  // Defaults, then the registry. Creating the key on a first start stores
  // the defaults and "Path" and sets firstRun. A key that cannot be opened
  // or created leaves the defaults (and no first run).
  void LoadSettings();
  // Writes "Options" and "Path"; nothing when the key cannot be opened.
  void SaveSettings();

  // An optional text value of the key ("AddrEMail", "AddrURLas",
  // "AddrURLhp"), read only when the key already existed; nothing when it is
  // missing or longer than bufferSize bytes with its terminating zero.
  std::optional<std::string> ReadText(std::string_view name, uint32_t bufferSize);

  std::shared_ptr<engine::Settings> settings = std::make_shared<engine::Settings>();
  bool firstRun = false;
  // The settings file was damaged when it was loaded: what could not be read
  // went back to its default, and the damaged file was kept beside it.
  bool settingsReset = false;
  // The current directory at start: home of the log and disk info files.
  std::string programFolder;

  // The settings file and the copy of a damaged one, for telling the user.
  std::string SettingsFile() const;
  std::string DamagedCopy() const;

 private:
  platform::Registry& registry_;
};

}  // namespace records

#include "records/settings_store.h"

#include <vector>

#include "platform/file_io.h"

namespace records {
namespace {

uint8_t Flag(bool b) { return b ? 1 : 0; }
uint8_t LowByte(int v) { return static_cast<uint8_t>(v & 0xFF); }
int Signed(uint8_t b) { return b == 0xFF ? -1 : b; }

}  // namespace

OptionBytes EncodeOptions(const engine::Settings& s) {
  return OptionBytes{Flag(s.showCdromOnly), Flag(s.createLog),     LowByte(s.logMode),     Flag(s.resumeEnabled),
                     Flag(s.sounds),        Flag(s.internalSpeaker), Flag(s.fastCheck),    Flag(s.preScan),
                     LowByte(s.delaySeconds), LowByte(s.driveListIndex), LowByte(s.drive), Flag(s.cdromTarget),
                     LowByte(s.priority),   LowByte(s.language),   0xFF,                   LowByte(s.servicePack)};
}

void DecodeOptions(const OptionBytes& b, engine::Settings& s) {
  s.showCdromOnly = b[0] != 0;
  s.createLog = b[1] != 0;
  s.logMode = b[2];
  s.resumeEnabled = b[3] != 0;
  s.sounds = b[4] != 0;
  s.internalSpeaker = b[5] != 0;
  s.fastCheck = b[6] != 0;
  s.preScan = b[7] != 0;
  s.delaySeconds = b[8];
  s.driveListIndex = Signed(b[9]);
  s.drive = Signed(b[10]);
  s.cdromTarget = b[11] != 0;
  s.priority = b[12];
  s.language = b[13];
  s.servicePack = b[15];
}

SettingsStore::SettingsStore(platform::Registry& registry) : registry_(registry) {}

void SettingsStore::TakeProgramFolder() { programFolder = platform::CurrentDirectory(); }

void SettingsStore::LoadSettings() {
  engine::Settings& s = *settings;
  s = engine::Settings{};
  firstRun = false;
  settingsReset = registry_.KeepIfDamaged();
  OptionBytes buffer = EncodeOptions(s);

  platform::RegistryKey key;
  int disposition = 0;
  if (registry_.CreateKey(kProgramKey, &key, &disposition) != platform::kRegOk) return;
  if (disposition == platform::kRegCreatedNewKey) {
    firstRun = true;
    key.SetBinary("Options", buffer.data(), buffer.size());
    key.SetString("Path", programFolder);
  } else {
    // A shorter value replaces only the first bytes; a longer one gives its
    // first 16.
    uint32_t size = buffer.size();
    key.QueryValue("Options", nullptr, buffer.data(), &size);
    DecodeOptions(buffer, s);
  }
  key.Close();
}

void SettingsStore::SaveSettings() {
  const OptionBytes buffer = EncodeOptions(*settings);
  platform::RegistryKey key;
  if (registry_.CreateKey(kProgramKey, &key, nullptr) != platform::kRegOk) return;
  key.SetBinary("Options", buffer.data(), buffer.size());
  key.SetString("Path", programFolder);
  key.Close();
}

std::string SettingsStore::SettingsFile() const { return registry_.FilePath(); }
std::string SettingsStore::DamagedCopy() const { return registry_.BackupPath(); }

std::optional<std::string> SettingsStore::ReadText(std::string_view name, uint32_t bufferSize) {
  platform::RegistryKey key;
  int disposition = 0;
  if (registry_.CreateKey(kProgramKey, &key, &disposition) != platform::kRegOk) return std::nullopt;
  std::optional<std::string> text;
  if (disposition == platform::kRegOpenedExistingKey) {
    std::vector<char> buffer(bufferSize + 1, '\0');
    uint32_t size = bufferSize;
    // The type is not looked at: the data are taken as a zero-ended text.
    if (key.QueryValue(name, nullptr, buffer.data(), &size) == platform::kRegOk) text = std::string(buffer.data());
  }
  key.Close();
  return text;
}

}  // namespace records

#include "records/settings_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"

namespace records {
namespace {

using testing_support::ReadBytes;
using testing_support::TempTree;
using testing_support::WriteBytes;

std::vector<uint8_t> StoredOptions(platform::Registry& reg) {
  platform::RegistryKey key;
  if (reg.OpenKey(kProgramKey, &key) != platform::kRegOk) return {};
  std::vector<uint8_t> bytes(64);
  uint32_t size = static_cast<uint32_t>(bytes.size());
  if (key.QueryValue("Options", nullptr, bytes.data(), &size) != platform::kRegOk) return {};
  bytes.resize(size);
  return bytes;
}

std::string StoredPath(platform::Registry& reg) {
  platform::RegistryKey key;
  if (reg.OpenKey(kProgramKey, &key) != platform::kRegOk) return "<no key>";
  char buf[300] = {};
  uint32_t size = sizeof buf - 1;
  uint32_t type = 0;
  if (key.QueryValue("Path", &type, buf, &size) != platform::kRegOk || type != platform::kRegSz) return "<no value>";
  return buf;
}

void StoreOptions(platform::Registry& reg, const std::vector<uint8_t>& bytes) {
  platform::RegistryKey key;
  ASSERT_EQ(reg.CreateKey(kProgramKey, &key, nullptr), platform::kRegOk);
  ASSERT_EQ(key.SetBinary("Options", bytes.data(), static_cast<uint32_t>(bytes.size())), platform::kRegOk);
}

TEST(SettingsStoreTest, FirstStartStoresTheDefaultsAndThePath) {
  TempTree t;
  platform::Registry reg(t.Path("registry.reg"));
  SettingsStore store(reg);
  store.programFolder = "/home/user/torvex";
  store.LoadSettings();
  EXPECT_TRUE(store.firstRun);
  EXPECT_EQ(StoredOptions(reg), (std::vector<uint8_t>{0x01, 0x01, 0x02, 0x01, 0x01, 0x00, 0x00, 0x01, 0x05, 0xFF,
                                                      0xFF, 0x00, 0x03, 0x01, 0xFF, 0x00}));
  EXPECT_EQ(StoredPath(reg), "/home/user/torvex");
  const engine::Settings& s = *store.settings;
  EXPECT_EQ(s.drive, -1);
  EXPECT_EQ(s.driveListIndex, -1);
  EXPECT_EQ(s.delaySeconds, 5);
  EXPECT_EQ(s.logMode, engine::kLogOverwrite);

  // The next start finds the key.
  SettingsStore next(reg);
  next.LoadSettings();
  EXPECT_FALSE(next.firstRun);
  EXPECT_EQ(next.settings->priority, 3);
}

TEST(SettingsStoreTest, DecodesStoredBytesWithoutRangeChecks) {
  TempTree t;
  platform::Registry reg(t.Path("registry.reg"));
  StoreOptions(reg, {0, 0, 1, 0, 0, 1, 1, 0, 1, 4, 0xFF, 7, 9, 0, 0x12, 2});
  SettingsStore store(reg);
  store.LoadSettings();
  const engine::Settings& s = *store.settings;
  EXPECT_FALSE(store.firstRun);
  EXPECT_FALSE(s.showCdromOnly);
  EXPECT_EQ(s.logMode, engine::kLogAppend);
  EXPECT_TRUE(s.internalSpeaker);
  EXPECT_TRUE(s.fastCheck);
  EXPECT_FALSE(s.preScan);
  EXPECT_EQ(s.delaySeconds, 1);    // below the Options range, used as stored
  EXPECT_EQ(s.driveListIndex, 4);
  EXPECT_EQ(s.drive, -1);          // 0xFF: no drive
  EXPECT_TRUE(s.cdromTarget);      // 7 loads as 1
  EXPECT_EQ(s.priority, 9);
  EXPECT_EQ(s.language, 0);
  EXPECT_EQ(s.servicePack, 2);
}

TEST(SettingsStoreTest, ShortLongAndMissingOptionsValues) {
  TempTree t;
  platform::Registry reg(t.Path("registry.reg"));
  // Eight bytes set bytes 0 to 7 and leave the defaults for the rest.
  StoreOptions(reg, {0, 0, 1, 0, 0, 1, 1, 0});
  SettingsStore store(reg);
  store.LoadSettings();
  EXPECT_FALSE(store.settings->showCdromOnly);
  EXPECT_FALSE(store.settings->preScan);
  EXPECT_EQ(store.settings->delaySeconds, 5);
  EXPECT_EQ(store.settings->drive, -1);
  EXPECT_EQ(store.settings->priority, 3);
  EXPECT_EQ(store.settings->language, 1);

  // A longer value gives its first 16 bytes.
  StoreOptions(reg, {1, 1, 2, 1, 1, 0, 0, 1, 42, 0, 3, 1, 3, 1, 0xFF, 0, 0x77, 0x77});
  store.LoadSettings();
  EXPECT_EQ(store.settings->delaySeconds, 42);
  EXPECT_EQ(store.settings->drive, 3);

  // The key without "Options": defaults, not a first run.
  WriteBytes(reg.FilePath(), "REGEDIT4\r\n\r\n[" + std::string(kProgramKey) + "]\r\n\"Path\"=\"/x\"\r\n");
  store.LoadSettings();
  EXPECT_FALSE(store.firstRun);
  EXPECT_EQ(store.settings->delaySeconds, 5);
}

TEST(SettingsStoreTest, SavedOptionsComeBackOnTheNextStart) {
  TempTree t;
  platform::Registry reg(t.Path("registry.reg"));
  SettingsStore store(reg);
  store.programFolder = "/first";
  store.LoadSettings();
  engine::Settings& s = *store.settings;
  s.showCdromOnly = false;
  s.logMode = engine::kLogAppend;
  s.sounds = false;
  s.delaySeconds = 99;
  s.driveListIndex = 2;
  s.drive = 25;
  s.cdromTarget = true;
  s.priority = 6;
  s.language = 0;
  store.programFolder = "/second";
  store.SaveSettings();
  EXPECT_EQ(StoredOptions(reg), (std::vector<uint8_t>{0, 1, 1, 1, 0, 0, 0, 1, 99, 2, 25, 1, 6, 0, 0xFF, 0}));
  EXPECT_EQ(StoredPath(reg), "/second");

  SettingsStore next(reg);
  next.LoadSettings();
  EXPECT_EQ(next.settings->drive, 25);
  EXPECT_EQ(next.settings->delaySeconds, 99);
  EXPECT_EQ(next.settings->language, 0);
}

TEST(SettingsStoreTest, MalformedRegistryFileLoadsWhatItCan) {
  TempTree t;
  platform::Registry reg(t.Path("registry.reg"));
  WriteBytes(reg.FilePath(),
             std::string("REGEDIT4\r\n\x01\x02garbage\xff\r\n[") + std::string(kProgramKey) +
                 "]\r\n\"Options\"=hex:00,00,01\r\n\"Path\"=\"unclosed\r\n=== \r\n");
  SettingsStore store(reg);
  store.programFolder = "/p";
  store.LoadSettings();
  EXPECT_FALSE(store.firstRun);
  EXPECT_FALSE(store.settings->showCdromOnly);
  EXPECT_EQ(store.settings->logMode, engine::kLogAppend);
  store.SaveSettings();
  EXPECT_EQ(StoredPath(reg), "/p");
  EXPECT_NE(ReadBytes(reg.FilePath() + ".bak").find("garbage"), std::string::npos);

  // A value with bad digits is a missing value.
  WriteBytes(reg.FilePath(), "REGEDIT4\r\n[" + std::string(kProgramKey) + "]\r\n\"Options\"=hex:00,0g\r\n");
  store.LoadSettings();
  EXPECT_TRUE(store.settings->showCdromOnly);
}

TEST(SettingsStoreTest, RegistryThatCannotBeWrittenLeavesTheDefaults) {
  TempTree t;
  WriteBytes(t.Path("file"), "x");
  platform::Registry reg(t.Path("file/registry.reg"));  // its folder cannot exist
  SettingsStore store(reg);
  store.LoadSettings();
  EXPECT_FALSE(store.firstRun);
  EXPECT_EQ(store.settings->delaySeconds, 5);
  store.settings->delaySeconds = 10;
  store.SaveSettings();  // writes nothing, fails quietly
  EXPECT_EQ(ReadBytes(t.Path("file")), "x");
}

TEST(SettingsStoreTest, AddressTextsAreReadOnlyFromAnExistingKeyAndWhenTheyFit) {
  TempTree t;
  platform::Registry reg(t.Path("registry.reg"));
  SettingsStore store(reg);
  EXPECT_FALSE(store.ReadText("AddrEMail", 64).has_value());  // the key is created now: nothing read

  platform::RegistryKey key;
  ASSERT_EQ(reg.CreateKey(kProgramKey, &key, nullptr), platform::kRegOk);
  key.SetString("AddrEMail", "EMail: someone@example.invalid");
  key.SetString("AddrURLhp", std::string(128, 'u'));  // 129 bytes with its zero
  const uint8_t bin[] = {'h', 'i', 0};
  key.SetBinary("AddrURLas", bin, sizeof bin);  // the type is not looked at

  EXPECT_EQ(store.ReadText("AddrEMail", 64).value_or("<none>"), "EMail: someone@example.invalid");
  EXPECT_FALSE(store.ReadText("AddrURLhp", 128).has_value());
  EXPECT_EQ(store.ReadText("AddrURLhp", 512).value_or("").size(), 128u);
  EXPECT_EQ(store.ReadText("AddrURLas", 128).value_or("<none>"), "hi");
}

}  // namespace
}  // namespace records

#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"

namespace platform {
namespace {

using testing_support::FileExists;
using testing_support::ReadBytes;
using testing_support::TempTree;
using testing_support::WriteBytes;

constexpr std::string_view kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203";

std::string QueryText(const RegistryKey& key, std::string_view name) {
  char buf[512] = {};
  uint32_t size = sizeof buf - 1;
  if (key.QueryValue(name, nullptr, buf, &size) != kRegOk) return "<none>";
  return std::string(buf);
}

TEST(RegistryTest, CreatesKeyAndWritesValuesInExportFormat) {
  TempTree t;
  Registry reg(t.Path("cfg/torvex/registry.reg"));  // folders are made as needed
  RegistryKey key;
  int disposition = 0;
  ASSERT_EQ(reg.CreateKey(kKey, &key, &disposition), kRegOk);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  const uint8_t options[] = {1, 1, 2, 1, 1, 0, 0, 1, 5, 0xFF, 0xFF, 0, 3, 1, 0xFF, 0};
  ASSERT_EQ(key.SetBinary("Options", options, sizeof options), kRegOk);
  ASSERT_EQ(key.SetString("Path", "C:\\Torvex \"x\""), kRegOk);
  key.Close();

  EXPECT_EQ(ReadBytes(reg.FilePath()),
            "REGEDIT4\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203]\r\n"
            "\"Options\"=hex:01,01,02,01,01,00,00,01,05,ff,ff,00,03,01,ff,00\r\n"
            "\"Path\"=\"C:\\\\Torvex \\\"x\\\"\"\r\n");

  RegistryKey again;
  ASSERT_EQ(reg.CreateKey(kKey, &again, &disposition), kRegOk);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  EXPECT_EQ(QueryText(again, "path"), "C:\\Torvex \"x\"");  // names ignore case
  uint8_t back[16] = {};
  uint32_t size = sizeof back;
  uint32_t type = 0;
  ASSERT_EQ(again.QueryValue("Options", &type, back, &size), kRegOk);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(std::memcmp(back, options, 16), 0);
}

TEST(RegistryTest, QueryReportsSizesMissingValuesAndSmallBuffers) {
  TempTree t;
  Registry reg(t.Path("r.reg"));
  RegistryKey key;
  ASSERT_EQ(reg.CreateKey(kKey, &key, nullptr), kRegOk);
  key.SetString("AddrURLhp", "http://example.invalid/torvex");

  uint32_t size = 0;
  ASSERT_EQ(key.QueryValue("AddrURLhp", nullptr, nullptr, &size), kRegOk);
  EXPECT_EQ(size, 30u);  // with the terminating zero

  char small[8] = {};
  size = sizeof small;
  EXPECT_EQ(key.QueryValue("AddrURLhp", nullptr, small, &size), kRegMoreData);
  EXPECT_EQ(size, 30u);
  EXPECT_EQ(std::string(small, 8), "http://e");

  size = sizeof small;
  EXPECT_EQ(key.QueryValue("AddrEMail", nullptr, small, &size), kRegNotFound);

  RegistryKey absent;
  EXPECT_EQ(reg.OpenKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", &absent), kRegNotFound);
  // A key with keys below it exists.
  EXPECT_EQ(reg.OpenKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon", &absent), kRegOk);
}

TEST(RegistryTest, ReadsHandWrittenFilesAndSkipsWhatItCannotRead) {
  const std::string text =
      "\xEF\xBB\xBFREGEDIT4\n"
      "; a comment\n"
      "\"Orphan\"=\"before any key\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203]\n"
      "\"Options\"=hex:01,00,\\\n"
      "    02,03\n"
      "\"Broken\"=hex:01,zz\n"
      "\"Unclosed\"=\"abc\n"
      "\"BadEscape\"=\"a\\nb\"\n"
      "\"Count\"=dword:0000002a\n"
      "\"Multi\"=hex(7):41,00,00,00\n"
      "@=\"default\"\n"
      "garbage line\n"
      "[broken section\n"
      "\"Lost\"=\"after a broken section\"\n"
      "[hkey_local_machine\\software\\quillon\\torvex\\203\\Drives]\n"
      "\"D\"=\"5,/mnt/cd\"\n";
  const RegDocument doc = ParseRegistryText(text);
  EXPECT_EQ(doc.unreadableLines, 7);
  EXPECT_EQ(doc.commentLines, 1);
  ASSERT_EQ(doc.keys.size(), 2u);
  const RegKeyData* k = doc.FindKey(kKey);
  ASSERT_NE(k, nullptr);
  ASSERT_EQ(k->values.size(), 4u);
  EXPECT_EQ(k->values[0].name, "Options");
  EXPECT_EQ(k->values[0].data, (std::vector<uint8_t>{1, 0, 2, 3}));
  EXPECT_EQ(k->values[1].type, kRegDword);
  EXPECT_EQ(k->values[1].data, (std::vector<uint8_t>{42, 0, 0, 0}));
  EXPECT_EQ(k->values[2].type, kRegMultiSz);
  EXPECT_EQ(k->values[3].name, "");
  EXPECT_TRUE(doc.KeyExists(std::string(kKey) + "\\DRIVES"));
}

TEST(RegistryTest, NextSaveKeepsReadableValuesAndBacksUpTheOldFile) {
  TempTree t;
  Registry reg(t.Path("r.reg"));
  const std::string old =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203]\r\n"
      "\"Options\"=hex:01,zz\r\n\"AddrEMail\"=\"EMail: a@b\"\r\nnonsense\r\n";
  WriteBytes(reg.FilePath(), old);
  RegistryKey key;
  int disposition = 0;
  ASSERT_EQ(reg.CreateKey(kKey, &key, &disposition), kRegOk);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  ASSERT_EQ(key.SetString("Path", "/p"), kRegOk);

  EXPECT_EQ(ReadBytes(reg.FilePath() + ".bak"), old);
  EXPECT_EQ(ReadBytes(reg.FilePath()),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203]\r\n"
            "\"AddrEMail\"=\"EMail: a@b\"\r\n\"Path\"=\"/p\"\r\n");
  // A clean file is replaced without a new backup.
  std::remove((reg.FilePath() + ".bak").c_str());
  ASSERT_EQ(key.SetString("Path", "/q"), kRegOk);
  EXPECT_FALSE(FileExists(reg.FilePath() + ".bak"));
}

TEST(RegistryTest, FileThatCannotBeReadIsNeverReplaced) {
  TempTree t;
  // A folder where the file should be: it exists but cannot be read as one.
  t.Folder("r.reg");
  Registry reg(t.Path("r.reg"));
  RegistryKey key;
  EXPECT_EQ(reg.CreateKey(kKey, &key, nullptr), kRegAccessDenied);
  EXPECT_FALSE(key.IsOpen());
  // Nowhere to write at all: the parent is a file.
  WriteBytes(t.Path("plain"), "x");
  Registry nowhere(t.Path("plain/r.reg"));
  EXPECT_NE(nowhere.CreateKey(kKey, &key, nullptr), kRegOk);
}

// Ends the process at the moment of the save it is armed for.
class KillBeforeReplace : public SaveObserver {
 public:
  bool armed = false;
  void BeforeReplace() override {
    if (armed) _exit(7);
  }
};

TEST(RegistryTest, SaveKilledBeforeTheRenameKeepsTheOldFile) {
  TempTree t;
  const auto kill = std::make_shared<KillBeforeReplace>();
  Registry reg(t.Path("r.reg"), kill);
  RegistryKey key;
  ASSERT_EQ(reg.CreateKey(kKey, &key, nullptr), kRegOk);
  ASSERT_EQ(key.SetString("Path", "old"), kRegOk);
  const std::string before = ReadBytes(reg.FilePath());

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    kill->armed = true;  // killed with the new file written
    key.SetString("Path", "new");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 7);
  EXPECT_EQ(ReadBytes(reg.FilePath()), before);
  EXPECT_EQ(QueryText(key, "Path"), "old");

  // The temporary file left behind does not stand in the way of the next save.
  ASSERT_EQ(key.SetString("Path", "newer"), kRegOk);
  EXPECT_EQ(QueryText(key, "Path"), "newer");
}

TEST(RegistryTest, TwoInstancesSavingAtOnceLoseNothing) {
  TempTree t;
  const std::string path = t.Path("r.reg");
  constexpr int kValues = 40;
  std::vector<pid_t> children;
  for (int instance = 0; instance < 2; ++instance) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Registry reg(path);
      RegistryKey key;
      if (reg.CreateKey(kKey, &key, nullptr) != kRegOk) _exit(1);
      for (int i = 0; i < kValues; ++i) {
        const std::string name = "v" + std::to_string(instance) + "_" + std::to_string(i);
        if (key.SetString(name, name) != kRegOk) _exit(2);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  Registry reg(path);
  RegDocument doc;
  ASSERT_TRUE(reg.Read(&doc));
  EXPECT_EQ(doc.unreadableLines, 0);
  ASSERT_EQ(doc.keys.size(), 1u);
  EXPECT_EQ(doc.keys[0].values.size(), 2u * kValues);
}

TEST(RegistryTest, AnyValueSurvivesARewrite) {
  RegDocument doc;
  doc.keys.push_back(RegKeyData{std::string(kKey), {}});
  auto& values = doc.keys[0].values;
  const std::string odd = "line\r\nbreak \"quoted\" back\\slash";
  values.push_back(RegValue{"Text", kRegSz, std::vector<uint8_t>(odd.begin(), odd.end())});
  values[0].data.push_back(0);
  values.push_back(RegValue{"Na\"me\\", kRegSz, {'x', 0}});
  values.push_back(RegValue{"Empty", kRegBinary, {}});
  std::vector<uint8_t> big(300);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
  values.push_back(RegValue{"Big", kRegBinary, big});
  values.push_back(RegValue{"NoZero", kRegSz, {'a', 'b'}});
  values.push_back(RegValue{"Odd", 0x20001, {1}});

  const std::string text = FormatRegistryText(doc);
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    EXPECT_LE(end - start, 80u);  // long data wraps
  }
  const RegDocument back = ParseRegistryText(text);
  EXPECT_EQ(back.unreadableLines, 0);
  ASSERT_EQ(back.keys.size(), 1u);
  ASSERT_EQ(back.keys[0].values.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(back.keys[0].values[i].name, values[i].name);
    EXPECT_EQ(back.keys[0].values[i].type, values[i].type);
    EXPECT_EQ(back.keys[0].values[i].data, values[i].data);
  }
}

// Random bytes, and random damage to a good file: the parser never fails,
// and whatever it read is written and read back the same.
TEST(RegistryTest, FuzzedFilesParseAndRoundTrip) {
  std::mt19937 rng(12345);
  const std::string good =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Torvex\\203]\r\n"
      "\"Options\"=hex:01,01,02,01,01,00,00,01,05,ff,ff,00,03,01,ff,00\r\n"
      "\"Path\"=\"C:\\\\x\"\r\n\"N\"=dword:00000005\r\n\"M\"=hex(2):41,\\\r\n  42,00\r\n";
  const std::string alphabet = "[]\"\\=@:,;-hexdword()0123456789abfAF \r\n\t";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int kind = round % 3;
    if (kind == 0) {
      text.resize(rng() % 400);
      for (char& c : text) c = static_cast<char>(rng() & 0xFF);
    } else if (kind == 1) {
      text.resize(rng() % 400);
      for (char& c : text) c = alphabet[rng() % alphabet.size()];
    } else {
      text = good;
      for (int n = 0; n < 4; ++n) {
        const std::size_t at = rng() % text.size();
        text[at] = alphabet[rng() % alphabet.size()];
      }
    }
    const RegDocument doc = ParseRegistryText(text);
    const RegDocument back = ParseRegistryText(FormatRegistryText(doc));
    ASSERT_EQ(back.unreadableLines, 0) << round;
    ASSERT_EQ(back.keys.size(), doc.keys.size()) << round;
    for (std::size_t k = 0; k < doc.keys.size(); ++k) {
      ASSERT_EQ(back.keys[k].values.size(), doc.keys[k].values.size()) << round;
      for (std::size_t v = 0; v < doc.keys[k].values.size(); ++v) {
        ASSERT_EQ(back.keys[k].values[v].data, doc.keys[k].values[v].data) << round;
      }
    }
  }
}

TEST(RegistryTest, DefaultPathFollowsTheEnvironment) {
  const char* saved = std::getenv("TORVEX_REGISTRY_FILE");
  const std::string savedValue = saved ? saved : "";
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string savedXdgValue = savedXdg ? savedXdg : "";
  const char* savedHome = std::getenv("HOME");
  const std::string savedHomeValue = savedHome ? savedHome : "";

  unsetenv("TORVEX_REGISTRY_FILE");
  setenv("XDG_CONFIG_HOME", "/somewhere/cfg", 1);
  EXPECT_EQ(Registry::DefaultPath(), "/somewhere/cfg/torvex/registry.reg");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  setenv("HOME", "/home/tester", 1);
  EXPECT_EQ(Registry::DefaultPath(), "/home/tester/.config/torvex/registry.reg");
  setenv("TORVEX_REGISTRY_FILE", "/tmp/own.reg", 1);
  EXPECT_EQ(Registry::DefaultPath(), "/tmp/own.reg");
  {
    // A relative name stays where the program started, wherever the walk
    // has moved the current directory since.
    testing_support::TempTree elsewhere;
    testing_support::CwdGuard guard;
    setenv("TORVEX_REGISTRY_FILE", "own.reg", 1);
    const std::string atStart = Registry::DefaultPath();
    EXPECT_EQ(atStart.front(), '/');
    EXPECT_EQ(atStart.substr(atStart.size() - 8), "/own.reg");
    ASSERT_EQ(chdir(elsewhere.Root().c_str()), 0);
    EXPECT_EQ(Registry::DefaultPath(), atStart);
    EXPECT_EQ(Registry().FilePath(), atStart);
  }

  if (saved) setenv("TORVEX_REGISTRY_FILE", savedValue.c_str(), 1); else unsetenv("TORVEX_REGISTRY_FILE");
  if (savedXdg) setenv("XDG_CONFIG_HOME", savedXdgValue.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
  if (savedHome) setenv("HOME", savedHomeValue.c_str(), 1); else unsetenv("HOME");
}

}  // namespace
}  // namespace platform

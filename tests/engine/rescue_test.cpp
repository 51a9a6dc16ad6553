// The rescue against real kernel errors, served by the FUSE fault file system:
// a file with an unreadable sector, a file whose read stalls, a file that does
// not open. Where the kernel refuses the mount, these tests skip and say why.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/rescue.h"
#include "engine/rescue_report.h"
#include "engine/system_services.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/fault_fs.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_tree.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;
using engine::RescueMap;
using engine::RescueOutcome;
using testing_support::FaultFile;
using testing_support::FaultFs;
using Reads = std::vector<std::pair<int64_t, int64_t>>;
using Areas = std::vector<RescueMap::Area>;

std::string Pattern(int64_t size) { return testing_support::FaultPattern(size); }

std::string Zeroed(std::string bytes, int64_t pos, int64_t size) {
  bytes.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(size), static_cast<std::size_t>(size), '\0');
  return bytes;
}

// Where two byte strings first differ ("same" when they do not), so that a
// failure names a place instead of printing the bytes.
std::string FirstDifference(const std::string& got, const std::string& want) {
  if (got == want) return "same";
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  return "differ at " + std::to_string(i) + " (sizes " + std::to_string(got.size()) + ", " +
         std::to_string(want.size()) + ")";
}

class Listener : public engine::RescueListener {
 public:
  void Progress(const engine::RescueProgress& p) override {
    std::lock_guard lock(m_);
    progress.push_back(p);
  }
  void Finished(const engine::RescueReport& r) override {
    std::lock_guard lock(m_);
    report = r;
    finishedAt = std::chrono::steady_clock::now();
    cv_.notify_all();
  }
  bool Wait(std::chrono::seconds limit) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, limit, [this] { return report.has_value(); });
  }

  std::vector<engine::RescueProgress> progress;
  std::optional<engine::RescueReport> report;
  std::chrono::steady_clock::time_point finishedAt;

 private:
  std::mutex m_;
  std::condition_variable cv_;
};

class RescueTest : public ::testing::Test {
 protected:
  void Serve(std::vector<FaultFile> files) {
    fs = std::make_unique<FaultFs>(std::move(files));
    std::string why;
    if (!fs->Mount(&why)) GTEST_SKIP() << "FUSE fault injection unavailable: " << why;
  }
  void TearDown() override { fs.reset(); }

  engine::RescueReport Rescue(const std::vector<std::string>& names, engine::RescueOptions options) {
    listener = std::make_shared<Listener>();
    run = std::make_unique<engine::RescueRun>(std::make_shared<engine::SystemThreads>(), listener, stuck);
    options.destination = dest.Root();
    std::vector<engine::RescueFile> files;
    for (const auto& n : names) files.push_back({fs->MountPoint(), n, n});
    EXPECT_TRUE(run->Start(files, options));
    EXPECT_TRUE(listener->Wait(120s));
    return listener->report.value_or(engine::RescueReport{});
  }
  std::optional<RescueMap> MapOf(const std::string& name, int64_t size) const {
    return RescueMap::Parse(testing_support::ReadBytes(engine::MapName(dest.Path(name))), size);
  }

  std::unique_ptr<FaultFs> fs;
  testing_support::TempTree dest;
  std::shared_ptr<Listener> listener;
  std::unique_ptr<engine::RescueRun> run;
  // The program's count of readers stuck in the kernel, shared by its rescues.
  std::shared_ptr<engine::StuckReaders> stuck = std::make_shared<engine::StuckReaders>();
};

TEST_F(RescueTest, EveryGoodSectorIsKeptTheBadOneIsMappedAndASecondRunReadsOnlyIt) {
  Serve({
      {"PHOTO.JPG", 100'000, FaultFile::kEio, 70'000},
      {"SUB/FINE.TXT", 50'000},
      {"LOCKED.BIN", 5'000, FaultFile::kNoOpen},
  });
  if (IsSkipped()) return;
  engine::RescueOptions options;
  options.extraPasses = 2;
  const auto report = Rescue({"PHOTO.JPG", "SUB/FINE.TXT", "LOCKED.BIN"}, options);

  ASSERT_EQ(report.files.size(), 3u);
  EXPECT_FALSE(report.cancelled);
  EXPECT_EQ(report.files[0].kind, RescueOutcome::kPart);
  EXPECT_EQ(report.files[1].kind, RescueOutcome::kWhole);
  EXPECT_EQ(report.files[2].kind, RescueOutcome::kNotOpened);
  // The fault file system has no device of its own: sectors of 512 bytes.
  const int64_t bad = 70'000 / 512 * 512;
  EXPECT_EQ(report.files[0].missing, (Areas{{bad, 512, RescueMap::kBad}}));
  EXPECT_EQ(FirstDifference(testing_support::ReadBytes(dest.Path("PHOTO.JPG")), Zeroed(Pattern(100'000), bad, 512)), "same");
  EXPECT_EQ(FirstDifference(testing_support::ReadBytes(dest.Path("SUB/FINE.TXT")), Pattern(50'000)), "same");
  EXPECT_FALSE(testing_support::FileExists(dest.Path("LOCKED.BIN")));
  // A copy made whole has a map all copied: what shows a later rescue that it
  // is this program's copy.
  const auto wholeMap = MapOf("SUB/FINE.TXT", 50'000);
  ASSERT_TRUE(wholeMap.has_value());
  EXPECT_EQ(wholeMap->Bytes(RescueMap::kCopied), 50'000);
  EXPECT_FALSE(testing_support::FileExists(engine::PartName(dest.Path("PHOTO.JPG"))));

  // The last progress counts what was copied and what could not be read.
  ASSERT_FALSE(listener->progress.empty());
  EXPECT_EQ(listener->progress.back().recovered, 100'000 - 512 + 50'000);
  EXPECT_EQ(listener->progress.back().missing, 512);

  // The map, in the mapfile format: what is copied and what is not.
  const auto map = MapOf("PHOTO.JPG", 100'000);
  ASSERT_TRUE(map.has_value());
  EXPECT_EQ(map->Areas(), (Areas{{0, bad, '+'}, {bad, 512, '-'}, {bad + 512, 100'000 - bad - 512, '+'}}));
  const std::string text = testing_support::ReadBytes(engine::MapName(dest.Path("PHOTO.JPG")));
  EXPECT_NE(text.find("\n0x00011000  0x00000200  -\n"), std::string::npos) << text;

  // Blocks first; the failed block again sector by sector; then the bad
  // sector once in each extra pass.
  Reads expected{{0, 32768}, {32768, 32768}, {65536, 32768}};
  for (int64_t s = 65536; s < 98304; s += 512) expected.push_back({s, 512});
  expected.push_back({98304, 100'000 - 98304});
  expected.push_back({bad, 512});
  expected.push_back({bad, 512});
  EXPECT_EQ(fs->Reads("PHOTO.JPG"), expected);

  // Again on the same destination: only the missing sector is read, the
  // file copied whole is not read at all, and the report says the same.
  const auto again = Rescue({"PHOTO.JPG", "SUB/FINE.TXT"}, options);
  ASSERT_EQ(again.files.size(), 2u);
  EXPECT_EQ(again.files[0].kind, RescueOutcome::kPart);
  EXPECT_EQ(again.files[0].missing, (Areas{{bad, 512, RescueMap::kBad}}));
  EXPECT_EQ(again.files[1].kind, RescueOutcome::kWhole);
  expected.push_back({bad, 512});
  expected.push_back({bad, 512});
  EXPECT_EQ(fs->Reads("PHOTO.JPG"), expected);
  EXPECT_EQ(fs->Reads("SUB/FINE.TXT").size(), 2u);  // the first rescue's two blocks only
  EXPECT_EQ(FirstDifference(testing_support::ReadBytes(dest.Path("PHOTO.JPG")), Zeroed(Pattern(100'000), bad, 512)), "same");

  const std::string shown = engine::RescueReportText(again, testing_support::EnglishTexts());
  EXPECT_NE(shown.find("PHOTO.JPG: 512 bytes missing (at 69,632, 512 bytes)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Copied whole: 1\n  SUB/FINE.TXT"), std::string::npos) << shown;
}

// Whatever stands in the destination where a copy or its folder goes is
// never written through, never taken for a copy, and named in the report;
// what a killed rescue left of a map is cleared by the next rescue of that
// file only.
TEST_F(RescueTest, WhatStandsInTheDestinationIsLeftAloneAndNamed) {
  Serve({
      {"SUB/A.BIN", 50'000, FaultFile::kEio, 0},
      {"LINKED/B.BIN", 50'000, FaultFile::kEio, 0},
      {"SAME.BIN", 50'000},
      {"PHOTO.JPG", 50'000, FaultFile::kEio, 0},
  });
  if (IsSkipped()) return;
  testing_support::TempTree outside;
  outside.File("B.BIN", 50'000);
  const std::string outsideBefore = testing_support::ReadBytes(outside.Path("B.BIN"));
  dest.File("SUB", 10);                        // a file where a folder must be
  dest.Symlink("LINKED", outside.Root());      // a link where a folder must be
  dest.File("SAME.BIN", 50'000);               // a file of the same size, no map
  const std::string sameBefore = testing_support::ReadBytes(dest.Path("SAME.BIN"));
  const std::string leftover = engine::MapName("PHOTO.JPG") + ".new.0badf00d";
  const std::string othersLeftover = engine::MapName("OTHER.JPG") + ".new.12345678";
  testing_support::WriteBytes(dest.Path(leftover), "half a map");
  testing_support::WriteBytes(dest.Path(othersLeftover), "half a map");

  engine::RescueOptions options;
  options.extraPasses = 0;
  const auto report = Rescue({"SUB/A.BIN", "LINKED/B.BIN", "SAME.BIN", "PHOTO.JPG"}, options);
  ASSERT_EQ(report.files.size(), 4u);
  EXPECT_FALSE(report.destinationFailed);
  struct Want {
    RescueOutcome::Kind kind;
    RescueOutcome::Obstacle obstacle;
    std::string inTheWay;
  };
  const Want want[] = {
      {RescueOutcome::kNotWritten, RescueOutcome::kFileInPath, "SUB"},
      {RescueOutcome::kNotWritten, RescueOutcome::kLinkInPath, "LINKED"},
      {RescueOutcome::kInTheWay, RescueOutcome::kNoObstacle, ""},
      {RescueOutcome::kPart, RescueOutcome::kNoObstacle, ""},
  };
  for (std::size_t i = 0; i < std::size(want); ++i) {
    EXPECT_EQ(report.files[i].kind, want[i].kind) << i;
    EXPECT_EQ(report.files[i].obstacle, want[i].obstacle) << i;
    EXPECT_EQ(report.files[i].inTheWay, want[i].inTheWay) << i;
  }
  // Nothing outside changed, and nothing under the names in the way.
  EXPECT_EQ(testing_support::ReadBytes(outside.Path("B.BIN")), outsideBefore);
  EXPECT_FALSE(testing_support::FileExists(outside.Path(engine::MapName("B.BIN"))));
  EXPECT_FALSE(testing_support::FileExists(outside.Path(engine::PartName("B.BIN"))));
  EXPECT_EQ(testing_support::ReadBytes(dest.Path("SAME.BIN")), sameBefore);
  EXPECT_EQ(fs->Reads("SAME.BIN").size(), 0u);
  // The leftover of PHOTO.JPG's map went with its rescue; another file's stays.
  EXPECT_FALSE(testing_support::FileExists(dest.Path(leftover)));
  EXPECT_TRUE(testing_support::FileExists(dest.Path(othersLeftover)));

  const std::string shown = engine::RescueReportText(report, testing_support::EnglishTexts());
  EXPECT_NE(shown.find("Could not be written: 2\n"
                       "  SUB/A.BIN: \"SUB\" in the destination is a file where a folder should be\n"
                       "  LINKED/B.BIN: \"LINKED\" in the destination is a symbolic link where a folder should be, "
                       "and the program never writes through one\n"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("Left alone (another file of that name is already there): 1\n  SAME.BIN"), std::string::npos)
      << shown;
  // A copy that could not be made here is no failing destination.
  EXPECT_EQ(shown.find("The copies cannot be written"), std::string::npos) << shown;
}

TEST_F(RescueTest, AStalledSectorIsGivenUpAndAFreshReaderGoesOnAfterIt) {
  Serve({{"MOVIE.VOB", 80'000, FaultFile::kStall, 40'000}, {"NEXT.TXT", 10'000}});
  if (IsSkipped()) return;
  engine::RescueOptions options;
  options.delaySeconds = 3;
  options.extraPasses = 0;
  const auto report = Rescue({"MOVIE.VOB", "NEXT.TXT"}, options);
  ASSERT_EQ(report.files.size(), 2u);
  const int64_t bad = 40'000 / 512 * 512;
  EXPECT_EQ(report.files[0].kind, RescueOutcome::kPart);
  EXPECT_EQ(report.files[0].missing, (Areas{{bad, 512, RescueMap::kBad}}));
  EXPECT_EQ(FirstDifference(testing_support::ReadBytes(dest.Path("MOVIE.VOB")), Zeroed(Pattern(80'000), bad, 512)), "same");
  EXPECT_EQ(report.files[1].kind, RescueOutcome::kWhole);
  EXPECT_EQ(FirstDifference(testing_support::ReadBytes(dest.Path("NEXT.TXT")), Pattern(10'000)), "same");
  // The stalled block, and then its stalled sector, are both still held.
  EXPECT_EQ(fs->StalledReads(), 2);
}

// The bound of eight readers stuck on one device holds across rescues: a
// second rescue of a stalling file finds the first one's readers still stuck
// in the kernel, and stops when the device has no slot left instead of
// leaving more behind.
TEST_F(RescueTest, TheBoundOnStuckReadersHoldsAcrossRescues) {
  Serve({{"ARCHIVE.ZIP", 100'000, FaultFile::kStall, 50'000}});
  if (IsSkipped()) return;
  engine::RescueOptions options;
  options.delaySeconds = 3;
  // The block, its sector, and the sector again on each of two passes.
  options.extraPasses = 2;
  const auto first = Rescue({"ARCHIVE.ZIP"}, options);
  ASSERT_EQ(first.files.size(), 1u);
  EXPECT_EQ(first.files[0].kind, RescueOutcome::kPart);
  EXPECT_FALSE(first.deviceNotAnswering);
  EXPECT_EQ(fs->StalledReads(), 4);
  EXPECT_EQ(stuck->All(), 4);

  // Nine more passes would leave nine more: four fill the device's slots.
  options.extraPasses = 9;
  const auto second = Rescue({"ARCHIVE.ZIP"}, options);
  ASSERT_EQ(second.files.size(), 1u);
  EXPECT_TRUE(second.deviceNotAnswering);
  EXPECT_EQ(fs->StalledReads(), engine::kMaxAbandonedReaders);
  EXPECT_EQ(stuck->All(), engine::kMaxAbandonedReaders);
  const std::string shown = engine::RescueReportText(second, testing_support::EnglishTexts());
  EXPECT_NE(shown.find("does not answer any more"), std::string::npos) << shown;
}

TEST_F(RescueTest, CancelDuringAStalledReadEndsWithinASecondAndLeavesNoFinalName) {
  Serve({{"ARCHIVE.ZIP", 200'000, FaultFile::kStall, 100'000}});
  if (IsSkipped()) return;
  listener = std::make_shared<Listener>();
  run = std::make_unique<engine::RescueRun>(std::make_shared<engine::SystemThreads>(), listener, stuck);
  engine::RescueOptions options;
  options.destination = dest.Root();
  options.delaySeconds = 60;
  ASSERT_TRUE(run->Start({{fs->MountPoint(), "ARCHIVE.ZIP", "ARCHIVE.ZIP"}}, options));
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (fs->StalledReads() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(fs->StalledReads(), 1);
  EXPECT_TRUE(run->Running());
  const auto cancelled = std::chrono::steady_clock::now();
  run->Cancel();
  ASSERT_TRUE(listener->Wait(5s));
  EXPECT_LT(listener->finishedAt - cancelled, 1s);
  EXPECT_TRUE(listener->report->cancelled);
  ASSERT_EQ(listener->report->files.size(), 1u);
  EXPECT_EQ(listener->report->files[0].kind, RescueOutcome::kNotDone);
  EXPECT_FALSE(testing_support::FileExists(dest.Path("ARCHIVE.ZIP")));
  // What was read stays under the temporary name, and the map says what.
  EXPECT_TRUE(testing_support::FileExists(engine::PartName(dest.Path("ARCHIVE.ZIP"))));
  const auto map = MapOf("ARCHIVE.ZIP", 200'000);
  ASSERT_TRUE(map.has_value());
  EXPECT_EQ(map->Areas(), (Areas{{0, 98304, '+'}, {98304, 200'000 - 98304, '?'}}));
}

TEST_F(RescueTest, AFullDestinationStopsTheRescueAndNoHalfCopyTakesTheRealName) {
  Serve({{"BIG.ISO", 300'000}, {"NEXT.TXT", 1'000}});
  if (IsSkipped()) return;
  const std::string small = dest.Path("small");
  std::filesystem::create_directories(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=128k") != 0) {
    GTEST_SKIP() << "a small tmpfs cannot be mounted here: " << std::strerror(errno);
  }
  listener = std::make_shared<Listener>();
  run = std::make_unique<engine::RescueRun>(std::make_shared<engine::SystemThreads>(), listener, stuck);
  engine::RescueOptions options;
  options.destination = small;
  options.drive = "D:";
  ASSERT_TRUE(run->Start({{fs->MountPoint(), "BIG.ISO", "BIG.ISO"}, {fs->MountPoint(), "NEXT.TXT", "NEXT.TXT"}},
                         options));
  ASSERT_TRUE(listener->Wait(60s));
  const auto report = *listener->report;
  // Neither a half copy under the real name nor the part that did not fit.
  EXPECT_FALSE(testing_support::FileExists(small + "/BIG.ISO"));
  EXPECT_FALSE(testing_support::FileExists(engine::PartName(small + "/BIG.ISO")));
  umount2(small.c_str(), MNT_DETACH);
  EXPECT_TRUE(report.destinationFailed);
  ASSERT_EQ(report.files.size(), 2u);
  EXPECT_EQ(report.files[0].kind, RescueOutcome::kNotWritten);
  EXPECT_EQ(report.files[1].kind, RescueOutcome::kNotDone);
  EXPECT_EQ(fs->Reads("NEXT.TXT").size(), 0u);
  const std::string shown = engine::RescueReportText(report, testing_support::EnglishTexts());
  EXPECT_TRUE(shown.starts_with("The copies cannot be written to \"" + small + "\": the disk is full.\n"
                                "The rescue has been stopped\n\nThe rescue is finished."))
      << shown;
}

// The map is read by GNU ddrescue's own tool as the rescue meant it, and read
// back by the rescue the same.
TEST(RescueMapTest, GnuDdrescuelogReadsTheMapAndTheRescueReadsItBack) {
  engine::RescueMap map(10 * 2048);
  map.Mark(0, 4 * 2048, RescueMap::kCopied);
  map.Mark(4 * 2048, 2048, RescueMap::kBad);
  map.Mark(5 * 2048, 3 * 2048, RescueMap::kCopied);
  map.Mark(9 * 2048, 2048, RescueMap::kBad);
  const std::string text = map.Text(9 * 2048, RescueMap::kBad, 2, "a test");
  const auto back = RescueMap::Parse(text, 10 * 2048);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Areas(), map.Areas());
  EXPECT_EQ(back->Bytes(RescueMap::kNotTried), 2048);
  EXPECT_FALSE(RescueMap::Parse(text, 10 * 2048 + 1).has_value()) << "a map of another size is not taken";

  if (std::system("command -v ddrescuelog >/dev/null") != 0) {
    GTEST_SKIP() << "ddrescuelog is not installed (package gddrescue): the map was not shown to it";
  }
  testing_support::TempTree dir;
  testing_support::WriteBytes(dir.Path("file.rescue-map"), text);
  const auto run = [&](const std::string& args) {
    std::string out;
    FILE* p = popen(("ddrescuelog " + args + " " + dir.Path("file.rescue-map")).c_str(), "r");
    char buf[256];
    while (p != nullptr && std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
    if (p != nullptr) pclose(p);
    return out;
  };
  EXPECT_EQ(run("-b 2048 -l-"), "4\n9\n");
  EXPECT_EQ(run("-b 2048 -l+"), "0\n1\n2\n3\n5\n6\n7\n");
  EXPECT_EQ(run("-b 2048 -l?"), "8\n");
}

}  // namespace
}  // namespace engine_test

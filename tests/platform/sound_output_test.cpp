// The system's sound output on this machine, which may have no sound device
// (CI has none): silence, never an error or a word on stderr, and the beep
// still takes its time.
#include "platform/sound_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <thread>

#include "tests/support/temp_tree.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What the code under test writes to stderr (fd 2) while it runs.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& path) : path_(path) {
    fflush(stderr);
    saved_ = dup(2);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    close(fd);
  }
  std::string Finish() {
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    std::ifstream in(path_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
  int saved_;
};

// A mono 16-bit wave file of a tone.
void WriteWave(const std::string& path, int seconds) {
  const int rate = 8000;
  const uint32_t data = static_cast<uint32_t>(rate * seconds * 2);
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&out](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&out](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + data);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(1);
  u32(rate);
  u32(rate * 2);
  u16(2);
  u16(16);
  out.write("data", 4);
  u32(data);
  for (int i = 0; i < rate * seconds; ++i) u16(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 0.3))));
}

TEST(SoundOutput, BeepsTakeTheirTimeAndNothingReachesStderr) {
  testing_support::TempTree tree;
  StderrCapture capture(tree.Path("stderr"));
  {
    auto output = CreateSoundOutput();
    for (const auto& [hz, ms] : {std::pair{200, 400}, std::pair{250, 200}, std::pair{5, 150}}) {
      const auto start = Clock::now();
      output->Beep(hz, ms);
      const long long took = MsSince(start);
      EXPECT_GE(took, ms) << hz << " Hz";
      EXPECT_LT(took, ms + 1500) << hz << " Hz";
    }
    const auto start = Clock::now();
    output->Beep(440, 0);
    EXPECT_LT(MsSince(start), 100);
  }
  EXPECT_EQ(capture.Finish(), "");
}

TEST(SoundOutput, WaveFilesPlayInTheBackgroundAndMissingOnesAreTold) {
  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);
  WriteWave(tree.Path("long.wav"), 6);
  std::ofstream(tree.Path("junk.wav")) << "this is no sound";
  StderrCapture capture(tree.Path("stderr"));
  {
    auto output = CreateSoundOutput();
    const auto start = Clock::now();
    EXPECT_TRUE(output->PlayWave(tree.Path("long.wav")));  // six seconds of sound
    EXPECT_TRUE(output->PlayWave(tree.Path("long.wav")));  // replaces the first
    EXPECT_TRUE(output->PlayWave(tree.Path("junk.wav")));  // found, but plays as silence
    output->PlayDefaultSound();
    EXPECT_FALSE(output->PlayWave("missing.wav"));
    EXPECT_LT(MsSince(start), 2000) << "the caller waited for the sound";
    // Leaving while a sound plays cuts it off.
    EXPECT_TRUE(output->PlayWave(tree.Path("long.wav")));
  }
  EXPECT_EQ(capture.Finish(), "");
}

TEST(SoundOutput, ShutdownCutsABeepShortAndSilencesEverythingAfter) {
  testing_support::TempTree tree;
  testing_support::CwdGuard cwd;
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);
  WriteWave(tree.Path("long.wav"), 3);
  auto output = CreateSoundOutput();
  Clock::time_point beepEnded;
  std::thread beeper([&] {
    output->Beep(300, 5000);
    beepEnded = Clock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = Clock::now();
  output->Shutdown();
  EXPECT_LT(MsSince(start), 1000) << "Shutdown waited";
  beeper.join();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(beepEnded - start).count(), 1000);

  const auto after = Clock::now();
  output->Beep(300, 2000);
  EXPECT_TRUE(output->PlayWave(tree.Path("long.wav")));  // still found; nothing plays
  output->PlayDefaultSound();
  EXPECT_LT(MsSince(after), 500);
}

}  // namespace
}  // namespace platform

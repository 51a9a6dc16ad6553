// The sounds of the events, against a fake output that records what it is
// asked to play.
#include "ui/event_sounds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound_output.h"

namespace ui {
namespace {

class FakeSoundOutput : public platform::SoundOutput {
 public:
  std::set<std::string> missing;  // names PlayWave does not find

  bool PlayWave(const std::string& name) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (shut_) return true;
    calls_.push_back("wave " + name);
    return missing.count(name) == 0;
  }
  void PlayDefaultSound() override { Record("default"); }
  void Beep(int frequencyHz, int durationMs) override {
    Record("beep " + std::to_string(frequencyHz) + "/" + std::to_string(durationMs));
  }
  void Shutdown() override {
    const std::lock_guard<std::mutex> lock(mutex_);
    shut_ = true;
    calls_.push_back("shutdown");
  }

  std::vector<std::string> Take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(calls_, {});
  }

 private:
  void Record(std::string call) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!shut_) calls_.push_back(std::move(call));
  }
  std::mutex mutex_;
  std::vector<std::string> calls_;
  bool shut_ = false;
};

using Calls = std::vector<std::string>;

struct Rig {
  std::shared_ptr<engine::Settings> shared = std::make_shared<engine::Settings>();
  engine::Settings& settings = *shared;
  std::shared_ptr<FakeSoundOutput> output = std::make_shared<FakeSoundOutput>();
  EventSounds sounds{shared, output};

  Calls Play(int event) {
    sounds.PlayEventSound(event);
    return output->Take();
  }
};

TEST(EventSounds, WaveFilesOfTheThreeEventsAndNothingElse) {
  Rig rig;  // new settings: sounds on, speaker off
  EXPECT_EQ(rig.Play(1), Calls{"wave torvex3.wav"});
  EXPECT_EQ(rig.Play(2), Calls{"wave torvex1.wav"});
  EXPECT_EQ(rig.Play(7), Calls{"wave torvex2.wav"});
  for (int other : {0, 3, 4, 5, 6, 8, -1, 255}) EXPECT_EQ(rig.Play(other), Calls{}) << other;
}

TEST(EventSounds, MissingFilesLeaveErrorsSilentAndTheEndPlaysTheDefault) {
  Rig rig;
  rig.output->missing = {"torvex1.wav", "torvex2.wav", "torvex3.wav"};
  EXPECT_EQ(rig.Play(1), Calls{"wave torvex3.wav"});
  EXPECT_EQ(rig.Play(2), Calls{"wave torvex1.wav"});
  EXPECT_EQ(rig.Play(7), (Calls{"wave torvex2.wav", "default"}));
}

TEST(EventSounds, TheSpeakerBeepsThePatterns) {
  Rig rig;
  rig.settings.internalSpeaker = true;
  EXPECT_EQ(rig.Play(1), Calls{"beep 200/400"});
  EXPECT_EQ(rig.Play(2), Calls{"beep 250/400"});
  EXPECT_EQ(rig.Play(7), (Calls{"beep 250/200", "beep 150/200", "beep 250/200", "beep 150/200", "beep 300/200",
                                "beep 300/200", "beep 300/500"}));
  EXPECT_EQ(rig.Play(4), Calls{});
  // The end of a check holds its caller for 1.7 seconds in all.
  int total = 0;
  for (const EventSound& s : EventSoundTable()) {
    if (s.event != 7) continue;
    for (const Beep& b : s.beeps) total += b.durationMs;
  }
  EXPECT_EQ(total, 1700);
}

TEST(EventSounds, TheOptionsAreReadAfreshAtEveryEvent) {
  Rig rig;
  rig.settings.sounds = false;
  for (bool speaker : {false, true}) {
    rig.settings.internalSpeaker = speaker;
    for (int event : {1, 2, 7}) EXPECT_EQ(rig.Play(event), Calls{}) << event << " speaker " << speaker;
  }
  rig.settings.sounds = true;
  EXPECT_EQ(rig.Play(1), Calls{"beep 200/400"});
  rig.settings.internalSpeaker = false;
  EXPECT_EQ(rig.Play(1), Calls{"wave torvex3.wav"});
}

// Engine threads keep signalling while the window goes: after Shutdown no
// call plays anything, and the settings stay alive for them after the
// window has let go of its own (AddressSanitizer and ThreadSanitizer watch
// this).
TEST(EventSounds, ShutdownSilencesEveryThreadForGood) {
  auto settings = std::make_shared<engine::Settings>();
  auto output = std::make_shared<FakeSoundOutput>();
  EventSounds sounds(settings, output);
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      while (!stop) {
        sounds.PlayEventSound(t == 2 ? 7 : t + 1);
        ++calls;
      }
    });
  }
  for (int i = 0; i < 200; ++i) {
    settings->internalSpeaker = i % 2 == 0;  // Options changes it meanwhile
    std::this_thread::yield();
  }
  while (calls < 100) std::this_thread::yield();
  sounds.Shutdown();
  const Calls before = output->Take();
  EXPECT_FALSE(before.empty());
  EXPECT_EQ(before.back(), "shutdown");
  settings.reset();
  const int seen = calls;
  while (calls < seen + 100) std::this_thread::yield();
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(output->Take(), Calls{});
  sounds.PlayEventSound(7);
  EXPECT_EQ(output->Take(), Calls{});
}

}  // namespace
}  // namespace ui

#pragma once
// The sounds of the program's events: a read error (1), an open error (2) and
// the end of a check (7). With "Sounds" on, each event plays its wave file,
// or, with "Use internal speaker" on, its beep pattern; both options are read
// afresh at every event, since Options may change them while a check runs.
// Any other event makes no sound.
//
// PlayEventSound may be called from any thread: read and open errors come
// from the check thread, the end of a check from the UI thread. The engine
// asks for no sound once the window's gate is closed; Shutdown cuts off what
// plays then and makes the output silent for good. The object and the
// settings it reads are shared with whoever holds them, so a late caller
// never meets freed state.
#include <memory>
#include <span>

#include "engine/services.h"
#include "engine/settings.h"

namespace platform {
class SoundOutput;
}

namespace ui {

struct Beep {
  int frequencyHz;
  int durationMs;
};

struct EventSound {
  int event;
  const char* waveFile;
  // The system's default sound when the wave file is missing.
  bool defaultWhenMissing;
  std::span<const Beep> beeps;
};

// The events that make a sound, with their files and beep patterns.
std::span<const EventSound> EventSoundTable();

class EventSounds final : public engine::SoundPlayer {
 public:
  EventSounds(std::shared_ptr<const engine::Settings> settings, std::shared_ptr<platform::SoundOutput> output);
  ~EventSounds() override;
  EventSounds(const EventSounds&) = delete;
  EventSounds& operator=(const EventSounds&) = delete;

  // Plays the sound of an event. Wave files play in the background and cost
  // the caller nothing; beeps hold the caller for the pattern's duration.
  void PlayEventSound(int event) override;

  // Cuts off what plays; no later call plays anything.
  void Shutdown();

 private:
  std::shared_ptr<const engine::Settings> settings_;
  std::shared_ptr<platform::SoundOutput> output_;
};

}  // namespace ui

#include "ui/event_sounds.h"

#include <algorithm>

#include "platform/sound_output.h"

namespace ui {
namespace {

constexpr Beep kReadErrorBeeps[] = {{200, 400}};
constexpr Beep kOpenErrorBeeps[] = {{250, 400}};
constexpr Beep kCheckEndBeeps[] = {{250, 200}, {150, 200}, {250, 200}, {150, 200},
                                   {300, 200}, {300, 200}, {300, 500}};

constexpr EventSound kEventSounds[] = {
    {1, "torvex3.wav", false, kReadErrorBeeps},
    {2, "torvex1.wav", false, kOpenErrorBeeps},
    {7, "torvex2.wav", true, kCheckEndBeeps},
};

}  // namespace

std::span<const EventSound> EventSoundTable() { return kEventSounds; }

EventSounds::EventSounds(std::shared_ptr<const engine::Settings> settings,
                         std::shared_ptr<platform::SoundOutput> output)
    : settings_(std::move(settings)), output_(std::move(output)) {}

EventSounds::~EventSounds() = default;

void EventSounds::PlayEventSound(int event) {
  const auto* sound = std::find_if(std::begin(kEventSounds), std::end(kEventSounds),
                                   [event](const EventSound& s) { return s.event == event; });
  if (sound == std::end(kEventSounds)) return;
  if (!settings_->sounds) return;
  if (settings_->internalSpeaker) {
    // After Shutdown the output returns from every beep at once.
    for (const Beep& beep : sound->beeps) output_->Beep(beep.frequencyHz, beep.durationMs);
  } else if (!output_->PlayWave(sound->waveFile) && sound->defaultWhenMissing) {
    output_->PlayDefaultSound();
  }
}

void EventSounds::Shutdown() { output_->Shutdown(); }

}  // namespace ui

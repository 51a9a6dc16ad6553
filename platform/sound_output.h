#pragma once
// Sound output: wave files played in the background, the built-in default
// sound, and the speaker beep. The system's output plays through ALSA's
// "default" device and decodes wave files with libsndfile. Without a sound
// device, or with the device busy, every sound is silence: nothing is
// reported, printed or waited for, except that a beep still takes its time.
#include <memory>
#include <string>

namespace platform {

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;

  // Looks the wave file up (FindDataFile: the current directory, beside the
  // program, the data folder) and starts playing it; returns at once. A sound
  // still playing is cut off. False when no file of that name exists; a file
  // that cannot be decoded plays as silence.
  virtual bool PlayWave(const std::string& name) = 0;
  // Starts the built-in default sound (a short chime), as PlayWave starts a
  // file.
  virtual void PlayDefaultSound() = 0;
  // Sounds a sine tone and returns when it has ended: after durationMs, also
  // without a sound device.
  virtual void Beep(int frequencyHz, int durationMs) = 0;
  // Ends every sound at once, beeps of other threads included (their callers
  // return early), and makes every later call do nothing; a later Beep
  // returns at once. Waits only for the sounds to stop, never for long.
  virtual void Shutdown() = 0;
};

// The system's output (ALSA).
std::unique_ptr<SoundOutput> CreateSoundOutput();

}  // namespace platform

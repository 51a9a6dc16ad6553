#include "platform/sound_output.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <optional>
#include <thread>
#include <vector>

#include "platform/data_files.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// ALSA reports every failure of its own on stderr unless told otherwise; a
// machine without a sound card would print a page of it for every beep.
extern "C" void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaError); });
}

constexpr int kToneRate = 48000;
constexpr unsigned kLatencyUs = 80000;   // the device's buffer
constexpr long kChunkFrames = 1024;      // written at a time, about 20 ms
// A wave file longer than this is cut: the program's signals are short.
constexpr long kMaxSeconds = 30;

struct Pcm {
  std::vector<int16_t> samples;  // interleaved
  int channels = 1;
  int rate = kToneRate;
  long Frames() const { return static_cast<long>(samples.size()) / channels; }
};

// A sine tone with short fades at both ends, so that it starts and stops
// without a click.
void AppendTone(Pcm& pcm, double frequency, int durationMs, double amplitude, bool decay) {
  const long frames = static_cast<long>(durationMs) * pcm.rate / 1000;
  const long fade = std::min<long>(pcm.rate / 250, frames / 2);  // 4 ms
  for (long i = 0; i < frames; ++i) {
    double gain = amplitude;
    if (i < fade) gain *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(fade));
    if (frames - 1 - i < fade) {
      gain *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(frames - 1 - i) / static_cast<double>(fade));
    }
    if (decay) gain *= std::exp(-3.0 * static_cast<double>(i) / static_cast<double>(frames));
    const double t = static_cast<double>(i) / pcm.rate;
    const double v = std::sin(2 * std::numbers::pi * frequency * t) + 0.25 * std::sin(4 * std::numbers::pi * frequency * t);
    pcm.samples.push_back(static_cast<int16_t>(std::lround(gain * v / 1.25 * 32767.0)));
  }
}

Pcm DefaultSound() {
  Pcm pcm;
  AppendTone(pcm, 784.0, 90, 0.4, false);
  AppendTone(pcm, 1046.5, 200, 0.4, true);
  return pcm;
}

std::optional<Pcm> DecodeWave(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return std::nullopt;
  std::optional<Pcm> result;
  if (info.channels >= 1 && info.channels <= 8 && info.samplerate >= 4000 && info.samplerate <= 192000 &&
      info.frames > 0) {
    Pcm pcm;
    pcm.channels = info.channels;
    pcm.rate = info.samplerate;
    const sf_count_t frames = std::min<sf_count_t>(info.frames, static_cast<sf_count_t>(kMaxSeconds) * info.samplerate);
    pcm.samples.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_short(file, pcm.samples.data(), frames);
    if (got > 0) {
      pcm.samples.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels));
      result = std::move(pcm);
    }
  }
  sf_close(file);
  return result;
}

class AlsaSoundOutput final : public SoundOutput {
 public:
  AlsaSoundOutput() { SilenceAlsa(); }
  ~AlsaSoundOutput() override {
    Shutdown();
    if (worker_.joinable()) worker_.join();
  }

  bool PlayWave(const std::string& name) override {
    std::string path = FindDataFile(name, DataLookup::kStartFolderFirst);
    if (path.empty()) return false;
    Request request;
    request.path = std::move(path);
    Post(std::move(request));
    return true;
  }

  void PlayDefaultSound() override {
    Request request;
    request.pcm = DefaultSound();
    Post(std::move(request));
  }

  void Beep(int frequencyHz, int durationMs) override {
    if (durationMs <= 0) return;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + milliseconds(durationMs);
    if (frequencyHz >= 20 && frequencyHz <= 20000) {
      Pcm tone;
      AppendTone(tone, frequencyHz, std::min(durationMs, 60'000), 0.35, false);
      // A device that stops taking samples is given up shortly after the
      // tone should have ended.
      Play(tone, [] { return false; }, end + milliseconds(500));
    }
    // Without a device, or when the device took the tone faster than it
    // plays it, the rest of the time is waited out here.
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_until(lock, end, [this] { return shut_; });
  }

  void Shutdown() override {
    std::unique_lock<std::mutex> lock(mutex_);
    shut_ = true;
    pending_.reset();
    wake_.notify_all();
    // Every player looks at the flag after each chunk; a device that hangs
    // in a call is not waited for beyond this.
    wake_.wait_for(lock, milliseconds(250), [this] { return playing_ == 0; });
  }

 private:
  struct Request {
    std::string path;        // a wave file, or
    std::optional<Pcm> pcm;  // samples of our own
  };

  void Post(Request request) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shut_) return;
    pending_ = std::move(request);
    ++generation_;
    if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    wake_.notify_all();
  }

  void Work() {
    for (;;) {
      Request request;
      uint64_t generation = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return shut_ || pending_.has_value(); });
        if (shut_) return;
        request = std::move(*pending_);
        pending_.reset();
        generation = generation_;
      }
      std::optional<Pcm> pcm = request.pcm ? std::move(request.pcm) : DecodeWave(request.path);
      if (!pcm) continue;  // not a sound: silence
      const auto replaced = [this, generation] {
        std::lock_guard<std::mutex> lock(mutex_);
        return generation_ != generation;
      };
      const long ms = pcm->Frames() * 1000 / pcm->rate;
      Play(*pcm, replaced, Clock::now() + milliseconds(ms + 1000));
    }
  }

  // Plays the samples on the default device and returns when they have been
  // heard, when stop() says so, on Shutdown, or at the deadline. The device
  // is opened without waiting: a busy one gives silence at once.
  template <typename Stop>
  void Play(const Pcm& pcm, Stop stop, Clock::time_point deadline) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (shut_) return;
      ++playing_;
    }
    snd_pcm_t* handle = nullptr;
    if (snd_pcm_open(&handle, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) == 0) {
      if (snd_pcm_set_params(handle, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                             static_cast<unsigned>(pcm.channels), static_cast<unsigned>(pcm.rate), 1,
                             kLatencyUs) == 0) {
        Stream(handle, pcm, stop, deadline);
      }
      snd_pcm_drop(handle);
      snd_pcm_close(handle);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    --playing_;
    wake_.notify_all();
  }

  template <typename Stop>
  void Stream(snd_pcm_t* handle, const Pcm& pcm, Stop& stop, Clock::time_point deadline) {
    const auto over = [&] { return Shut() || stop() || Clock::now() >= deadline; };
    const long frames = pcm.Frames();
    long done = 0;
    while (done < frames) {
      if (over()) return;
      const long count = std::min(kChunkFrames, frames - done);
      const snd_pcm_sframes_t n =
          snd_pcm_writei(handle, pcm.samples.data() + done * pcm.channels, static_cast<snd_pcm_uframes_t>(count));
      if (n > 0) {
        done += n;
      } else if (n == -EAGAIN || n == 0) {
        snd_pcm_wait(handle, 20);
      } else if (snd_pcm_recover(handle, static_cast<int>(n), 1) < 0) {
        return;
      }
    }
    // A sound shorter than the device's buffer has not started yet.
    if (snd_pcm_state(handle) == SND_PCM_STATE_PREPARED) snd_pcm_start(handle);
    // Let what is in the buffer be heard.
    for (;;) {
      snd_pcm_sframes_t delay = 0;
      if (snd_pcm_delay(handle, &delay) < 0 || delay <= 0 || over()) return;
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait_for(lock, milliseconds(10), [this] { return shut_; });
    }
  }

  bool Shut() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shut_;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool shut_ = false;
  int playing_ = 0;
  uint64_t generation_ = 0;
  std::optional<Request> pending_;
  std::thread worker_;
};

}  // namespace

std::unique_ptr<SoundOutput> CreateSoundOutput() { return std::make_unique<AlsaSoundOutput>(); }

}  // namespace platform

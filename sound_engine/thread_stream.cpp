// Outputs written from a thread of their own: ALSA, where no sound server answers, and a WAV file
// for tests and tools. The thread renders a period, writes it, and sleeps on a condition (no
// wake-up) before Play, once the piece rests, and after Stop.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "sound_engine/audio_stream.h"
#include "sound_engine/mci_errors.h"

namespace velmora::posix {

namespace {

constexpr std::size_t kPeriodFrames = 256;

// Where the thread's periods go.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual bool Write(const float* frames, std::size_t count) = 0;  // interleaved stereo
  virtual void Drop() {}                                           // what is queued, unheard
};

class AlsaSink final : public Sink {
 public:
  ~AlsaSink() override {
    if (pcm_) snd_pcm_close(pcm_);
  }
  bool Open() {
    return snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, 0) == 0 &&
           snd_pcm_set_params(pcm_, SND_PCM_FORMAT_FLOAT, SND_PCM_ACCESS_RW_INTERLEAVED, 2, 44100,
                              1, 2 * kPeriodFrames * 1000000 / 44100) == 0;
  }
  bool Write(const float* frames, std::size_t count) override {
    while (count > 0) {
      snd_pcm_sframes_t written = snd_pcm_writei(pcm_, frames, count);
      if (written < 0) written = snd_pcm_recover(pcm_, static_cast<int>(written), 1);
      if (written < 0) return false;
      frames += 2 * written;
      count -= static_cast<std::size_t>(written);
    }
    return true;
  }
  void Drop() override { snd_pcm_drop(pcm_); }

 private:
  snd_pcm_t* pcm_ = nullptr;
};

// 16-bit WAV, its sizes left open: the file is written for as long as the piece renders.
class FileSink final : public Sink {
 public:
  ~FileSink() override {
    if (file_) std::fclose(file_);
  }
  bool Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    static constexpr unsigned char kHeader[44] = {
        'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A',  'V',  'E',  'f',  'm',  't',
        ' ', 16,  0,   0,   0,    1,    0,    2,    0,   0x44, 0xAC, 0,    0,    0x10, 0xB1,
        2,   0,   4,   0,   16,   0,    'd',  'a',  't', 'a',  0xFF, 0xFF, 0xFF, 0xFF};
    return file_ && std::fwrite(kHeader, 1, sizeof kHeader, file_) == sizeof kHeader;
  }
  bool Write(const float* frames, std::size_t count) override {
    std::array<std::int16_t, 2 * kPeriodFrames> samples{};
    for (std::size_t i = 0; i < 2 * count; ++i)
      samples[i] = static_cast<std::int16_t>(std::clamp(frames[i], -1.0f, 1.0f) * 32767);
    return std::fwrite(samples.data(), 4, count, file_) == count;
  }

 private:
  std::FILE* file_ = nullptr;
};

class ThreadStream final : public AudioStream {
 public:
  ThreadStream(PieceRenderer& renderer, std::unique_ptr<Sink> sink)
      : renderer_(renderer), sink_(std::move(sink)), thread_([this] { Run(); }) {}
  ~ThreadStream() override {
    Stop();
    {
      const std::lock_guard lock(mutex_);
      closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  platform::MciError Play() override {
    {
      const std::lock_guard lock(mutex_);
      if (failed_) return mci_error::kNoSoundOutput;
    }
    wake_.notify_one();
    return platform::kMciOk;
  }
  void Stop() override {
    renderer_.RequestStop();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !rendering_; });  // at most one period's write
  }

 private:
  void Run() {
    std::array<float, 2 * kPeriodFrames> period{};
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] {
        return closing_ || renderer_.state() == PieceRenderer::State::kPlaying ||
               renderer_.state() == PieceRenderer::State::kDyingAway;
      });
      if (closing_) return;
      rendering_ = true;
      lock.unlock();
      const std::size_t rendered = renderer_.Render(period.data(), kPeriodFrames);
      const bool written = rendered == 0 || sink_->Write(period.data(), rendered);
      if (renderer_.state() == PieceRenderer::State::kStopped) sink_->Drop();
      lock.lock();
      rendering_ = false;
      failed_ = failed_ || !written;
      if (failed_) renderer_.RequestStop();
      idle_.notify_all();
    }
  }

  PieceRenderer& renderer_;
  std::unique_ptr<Sink> sink_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  bool closing_ = false, rendering_ = false, failed_ = false;
  std::thread thread_;  // last: starts once the rest is made
};

}  // namespace

std::unique_ptr<AudioStream> OpenAlsaStream(PieceRenderer& renderer) {
  auto sink = std::make_unique<AlsaSink>();
  if (!sink->Open()) return nullptr;
  return std::make_unique<ThreadStream>(renderer, std::move(sink));
}

std::unique_ptr<AudioStream> OpenFileStream(PieceRenderer& renderer, const std::string& path) {
  auto sink = std::make_unique<FileSink>();
  if (!sink->Open(path)) return nullptr;
  return std::make_unique<ThreadStream>(renderer, std::move(sink));
}

std::unique_ptr<AudioStream> OpenAudioStream(const SoundOutput& output,
                                             SoundServerConnection& server, PieceRenderer& renderer,
                                             platform::MciError& error) {
  error = mci_error::kNoSoundOutput;
  for (const std::string& driver : output.drivers) {
    try {
      std::unique_ptr<AudioStream> opened;
      if (driver == "pulseaudio") {
        opened = OpenPulseStream(server, renderer);
        // A server that answered but gave no stream (no memory for it): ALSA would lead to the
        // same server through its pulse plugin, which waits for good when it cannot start its
        // thread. Without a server, the loop's thread goes before ALSA is tried.
        if (!opened && server.answered()) return nullptr;
        if (!opened) server.Close();
      }
      if (driver == "alsa") opened = OpenAlsaStream(renderer);
      if (driver == "file") opened = OpenFileStream(renderer, output.file);
      if (opened) {
        error = platform::kMciOk;
        return opened;
      }
    } catch (const std::system_error&) {  // no thread could be started for it
      error = mci_error::kOutOfMemory;
    } catch (const std::bad_alloc&) {
      error = mci_error::kOutOfMemory;
    }
  }
  return nullptr;
}

}  // namespace velmora::posix

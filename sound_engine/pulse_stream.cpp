// The sound server's stream: libpulse's threaded main loop calls for sound when the server's buffer
// has room, and the renderer fills the server's own memory (pa_stream_begin_write). The buffer is
// large, a quarter of a second, refilled 50 ms at a time: some 20 wake-ups a second. Stop does not
// wait for it: the server drops what it holds (flush) and pauses the stream (cork).
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <utility>

#include "sound_engine/audio_stream.h"
#include "sound_engine/mci_errors.h"

namespace velmora::posix {

namespace {

constexpr std::size_t kFrameBytes = 2 * sizeof(float);
constexpr std::uint32_t kBufferBytes = 44100 / 4 * kFrameBytes;
constexpr std::uint32_t kRefillBytes = 44100 / 20 * kFrameBytes;
// A server that neither accepts nor refuses within this is taken as absent.
constexpr pa_usec_t kConnectTimeout = 2'000'000;

class PulseStream final : public AudioStream {
 public:
  explicit PulseStream(PieceRenderer& renderer) : renderer_(renderer) {}
  ~PulseStream() override;

  bool Start();
  platform::MciError Play() override;
  void Stop() override;

 private:
  bool Connect();  // with the loop locked
  void Disconnect();
  void Fill(std::size_t bytes);
  void Rest();
  static void OnWrite(pa_stream* stream, std::size_t bytes, void* self) noexcept;
  static void OnChange(void* self) noexcept;

  PieceRenderer& renderer_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  bool draining_ = false;
  bool timedOut_ = false;
};

bool PulseStream::Start() {
  loop_ = pa_threaded_mainloop_new();
  if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) return false;
  pa_threaded_mainloop_lock(loop_);
  const bool connected = Connect();
  pa_threaded_mainloop_unlock(loop_);
  return connected;
}

bool PulseStream::Connect() {
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  context_ = pa_context_new(api, "Velmora");
  if (!context_) return false;
  pa_context_set_state_callback(
      context_, [](pa_context*, void* self) { OnChange(self); }, this);
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
  timedOut_ = false;
  pa_time_event* timer = api->time_new(
      api, nullptr,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
        static_cast<PulseStream*>(self)->timedOut_ = true;
        OnChange(self);
      },
      this);
  if (timer) {
    timeval at{};
    api->time_restart(timer, pa_timeval_add(pa_gettimeofday(&at), kConnectTimeout));
  }
  pa_context_state_t state;
  while ((state = pa_context_get_state(context_)) != PA_CONTEXT_READY &&
         PA_CONTEXT_IS_GOOD(state) && !timedOut_ && timer)
    pa_threaded_mainloop_wait(loop_);
  if (state != PA_CONTEXT_READY) {
    if (timer) api->time_free(timer);
    return false;
  }
  const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, 44100, 2};
  stream_ = pa_stream_new(context_, "Music", &spec, nullptr);
  if (!stream_) {
    api->time_free(timer);
    return false;
  }
  pa_stream_set_state_callback(
      stream_, [](pa_stream*, void* self) { OnChange(self); }, this);
  pa_stream_set_write_callback(stream_, &OnWrite, this);
  const pa_buffer_attr buffer{static_cast<std::uint32_t>(-1), kBufferBytes,
                              static_cast<std::uint32_t>(-1), kRefillBytes,
                              static_cast<std::uint32_t>(-1)};
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED);
  pa_stream_state_t streamState = PA_STREAM_FAILED;
  if (pa_stream_connect_playback(stream_, nullptr, &buffer, flags, nullptr, nullptr) == 0) {
    while ((streamState = pa_stream_get_state(stream_)) == PA_STREAM_CREATING && !timedOut_)
      pa_threaded_mainloop_wait(loop_);
  }
  api->time_free(timer);
  return streamState == PA_STREAM_READY;
}

void PulseStream::Disconnect() {
  if (stream_) {
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }
  if (context_) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }
}

PulseStream::~PulseStream() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  Disconnect();
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

void PulseStream::OnChange(void* self) noexcept {
  pa_threaded_mainloop_signal(static_cast<PulseStream*>(self)->loop_, 0);
}

void PulseStream::OnWrite(pa_stream*, std::size_t bytes, void* self) noexcept {
  static_cast<PulseStream*>(self)->Fill(bytes);
}

void PulseStream::Fill(std::size_t bytes) {
  // The server's memory comes in blocks of up to 64 KiB: as many as the request needs.
  for (std::size_t left = std::max(bytes, kFramesPerBlock * kFrameBytes); left > 0;) {
    void* memory = nullptr;
    std::size_t size = left;
    if (pa_stream_begin_write(stream_, &memory, &size) < 0 || !memory) return;
    const std::size_t frames = size / kFrameBytes / kFramesPerBlock * kFramesPerBlock;
    const std::size_t rendered = renderer_.Render(static_cast<float*>(memory), frames);
    if (rendered == 0) {
      pa_stream_cancel_write(stream_);
      if (renderer_.state() == PieceRenderer::State::kResting) Rest();
      return;
    }
    pa_stream_write(stream_, memory, rendered * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE);
    left -= std::min(left, rendered * kFrameBytes);
  }
}

// The piece rests: what the server holds plays out, then the stream pauses, and nothing wakes until
// the player is closed.
void PulseStream::Rest() {
  if (std::exchange(draining_, true)) return;
  pa_operation* drained = pa_stream_drain(
      stream_,
      [](pa_stream* stream, int, void*) {
        if (pa_operation* corked = pa_stream_cork(stream, 1, nullptr, nullptr))
          pa_operation_unref(corked);
      },
      nullptr);
  if (drained) pa_operation_unref(drained);
}

platform::MciError PulseStream::Play() {
  pa_threaded_mainloop_lock(loop_);
  // A server that went away since: one new connection, which fails at once while it is away.
  if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) {
    Disconnect();
    if (!Connect()) {
      Disconnect();
      pa_threaded_mainloop_unlock(loop_);
      return mci_error::kNoSoundOutput;
    }
  }
  // The first fill is the main loop's work, not the caller's: Play returns at once.
  pa_mainloop_api_once(
      pa_threaded_mainloop_get_api(loop_),
      [](pa_mainloop_api*, void* self) {
        auto& stream = *static_cast<PulseStream*>(self);
        if (!stream.stream_) return;
        const std::size_t writable = pa_stream_writable_size(stream.stream_);
        if (writable != static_cast<std::size_t>(-1) && writable > 0) stream.Fill(writable);
      },
      this);
  if (pa_operation* uncorked = pa_stream_cork(stream_, 0, nullptr, nullptr))
    pa_operation_unref(uncorked);
  pa_threaded_mainloop_unlock(loop_);
  return platform::kMciOk;
}

void PulseStream::Stop() {
  renderer_.RequestStop();  // a render under way returns at its next event
  pa_threaded_mainloop_lock(loop_);
  if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY) {
    for (pa_operation* done :
         {pa_stream_flush(stream_, nullptr, nullptr), pa_stream_cork(stream_, 1, nullptr, nullptr)})
      if (done) pa_operation_unref(done);
  }
  pa_threaded_mainloop_unlock(loop_);
}

}  // namespace

std::unique_ptr<AudioStream> OpenPulseStream(PieceRenderer& renderer) {
  auto stream = std::make_unique<PulseStream>(renderer);
  if (!stream->Start()) return nullptr;
  return stream;
}

}  // namespace velmora::posix

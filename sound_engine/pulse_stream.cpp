// The sound server's stream: libpulse's threaded main loop calls for sound when the server's buffer
// has room, and the renderer fills the server's own memory (pa_stream_begin_write). The buffer is
// large, a quarter of a second, refilled 50 ms at a time: some 50 wake-ups a second. Stop does not
// wait for it: the server drops what it holds (flush) and pauses the stream (cork). The main loop
// and the connection (SoundServerConnection) stay from one piece to the next: close frees only the
// stream.
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

void Signal(void* loop) noexcept {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

// Waits, the loop locked, until `done` or the server's time is up.
template <typename Done>
bool WaitFor(pa_threaded_mainloop* loop, Done done) {
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
  bool timedOut = false;
  struct Timer {
    pa_threaded_mainloop* loop;
    bool* timedOut;
  } timer{loop, &timedOut};
  timeval at{};
  pa_time_event* event = api->time_new(
      api, pa_timeval_add(pa_gettimeofday(&at), kConnectTimeout),
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
        auto& fired = *static_cast<Timer*>(data);
        *fired.timedOut = true;
        Signal(fired.loop);
      },
      &timer);
  if (!event) return false;
  while (!done() && !timedOut) pa_threaded_mainloop_wait(loop);
  api->time_free(event);
  return done();
}

class PulseStream final : public AudioStream {
 public:
  PulseStream(SoundServerConnection& server, PieceRenderer& renderer)
      : server_(server), renderer_(renderer) {
    ++server_.streams;
  }
  ~PulseStream() override;

  bool Start();  // with the loop locked
  platform::MciError Play() override;
  void Stop() override;

 private:
  pa_threaded_mainloop* loop() const { return server_.loop(); }
  void Disconnect();
  void Fill(std::size_t bytes) noexcept;
  void Rest() noexcept;
  static void OnWrite(pa_stream* stream, std::size_t bytes, void* self) noexcept;

  SoundServerConnection& server_;
  PieceRenderer& renderer_;
  pa_stream* stream_ = nullptr;
  pa_defer_event* firstFill_ = nullptr;
  bool draining_ = false;
};

bool PulseStream::Start() {
  const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, 44100, 2};
  stream_ = pa_stream_new(server_.context(), "Music", &format, nullptr);
  if (!stream_) return false;
  const auto signalLoop = [](pa_stream*, void* loop) { Signal(loop); };
  pa_stream_set_state_callback(stream_, signalLoop, loop());
  pa_stream_set_write_callback(stream_, &OnWrite, this);
  const pa_buffer_attr buffer{static_cast<std::uint32_t>(-1), kBufferBytes,
                              static_cast<std::uint32_t>(-1), kRefillBytes,
                              static_cast<std::uint32_t>(-1)};
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED);
  if (pa_stream_connect_playback(stream_, nullptr, &buffer, flags, nullptr, nullptr) < 0)
    return false;
  return WaitFor(loop(), [this] { return pa_stream_get_state(stream_) != PA_STREAM_CREATING; }) &&
         pa_stream_get_state(stream_) == PA_STREAM_READY;
}

void PulseStream::Disconnect() {
  if (firstFill_) {
    pa_threaded_mainloop_get_api(loop())->defer_free(firstFill_);
    firstFill_ = nullptr;
  }
  if (!stream_) return;
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

PulseStream::~PulseStream() {
  pa_threaded_mainloop_lock(loop());
  Disconnect();
  pa_threaded_mainloop_unlock(loop());
  --server_.streams;
}

void PulseStream::OnWrite(pa_stream*, std::size_t bytes, void* self) noexcept {
  static_cast<PulseStream*>(self)->Fill(bytes);
}

void PulseStream::Fill(std::size_t bytes) noexcept {
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
void PulseStream::Rest() noexcept {
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
  pa_threaded_mainloop_lock(loop());
  // A server that went away since: one new connection, which fails at once while it is away.
  if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) {
    Disconnect();
    if (!server_.Connected() || !Start()) {
      pa_threaded_mainloop_unlock(loop());
      return mci_error::kNoSoundOutput;
    }
  }
  // The first fill is the main loop's work, not the caller's: Play returns at once.
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop());
  if (!firstFill_) {
    firstFill_ = api->defer_new(
        api,
        [](pa_mainloop_api* api, pa_defer_event* event, void* self) {
          api->defer_enable(event, 0);
          auto& stream = *static_cast<PulseStream*>(self);
          const std::size_t writable = pa_stream_writable_size(stream.stream_);
          if (writable != static_cast<std::size_t>(-1) && writable > 0) stream.Fill(writable);
        },
        this);
  } else {
    api->defer_enable(firstFill_, 1);
  }
  if (pa_operation* uncorked = pa_stream_cork(stream_, 0, nullptr, nullptr))
    pa_operation_unref(uncorked);
  pa_threaded_mainloop_unlock(loop());
  return platform::kMciOk;
}

void PulseStream::Stop() {
  renderer_.RequestStop();  // a render under way returns at its next event
  pa_threaded_mainloop_lock(loop());
  if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY) {
    for (pa_operation* done :
         {pa_stream_flush(stream_, nullptr, nullptr), pa_stream_cork(stream_, 1, nullptr, nullptr)})
      if (done) pa_operation_unref(done);
  }
  pa_threaded_mainloop_unlock(loop());
}

}  // namespace

SoundServerConnection::~SoundServerConnection() { Close(); }

void SoundServerConnection::Close() {
  if (!loop_ || streams > 0) return;
  pa_threaded_mainloop_lock(loop_);
  Disconnect();
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
}

void SoundServerConnection::Disconnect() {
  answered_ = false;
  if (!context_) return;
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
}

bool SoundServerConnection::Connected() {
  if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) return true;
  Disconnect();
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Velmora");
  if (!context_) return false;
  const auto signalLoop = [](pa_context*, void* loop) { Signal(loop); };
  pa_context_set_state_callback(context_, signalLoop, loop_);
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
  answered_ = WaitFor(loop_,
                      [this] {
                        const pa_context_state_t state = pa_context_get_state(context_);
                        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
                      }) &&
              pa_context_get_state(context_) == PA_CONTEXT_READY;
  return answered_;
}

std::unique_ptr<AudioStream> OpenPulseStream(SoundServerConnection& server,
                                             PieceRenderer& renderer) {
  if (!server.loop()) {
    server.loop_ = pa_threaded_mainloop_new();
    if (!server.loop_) return nullptr;
    if (pa_threaded_mainloop_start(server.loop_) < 0) {
      pa_threaded_mainloop_free(server.loop_);
      server.loop_ = nullptr;
      return nullptr;
    }
  }
  auto stream = std::make_unique<PulseStream>(server, renderer);
  pa_threaded_mainloop_lock(server.loop());
  const bool started = server.Connected() && stream->Start();
  pa_threaded_mainloop_unlock(server.loop());
  if (!started) return nullptr;
  return stream;
}

}  // namespace velmora::posix

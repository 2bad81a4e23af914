#pragma once
// Where a player's sound goes: a stream of this engine's own, which pulls the sound from the
// piece's renderer. First choice, the sound server (PulseAudio, or PipeWire's pulse service)
// through libpulse's asynchronous API; where no server answers, ALSA; for tests and tools, a WAV
// file written as fast as the synthesizer renders.

#include <memory>
#include <string>
#include <vector>

#include "platform/mci.h"
#include "sound_engine/piece_renderer.h"

struct pa_threaded_mainloop;
struct pa_context;

namespace velmora::posix {

class AudioStream;

// The sound server: libpulse's threaded main loop and one connection, made by the first stream
// that needs them and kept for the streams that follow (close frees only its stream, and the loop
// sleeps without a stream); connected again when the server has gone away.
class SoundServerConnection {
 public:
  SoundServerConnection() = default;
  ~SoundServerConnection();
  SoundServerConnection(const SoundServerConnection&) = delete;
  SoundServerConnection& operator=(const SoundServerConnection&) = delete;

  pa_threaded_mainloop* loop() const { return loop_; }
  pa_context* context() const { return context_; }
  // With the loop locked: connected, connecting again if need be; false when no server answers
  // within 2 s.
  bool Connected();

 private:
  friend std::unique_ptr<AudioStream> OpenPulseStream(SoundServerConnection& server,
                                                      PieceRenderer& renderer);
  void Disconnect();

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
};

// The outputs to try, in order ("pulseaudio", "alsa", "file"), and the file's path.
struct SoundOutput {
  std::vector<std::string> drivers{"pulseaudio", "alsa"};
  std::string file;
};

class AudioStream {
 public:
  virtual ~AudioStream() = default;
  // Sound begins from the renderer (started by the caller); 343 when the output has gone away
  // and cannot be reached again.
  virtual platform::MciError Play() = 0;
  // Returns once no render runs or will run, with nothing more to be heard.
  virtual void Stop() = 0;
};

// The first output of `output.drivers` that starts, silent until Play; nothing and the error code
// (343 none answers, 264 no memory for it) otherwise.
std::unique_ptr<AudioStream> OpenAudioStream(const SoundOutput& output,
                                             SoundServerConnection& server, PieceRenderer& renderer,
                                             platform::MciError& error);

// One output each; nothing when it cannot start.
std::unique_ptr<AudioStream> OpenPulseStream(SoundServerConnection& server,
                                             PieceRenderer& renderer);
std::unique_ptr<AudioStream> OpenAlsaStream(PieceRenderer& renderer);
std::unique_ptr<AudioStream> OpenFileStream(PieceRenderer& renderer, const std::string& path);

}  // namespace velmora::posix

#include "sound_engine/player.h"

#include <fluidsynth.h>

#include <array>

#include "sound_engine/mci_errors.h"

namespace velmora::posix {

Player::Player(MidiPiece piece, SynthesizerKeeper& keeper, std::unique_ptr<Synthesizer> synthesizer,
               std::function<void()> ended)
    : piece_(std::move(piece)),
      keeper_(keeper),
      synthesizer_(std::move(synthesizer)),
      renderer_(synthesizer_->synth(), piece_, std::move(ended)) {}

std::unique_ptr<Player> Player::Open(MidiPiece piece, SynthesizerKeeper& keeper,
                                     std::unique_ptr<Synthesizer> synthesizer,
                                     const SoundOutput& output, SoundServerConnection& server,
                                     std::function<void()> ended, platform::MciError& error) {
  std::unique_ptr<Player> player(
      new Player(std::move(piece), keeper, std::move(synthesizer), std::move(ended)));
  player->output_ = OpenAudioStream(output, server, player->renderer_, error);
  if (!player->output_) return nullptr;
  error = platform::kMciOk;
  return player;
}

platform::MciError Player::Play() {
  if (!renderer_.Start() && renderer_.state() != PieceRenderer::State::kPlaying)
    return platform::kMciOk;  // played to its end already
  return output_->Play();
}

Player::~Player() {
  if (output_) output_->Stop();
  output_.reset();
  // Cut every voice; one block rendered here lets the synthesizer free them, so the reset that
  // follows (reverb and chorus included) finds none still sounding.
  fluid_synth_all_sounds_off(synthesizer_->synth(), -1);
  std::array<float, std::size_t{2} * kFramesPerBlock> block{};
  fluid_synth_write_float(synthesizer_->synth(), kFramesPerBlock, block.data(), 0, 2, block.data(),
                          1, 2);
  synthesizer_->CountRendered(renderer_.framesRendered() + kFramesPerBlock);
  keeper_.GiveBack(std::move(synthesizer_));
}

}  // namespace velmora::posix

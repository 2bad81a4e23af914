#include "sound_engine/piece_renderer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <utility>

namespace velmora::posix {

namespace {

// A piece whose next event lies further than 2^31 ms away (a damaged delta time, weeks of silence)
// ends there.
constexpr std::uint64_t kLatestBlock =
    (std::uint64_t{1} << 31) * 441 / (std::uint64_t{10} * kFramesPerBlock);
// Dying away: a tenth of a second below the 16-bit step in a row ends it; 3 s at most, then every
// voice is cut (a release that never ends, a feedback of the effects).
constexpr int kQuietBlocksToRest = 4410 / kFramesPerBlock;
constexpr int kMostDyingBlocks = 3 * 44100 / kFramesPerBlock;

}  // namespace

PieceRenderer::PieceRenderer(fluid_synth_t* synth, const MidiPiece& piece,
                             std::function<void()> ended)
    : synth_(synth), cursor_(piece), ended_(std::move(ended)) {
  hasEvent_ = cursor_.Next() == MidiPieceCursor::Step::kEvent;  // checked whole at open
}

bool PieceRenderer::Start() {
  State open = State::kOpen;
  return state_.compare_exchange_strong(open, State::kPlaying);
}

std::size_t PieceRenderer::Render(float* out, std::size_t frames) noexcept {
  std::size_t rendered = 0;
  for (; rendered + kFramesPerBlock <= frames; rendered += kFramesPerBlock) {
    const State state = state_;
    if (state == State::kPlaying) {
      SendDueEvents();
    } else if (state != State::kDyingAway) {
      break;
    } else if (!std::exchange(released_, true)) {
      ReleaseHeldNotes();
    }
    if (state_ == State::kStopped) break;
    float* block = out + 2 * rendered;
    fluid_synth_write_float(synth_, kFramesPerBlock, block, 0, 2, block, 1, 2);
    ++block_;
    if (state_ == State::kDyingAway) CountSilence(block);
  }
  return rendered;
}

void PieceRenderer::SendDueEvents() noexcept {
  for (int sent = 0; hasEvent_ && cursor_.block() <= block_; ++sent) {
    if (sent == kEventsPerBlock || state_ == State::kStopped) return;
    Send(cursor_.event());
    hasEvent_ = cursor_.Next() == MidiPieceCursor::Step::kEvent;
  }
  if (!hasEvent_ || cursor_.block() > kLatestBlock) {
    State playing = State::kPlaying;
    state_.compare_exchange_strong(playing, State::kDyingAway);
  }
}

// One block after the last events: a note-off on a voice that an All Sound Off in the same block
// has cut would bring it back for its release.
void PieceRenderer::ReleaseHeldNotes() noexcept {
  for (int channel = 0; channel < 16; ++channel) {
    fluid_synth_all_notes_off(synth_, channel);  // notes the file never released
    fluid_synth_cc(synth_, channel, 64, 0);      // sustain: the notes it holds are released too
    fluid_synth_cc(synth_, channel, 66, 0);      // sostenuto
  }
}

void PieceRenderer::CountSilence(const float* block) noexcept {
  const bool silent = std::all_of(block, block + std::ptrdiff_t{2} * kFramesPerBlock,
                                  [](float sample) { return std::fabs(sample) < 1.0f / 32768; });
  quietBlocks_ = silent ? quietBlocks_ + 1 : 0;
  if (quietBlocks_ < kQuietBlocksToRest && ++dyingBlocks_ < kMostDyingBlocks) return;
  fluid_synth_all_sounds_off(synth_, -1);
  State dying = State::kDyingAway;
  if (!state_.compare_exchange_strong(dying, State::kResting) || !ended_) return;
  try {
    ended_();  // the program's code: nothing it throws may cross the output's C callback
  } catch (...) {
    std::fputs("velmora: the notice that the piece has ended failed\n", stderr);
  }
}

void PieceRenderer::Send(const MidiEvent& event) noexcept {
  const int channel = event.status & 0x0F;
  const auto [first, second] = event.data;
  switch (event.status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth_, channel, first); break;
    case 0x90: fluid_synth_noteon(synth_, channel, first, second); break;
    case 0xA0: fluid_synth_key_pressure(synth_, channel, first, second); break;
    case 0xB0: fluid_synth_cc(synth_, channel, first, second); break;
    case 0xC0: fluid_synth_program_change(synth_, channel, first); break;
    case 0xD0: fluid_synth_channel_pressure(synth_, channel, first); break;
    case 0xE0:
      fluid_synth_pitch_bend(synth_, channel, (second & 0x7F) << 7 | (first & 0x7F));
      break;
    default:
      if (event.status == 0xF0)
        fluid_synth_sysex(synth_, reinterpret_cast<const char*>(event.payload.data()),
                          static_cast<int>(event.payload.size()), nullptr, nullptr, nullptr, 0);
      // the piece's end marker: its notes are released in the block after it
  }
}

}  // namespace velmora::posix

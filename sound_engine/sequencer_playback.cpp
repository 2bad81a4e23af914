#include "sound_engine/sequencer_playback.h"

#include <fluidsynth.h>

namespace velmora::posix {

namespace {

// The sequencer counts milliseconds in 32 bits: a piece that lasts longer than this (a damaged
// delta time, days of silence) stops here.
constexpr std::uint64_t kLatestMs = std::uint64_t{1} << 31;

}  // namespace

std::unique_ptr<SequencerPlayback> SequencerPlayback::Create(fluid_synth_t* synth,
                                                             const MidiPiece& piece,
                                                             std::function<void()> ended) {
  std::unique_ptr<SequencerPlayback> made(new SequencerPlayback(synth, piece, std::move(ended)));
  made->hasEvent_ = made->cursor_.Next() == MidiPieceCursor::Step::kEvent;
  made->sequencer_ = new_fluid_sequencer2(0);
  if (!made->sequencer_ || fluid_sequencer_register_fluidsynth(made->sequencer_, synth) < 0)
    return nullptr;
  made->client_ =
      fluid_sequencer_register_client(made->sequencer_, "velmora", &OnTimer, made.get());
  made->start_ = new_fluid_event();
  made->next_ = new_fluid_event();
  if (made->client_ < 0 || !made->start_ || !made->next_) return nullptr;
  for (fluid_event_t* event : {made->start_, made->next_}) {
    fluid_event_set_source(event, -1);
    fluid_event_set_dest(event, made->client_);
    fluid_event_timer(event, nullptr);
  }
  return made;
}

SequencerPlayback::~SequencerPlayback() {
  if (sequencer_) delete_fluid_sequencer(sequencer_);  // and with it both clients
  if (start_) delete_fluid_event(start_);
  if (next_) delete_fluid_event(next_);
}

bool SequencerPlayback::Start() {
  if (std::exchange(started_, true)) return true;
  return fluid_sequencer_send_at(sequencer_, start_, 0, 0) == FLUID_OK;  // now
}

void SequencerPlayback::Stop() {
  // Waits for a client call under way; after it nothing of the piece is queued.
  fluid_sequencer_remove_events(sequencer_, -1, client_, -1);
  fluid_synth_all_sounds_off(synth_, -1);
}

void SequencerPlayback::OnTimer(unsigned int now, fluid_event_t* event, fluid_sequencer_t*,
                                void* data) {
  if (fluid_event_get_type(event) != FLUID_SEQ_TIMER) return;  // unregistering
  auto& self = *static_cast<SequencerPlayback*>(data);
  const std::uint64_t block = BlockAtMs(now);
  if (!self.firstBlock_) self.firstBlock_ = block;
  self.SendUpTo(block - *self.firstBlock_);
}

void SequencerPlayback::SendUpTo(std::uint64_t block) {
  while (hasEvent_ && cursor_.block() <= block) {
    Send(cursor_.event());
    hasEvent_ = cursor_.Next() == MidiPieceCursor::Step::kEvent;  // checked whole at open
  }
  const std::uint64_t nextMs = BlockMs(*firstBlock_ + cursor_.block());
  if (!hasEvent_ || nextMs > kLatestMs) {
    if (!ended_.exchange(true) && onEnded_) onEnded_();
    return;
  }
  fluid_sequencer_send_at(sequencer_, next_, static_cast<unsigned int>(nextMs), 1);
}

void SequencerPlayback::Send(const MidiEvent& event) {
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
      if (event.status == 0xF0) {
        fluid_synth_sysex(synth_, reinterpret_cast<const char*>(event.payload.data()),
                          static_cast<int>(event.payload.size()), nullptr, nullptr, nullptr, 0);
      } else {  // the piece's end: notes held by a pedal fade as they would when released
        for (int pedalChannel = 0; pedalChannel < 16; ++pedalChannel) {
          fluid_synth_cc(synth_, pedalChannel, 64, 0);  // sustain
          fluid_synth_cc(synth_, pedalChannel, 66, 0);  // sostenuto
        }
      }
  }
}

}  // namespace velmora::posix

// Play and Stop: the window's central use, Ready -> Playing -> Idle.
#include "main_window/form1.h"
#include "main_window/scoped_flag.h"

namespace velmora {

namespace {
// The status line holds one sentence: a device's text up to the end of its first sentence.
std::string FirstSentence(const std::string& text) {
  const std::size_t end = text.find(". ");
  return end == std::string::npos ? text : text.substr(0, end + 1);
}
}  // namespace

void Form1::cmdPlay_Click() {
  // Play lets waiting events run before it opens the device; a second click among them must not
  // open the alias a second time.
  if (playInProgress_) return;
  StepResult failure;
  const char* step = nullptr;
  {
    ScopedFlag inProgress(playInProgress_);
    host_.window.SetCaption(ControlId::Label1, "Please Wait");
    host_.window.ProcessPendingEvents();  // paint "Please Wait" before the device opens
    if (StepResult opened = OpenMidi(); opened.failed()) {
      failure = opened;
      step = "open: ";
    } else if (StepResult played = PlayMidi(); played.failed()) {
      failure = played;
      step = "play: ";
    }
  }

  if (step != nullptr) {
    CloseMidi();  // release whatever the failed step left open; a failure here means nothing was
    host_.window.SetVisible(ControlId::cmdPlay, false);
    ShowIdle();
    host_.window.SetCaption(ControlId::Label1, step + FirstSentence(failure.errorText));
    return;
  }
  playing_ = true;
  host_.window.SetVisible(ControlId::cmdPlay, false);
  host_.window.SetVisible(ControlId::cmdStop, true);
  host_.window.SetCaption(ControlId::Label1, "Now Playing \r\n" + FileTitle);
}

void Form1::cmdStop_Click() {
  CloseMidi();  // a failure means nothing was open: Stop returns to Idle all the same
  playing_ = false;
  host_.window.SetVisible(ControlId::cmdStop, false);
  ShowIdle();
  host_.window.SetCaption(ControlId::Label1, "");
}

void Form1::ShowIdle() { host_.window.SetVisible(ControlId::CmdGetMidFile, true); }

}  // namespace velmora

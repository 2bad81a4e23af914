#pragma once
// The program's one window: its state, the handlers of its buttons and of its closing, and the
// sequencer steps it drives. Talks to its host only through the platform interfaces.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "main_window/form_design.h"
#include "platform/platform.h"

namespace velmora {

// What a sequencer step answered: 0, or the MCI error and its text.
struct StepResult {
  platform::MciError code = platform::kMciOk;
  std::string errorText;
  bool failed() const { return code != platform::kMciOk; }
};

class Form1 : public platform::WindowEvents {
 public:
  explicit Form1(const platform::Platform& host);

  // Window events, dispatched to the handler of the control.
  void Click(ControlId control) override;
  void Unload(std::int16_t& cancel) override;
  // Ways in from outside the window: what a user does who chooses the file and presses Play, and
  // the media keys, through the same handlers.
  void OpenFile(std::string_view path) override;
  void Media(platform::MediaKey key) override;

  void CmdGetMidFile_Click();
  void cmdPlay_Click();
  void cmdStop_Click();
  void Form_Unload(std::int16_t& cancel);

  // Window state. FileName holds the dialog's buffer up to its first NUL.
  std::string FileName;
  std::string FileTitle;
  std::int16_t SlashPos = 0;

 private:
  void CheckFile();
  void SlideOffScreen();
  void ShowIdle();
  void PlayChosenFile();
  // After each event: a file handed over while a handler was busy is opened, and the desktop's
  // now-playing controls learn what changed.
  void AfterEvent();
  // The dialog's loop and Play's processing of waiting events run other events inside a handler.
  bool Busy() const { return dialogOpen_ || playInProgress_; }

  // The sequencer steps, on the fixed alias "mcitest".
  StepResult OpenMidi();
  StepResult PlayMidi();
  StepResult CloseMidi();
  StepResult Checked(platform::MciError code);

  platform::Platform host_;
  bool playInProgress_ = false;
  bool dialogOpen_ = false;
  bool playing_ = false;    // from a Play that succeeded to the next Stop
  std::string chosenFile_;  // the last file CheckFile accepted
  std::optional<std::string> handedOver_;
  // What the now-playing controls were last told.
  std::string reportedFile_, reportedTitle_;
  bool reportedPlaying_ = false;
};

}  // namespace velmora

#pragma once
// The program's one window: its state, the handlers of its buttons and of its closing, and the
// sequencer steps it drives. Talks to its host only through the platform interfaces.

#include <cstdint>
#include <string>

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

  // The sequencer steps, on the fixed alias "mcitest".
  StepResult OpenMidi();
  StepResult PlayMidi();
  StepResult CloseMidi();
  StepResult Checked(platform::MciError code);

  platform::Platform host_;
  bool playInProgress_ = false;
};

}  // namespace velmora

#pragma once
// What the program needs of the window system: one top-level window built from the stored design,
// captions and visible flags of its controls, the window's position and size in twips, and the
// event loop's two services (process pending events, end the program).

#include <cstdint>
#include <optional>
#include <string_view>

#include "main_window/form_design.h"

namespace velmora::platform {

using InstanceHandle = std::uintptr_t;

enum class WindowMetric { Left, Top, Width, Height };

// The media keys and the desktop's now-playing controls. There is no pause: the sequencer is
// closed by Stop, as the window's own Stop button does.
enum class MediaKey { Play, Stop, PlayPause };

// Receives the window's events; the window system calls it on the program's one thread.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void Click(ControlId control) = 0;
  virtual void Unload(std::int16_t& cancel) = 0;
  // A file handed over from outside the dialog (the command line, a drop, a second launch, the
  // desktop's controls): a full path, in the encoding the dialog gives.
  virtual void OpenFile(std::string_view path) = 0;
  virtual void Media(MediaKey key) = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Shows text up to its first NUL; CR LF starts a new line.
  virtual void SetCaption(ControlId control, std::string_view text) = 0;
  virtual void SetVisible(ControlId control, bool visible) = 0;

  // Twips. A read that fails gives nothing (the screen's width, when given, is above 0); a value
  // the window system cannot take gives false.
  virtual std::optional<float> GetWindowMetric(WindowMetric metric) = 0;
  virtual bool SetWindowMetric(WindowMetric metric, float twips) = 0;
  virtual std::optional<float> ScreenWidth() = 0;

  virtual InstanceHandle ModuleInstance() = 0;

  // Puts every change made so far on the screen, handling no event. False when the window system
  // refused them: the window stays where and as it was.
  virtual bool UpdateScreen() = 0;
  // Returns once every waiting event, repaints and clicks included, has been handled.
  virtual void ProcessPendingEvents() = 0;
  // No further handler runs and the process exits.
  [[noreturn]] virtual void EndProgram() = 0;
};

}  // namespace velmora::platform

#pragma once
// The desktop's now-playing controls (the media keys' owner, a panel's player applet): told of
// every change of the chosen file and of whether it plays.

#include <string_view>

namespace velmora::platform {

struct PieceState {
  std::string_view file;   // the chosen file's full path; empty before any
  std::string_view title;  // its name, as the window shows it
  bool playing = false;    // told to play, and not stopped since
};

class NowPlaying {
 public:
  virtual ~NowPlaying() = default;
  virtual void Changed(const PieceState& state) = 0;
};

}  // namespace velmora::platform

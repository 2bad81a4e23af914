// Ways in from outside the window: a file handed over by the desktop (the command line, a drop, a
// second launch, the now-playing controls) and the media keys. Each does what the user does with
// the dialog and the buttons, through their handlers, so the window shows the same states.
#include <utility>

#include "main_window/form1.h"

namespace velmora {

void Form1::OpenFile(std::string_view path) {
  if (Busy()) {
    // Inside the dialog's loop or Play's waiting events: the newest file is opened once the
    // running handler is done, so the window never shows two states at once.
    handedOver_ = std::string(path);
    return;
  }
  const std::string_view file = path.substr(0, path.find('\0'));
  // Without a folder it names no file, as a cancelled dialog: what plays goes on playing.
  if (file.find(host_.files.PathSeparator()) != std::string_view::npos) {
    if (playing_) cmdStop_Click();
    FileName = std::string(file);
    PlayChosenFile();
  }
  AfterEvent();
}

void Form1::Media(platform::MediaKey key) {
  if (!Busy()) {
    using platform::MediaKey;
    const bool stop = key == MediaKey::Stop || (key == MediaKey::PlayPause && playing_);
    if (stop && playing_) cmdStop_Click();
    if (!stop && !playing_) {
      // The last file chosen plays again, also after Stop has returned the window to Idle.
      FileName = chosenFile_;
      PlayChosenFile();
    }
  }
  AfterEvent();
}

void Form1::PlayChosenFile() {
  CheckFile();
  if (SlashPos > 0) cmdPlay_Click();  // a name without a folder is no choice, as in the dialog
}

void Form1::AfterEvent() {
  if (Busy()) return;
  if (handedOver_) {
    const std::string path = *std::exchange(handedOver_, std::nullopt);
    OpenFile(path);  // reports for itself
    return;
  }
  if (host_.nowPlaying == nullptr) return;
  if (reportedPlaying_ == playing_ && reportedFile_ == chosenFile_ && reportedTitle_ == FileTitle)
    return;
  reportedFile_ = chosenFile_, reportedTitle_ = FileTitle, reportedPlaying_ = playing_;
  host_.nowPlaying->Changed({reportedFile_, reportedTitle_, playing_});
}

}  // namespace velmora

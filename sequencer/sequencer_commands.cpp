// The sequencer steps: open the chosen file by its short path on the alias "mcitest", play it
// without waiting, close it. Each returns the device's answer with its text.
#include <string>

#include "main_window/form1.h"

namespace velmora {

namespace {
constexpr std::size_t kShortPathLength = 67;
constexpr std::size_t kErrorTextLength = 255;
}  // namespace

StepResult Form1::Checked(platform::MciError code) {
  StepResult result{code, {}};
  if (code == platform::kMciOk) return result;
  std::string text(kErrorTextLength, '\0');
  host_.mci.GetErrorString(code, text);
  result.errorText = text.substr(0, text.find('\0'));
  return result;
}

StepResult Form1::OpenMidi() {
  std::string shortPath(kShortPathLength, '\0');
  std::uint32_t length = host_.files.GetShortPathName(FileName, shortPath);
  if (length > shortPath.size()) {
    // A short form that does not fit (deep folders): ask again with the size the call asked for.
    shortPath.assign(length, '\0');
    length = host_.files.GetShortPathName(FileName, shortPath);
  }
  // No short form: the file is gone. Opening with an empty element would open no file at all.
  if (length == 0 || length > shortPath.size()) return Checked(platform::kMciErrFileNotFound);
  shortPath.resize(length);

  // Volumes without short names keep blanks in the short form: the device needs them quoted.
  const bool hasBlank = shortPath.find(' ') != std::string::npos;
  const std::string element = hasBlank ? '"' + shortPath + '"' : shortPath;
  return Checked(host_.mci.SendString("open " + element + " type sequencer alias mcitest"));
}

StepResult Form1::PlayMidi() { return Checked(host_.mci.SendString("play mcitest")); }

StepResult Form1::CloseMidi() { return Checked(host_.mci.SendString("close mcitest")); }

}  // namespace velmora

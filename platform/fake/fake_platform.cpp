#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace velmora::fake {

using platform::WindowMetric;

std::string_view NameOf(ControlId control) { return kForm1Design.control(control).name; }

std::string_view NameOf(WindowMetric metric) {
  switch (metric) {
    case WindowMetric::Left: return "Left";
    case WindowMetric::Top: return "Top";
    case WindowMetric::Width: return "Width";
    case WindowMetric::Height: return "Height";
  }
  return "?";
}

FakePlatform::FakePlatform() {
  for (const auto& control : kForm1Design.controls) {
    captions[control.id] = std::string(control.caption);
    visible[control.id] = control.visible;
  }
  metrics = {{WindowMetric::Left, 1500},
             {WindowMetric::Top, 1500},
             {WindowMetric::Width, 2760},
             {WindowMetric::Height, 2730}};
}

std::vector<std::string> FakePlatform::callsStartingWith(const std::string& prefix) const {
  std::vector<std::string> matching;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(matching),
               [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
  return matching;
}

void FakePlatform::SetCaption(ControlId control, std::string_view text) {
  calls.push_back("SetCaption " + std::string(NameOf(control)) + " " + std::string(text));
  captions[control] = std::string(text);
}

void FakePlatform::SetVisible(ControlId control, bool isVisible) {
  calls.push_back("SetVisible " + std::string(NameOf(control)) + (isVisible ? " yes" : " no"));
  visible[control] = isVisible;
}

std::optional<float> FakePlatform::GetWindowMetric(WindowMetric metric) {
  calls.push_back("Get " + std::string(NameOf(metric)));
  if (failReads) return std::nullopt;
  return metrics[metric];
}

bool FakePlatform::SetWindowMetric(WindowMetric metric, float twips) {
  calls.push_back("Set " + std::string(NameOf(metric)) + " " +
                  std::to_string(static_cast<int>(twips)));
  if (rejectWrites[metric]) return false;
  const bool isSize = metric == WindowMetric::Width || metric == WindowMetric::Height;
  metrics[metric] = isSize ? std::max(twips, minimumSize) : twips;
  return true;
}

std::optional<float> FakePlatform::ScreenWidth() {
  calls.push_back("ScreenWidth");
  if (failReads) return std::nullopt;
  return screenWidth;
}

void FakePlatform::ProcessPendingEvents() {
  calls.push_back("ProcessPendingEvents");
  auto waiting = std::move(pendingEvents);
  pendingEvents.clear();
  for (auto& event : waiting) event();
}

void FakePlatform::EndProgram() {
  calls.push_back("EndProgram");
  throw ProgramEnded();
}

std::function<bool(platform::OpenFileName&)> FakePlatform::Choose(const std::string& path) {
  return [path](platform::OpenFileName& request) {
    // Like a real dialog, a path that does not fit the buffer is a failure that writes nothing.
    if (path.size() > request.file.size() || path.size() >= request.maxFile) return false;
    std::copy(path.begin(), path.end(), request.file.begin());
    if (path.size() < request.file.size()) request.file[path.size()] = '\0';
    return true;
  };
}

bool FakePlatform::GetOpenFileName(platform::OpenFileName& request) {
  calls.push_back("GetOpenFileName " + request.title);
  dialogRequests.push_back(request);
  if (dialogAnswers.empty()) return false;
  auto answer = std::move(dialogAnswers.front());
  dialogAnswers.pop_front();
  return answer(request);
}

platform::MciError FakePlatform::SendString(const std::string& command) {
  calls.push_back("SendString " + command);
  return mciAnswer ? mciAnswer(command) : platform::kMciOk;
}

std::string FakePlatform::errorTextFor(platform::MciError code) const {
  return "error " + std::to_string(code);
}

bool FakePlatform::GetErrorString(platform::MciError code, std::span<char> buffer) {
  calls.push_back("GetErrorString " + std::to_string(code));
  const std::string text = errorTextFor(code);
  if (buffer.empty()) return false;
  const std::size_t n = std::min(text.size(), buffer.size() - 1);
  std::memcpy(buffer.data(), text.data(), n);
  buffer[n] = '\0';
  return true;
}

std::uint32_t FakePlatform::GetShortPathName(const std::string& longPath, std::span<char> buffer) {
  const std::string path = longPath.substr(0, longPath.find('\0'));
  calls.push_back("GetShortPathName " + path + " " + std::to_string(buffer.size()));
  const auto found = shortPaths.find(path);
  if (found == shortPaths.end()) return 0;
  const std::string& shortForm = found->second;
  if (shortForm.size() + 1 > buffer.size()) return static_cast<std::uint32_t>(shortForm.size() + 1);
  std::memcpy(buffer.data(), shortForm.data(), shortForm.size());
  buffer[shortForm.size()] = '\0';
  return static_cast<std::uint32_t>(shortForm.size());
}

std::string FakePlatform::GetCurrentDirectory() {
  calls.push_back("GetCurrentDirectory");
  return currentDirectory;
}

}  // namespace velmora::fake

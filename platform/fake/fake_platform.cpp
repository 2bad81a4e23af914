#include "platform/fake/fake_platform.h"

#include <cstring>

namespace velmora::fake {

namespace {

std::string NameOf(ControlId control) { return std::string(kForm1Design.control(control).name); }

std::string NameOf(platform::WindowMetric metric) {
  static const char* const names[] = {"Left", "Top", "Width", "Height"};
  return names[static_cast<int>(metric)];
}

// A text with its NULs shown as '|' and its trailing blanks as their count, so it fits one line.
std::string Shown(const std::string& text) {
  const std::size_t blanks = text.size() - (text.find_last_not_of(' ') + 1);
  std::string shown = text.substr(0, text.size() - blanks);
  std::replace(shown.begin(), shown.end(), '\0', '|');
  return blanks == 0 ? shown : shown.append("+").append(std::to_string(blanks)).append(" blanks");
}

// Writes the text into the buffer, cut to fit with its NUL; false when nothing fits.
bool Answer(const std::string& text, std::span<char> buffer) {
  if (buffer.empty()) return false;
  const std::size_t n = std::min(text.size(), buffer.size() - 1);
  std::memcpy(buffer.data(), text.data(), n);
  buffer[n] = '\0';
  return true;
}

}  // namespace

FakePlatform::FakePlatform() {
  for (const auto& control : kForm1Design.controls)
    captions[control.id] = control.caption, visible[control.id] = control.visible;
}

void FakePlatform::SetCaption(ControlId control, std::string_view text) {
  calls.push_back("SetCaption " + NameOf(control) + " " + std::string(text));
  captions[control] = std::string(text);
}

void FakePlatform::SetVisible(ControlId control, bool isVisible) {
  calls.push_back("SetVisible " + NameOf(control) + (isVisible ? " yes" : " no"));
  visible[control] = isVisible;
}

std::optional<float> FakePlatform::GetWindowMetric(Metric metric) {
  calls.push_back("Get " + NameOf(metric));
  return failReads ? std::nullopt : std::optional(metrics[metric]);
}

bool FakePlatform::SetWindowMetric(Metric metric, float twips) {
  calls.push_back("Set " + NameOf(metric) + " " + std::to_string(static_cast<int>(twips)));
  now += writeCost;
  if (rejectWrites[metric]) return false;
  const bool isSize = metric == Metric::Width || metric == Metric::Height;
  metrics[metric] = isSize ? std::max(twips, minimumSize) : twips;
  return true;
}

void FakePlatform::ProcessPendingEvents() {
  calls.push_back("ProcessPendingEvents");
  for (auto waiting = std::move(pendingEvents); auto& event : waiting) event();
}

FakePlatform::DialogAnswer FakePlatform::Choose(const std::string& path) {
  return [path](platform::OpenFileName& request) {
    // Like a real dialog, a path that does not fit the buffer is a failure that writes nothing.
    if (path.size() > request.file.size() || path.size() >= request.maxFile) return false;
    std::copy(path.begin(), path.end(), request.file.begin());
    if (path.size() < request.file.size()) request.file[path.size()] = '\0';
    return true;
  };
}

bool FakePlatform::GetOpenFileName(platform::OpenFileName& request) {
  calls.push_back("GetOpenFileName owner " + std::to_string(request.owner) + " instance " +
                  std::to_string(request.instance) + " filter " + Shown(request.filter) +
                  " index " + std::to_string(request.filterIndex) + " file " + Shown(request.file) +
                  " max " + std::to_string(request.maxFile) + " title " + Shown(request.fileTitle) +
                  " max " + std::to_string(request.maxFileTitle) + " in " + request.initialDir +
                  " caption " + request.title + " flags " + std::to_string(request.flags));
  for (auto events = std::move(whileDialogOpen); auto& event : events) event();
  if (dialogAnswers.empty()) return false;
  const DialogAnswer answer = std::move(dialogAnswers.front());
  dialogAnswers.pop_front();
  return answer(request);
}

bool FakePlatform::GetErrorString(platform::MciError code, std::span<char> buffer) {
  calls.push_back("GetErrorString " + std::to_string(code) + " " + std::to_string(buffer.size()));
  return Answer("error " + std::to_string(code) + ". Said in a second sentence.", buffer);
}

std::uint32_t FakePlatform::GetShortPathName(const std::string& longPath, std::span<char> buffer) {
  const std::string path = longPath.substr(0, longPath.find('\0'));
  calls.push_back("GetShortPathName " + path + " " + std::to_string(buffer.size()));
  const auto found = shortPaths.find(path);
  if (found == shortPaths.end()) return 0;
  const std::string& shortForm = found->second;
  if (shortForm.size() + 1 > buffer.size()) return static_cast<std::uint32_t>(shortForm.size() + 1);
  Answer(shortForm, buffer);
  return static_cast<std::uint32_t>(shortForm.size());
}

std::size_t FakePlatform::TitleStart(std::string_view path) const {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (shiftJis && ((byte >= 0x81 && byte <= 0x9F) || byte >= 0xE0))
      ++i;  // and its second
    else if (path[i] == separator)
      start = i + 1;
  }
  return start;
}

}  // namespace velmora::fake

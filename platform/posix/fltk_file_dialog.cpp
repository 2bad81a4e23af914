#include "platform/posix/fltk_file_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace velmora::posix {

namespace {

// The request's strings are read up to their first NUL, as the "A" functions read them.
std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

std::string SingleGlob(std::string_view pattern) {
  if (pattern == "*.*") return "*";  // Windows: every file, with or without a dot
  std::string glob;
  for (const char c : pattern) {
    const auto letter = static_cast<unsigned char>(c);
    if (std::isalpha(letter)) {
      glob += '[';
      glob += static_cast<char>(std::toupper(letter));
      glob += static_cast<char>(std::tolower(letter));
      glob += ']';
    } else {
      glob += c;
    }
  }
  return glob;
}

// FLTK's filter list is line- and tab-separated: neither may appear inside a description.
std::string Description(std::string_view text, Chooser chooser) {
  std::string line(text);
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  if (chooser == Chooser::Fltk) {
    std::replace(line.begin(), line.end(), '(', '[');
    std::replace(line.begin(), line.end(), ')', ']');
  }
  return line;
}

// FLTK decides once, when the first chooser is made, and loads GTK if it takes the GTK dialog.
Chooser ChooserInUse() {
  const auto loaded = [](const char* library) {
    void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
  };
  const bool gtk = loaded("libgtk-3.so.0") || loaded("libgtk-x11-2.0.so.0");
  return Fl::option(Fl::OPTION_FNFC_USES_GTK) && gtk ? Chooser::Gtk : Chooser::Fltk;
}

}  // namespace

std::string CaseInsensitiveGlob(std::string_view pattern) {
  std::vector<std::string> globs;
  std::size_t start = 0;
  while (start <= pattern.size()) {
    const std::size_t end = std::min(pattern.find(';', start), pattern.size());
    if (end > start) globs.push_back(SingleGlob(pattern.substr(start, end - start)));
    start = end + 1;
  }
  if (globs.size() == 1) return globs.front();
  std::string alternatives = "{";
  for (std::size_t i = 0; i < globs.size(); ++i) alternatives += (i ? "," : "") + globs[i];
  return alternatives + "}";
}

std::string ChooserFilter(std::string_view windowsFilter, Chooser chooser) {
  std::string lines;
  std::size_t at = 0;
  while (at < windowsFilter.size()) {
    const std::size_t descriptionEnd = std::min(windowsFilter.find('\0', at), windowsFilter.size());
    if (descriptionEnd == at) break;  // the empty string that closes the list
    const std::string_view description = windowsFilter.substr(at, descriptionEnd - at);
    if (descriptionEnd >= windowsFilter.size()) break;  // a description without its pattern
    const std::size_t patternStart = descriptionEnd + 1;
    const std::size_t patternEnd =
        std::min(windowsFilter.find('\0', patternStart), windowsFilter.size());
    const std::string_view pattern = windowsFilter.substr(patternStart, patternEnd - patternStart);
    if (!lines.empty()) lines += '\n';
    lines += Description(description, chooser) + '\t' + CaseInsensitiveGlob(pattern);
    at = patternEnd + 1;
  }
  return lines;
}

bool WriteChosenPath(std::string& buffer, std::uint32_t maxFile, std::string_view path) {
  // Room for the path and its NUL: the stated size, and never more than the buffer plus the NUL
  // that ends it at the call.
  const std::size_t room = std::min<std::size_t>(maxFile, buffer.size() + 1);
  if (path.size() + 1 > room) return false;
  std::copy(path.begin(), path.end(), buffer.begin());
  if (path.size() < buffer.size()) buffer[path.size()] = '\0';
  return true;
}

bool FltkFileDialog::GetOpenFileName(platform::OpenFileName& request) {
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
  const std::string title = UpToNul(request.title);
  const std::string filter = ChooserFilter(request.filter, ChooserInUse());
  const std::string directory = UpToNul(request.initialDir);
  chooser.title(title.c_str());
  if (!filter.empty()) chooser.filter(filter.c_str());
  if (!directory.empty()) chooser.directory(directory.c_str());

  // 0: chosen; 1: cancelled; -1: the chooser failed. Only a choice touches the buffer.
  if (chooser.show() != 0 || chooser.filename() == nullptr) return false;
  return WriteChosenPath(request.file, request.maxFile, chooser.filename());
}

}  // namespace velmora::posix

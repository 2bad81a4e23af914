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

// A Windows pattern list as an FLTK pattern. FLTK matches names regardless of case, as Windows
// does; "*.*" lists every file there, names without a dot too.
std::string FltkPattern(std::string_view patterns) {
  std::vector<std::string_view> alternatives;
  for (std::size_t start = 0; start <= patterns.size();) {
    const std::size_t end = std::min(patterns.find(';', start), patterns.size());
    if (end > start) alternatives.push_back(patterns.substr(start, end - start));
    start = end + 1;
  }
  std::string joined;
  for (const std::string_view one : alternatives)
    joined.append(joined.empty() ? "" : ",").append(one == "*.*" ? "*" : one);
  return alternatives.size() > 1 ? "{" + joined + "}" : joined;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// FLTK shows an entry as "name(pattern)" and filters by the text after the shown entry's first
// '(' (GTK's dialog: up to the next ')'; FLTK's own: up to the last). A Windows description ends
// with its pattern in parentheses, "Mid Files (*.mid) (*.Mid)": the name is the description without
// that ending, so the dialog shows the description as given. Other parentheses in the name become
// brackets where they would make FLTK filter by the wrong text.
std::string Entry(std::string_view description, std::string_view patterns, Chooser chooser) {
  std::string name(description);
  std::replace_if(
      name.begin(), name.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  const std::string pattern = FltkPattern(patterns);
  const std::string ending = std::string("(").append(patterns).append(")");
  if (name.size() >= ending.size() && name.ends_with(ending))
    name.resize(name.size() - ending.size());
  const std::size_t open = name.find('('), close = name.find(')', open);
  const bool filtersRight = open == std::string::npos ||
                            (chooser == Chooser::Gtk && close != std::string::npos &&
                             SameIgnoringCase(name.substr(open + 1, close - open - 1), pattern));
  if (!filtersRight) {
    std::replace(name.begin(), name.end(), '(', '[');
    std::replace(name.begin(), name.end(), ')', ']');
  }
  return name + "\t" + pattern;
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
    lines += Entry(description, pattern, chooser);
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

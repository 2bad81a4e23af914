#include "platform/posix/gtk_open_file_dialog.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace velmora::posix {

namespace {

// The request's strings are read up to their first NUL, as the "A" functions read them.
std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

std::string ValidUtf8(std::string_view text) {
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string result(valid);
  g_free(valid);
  return result;
}

// A Windows pattern as a glob that ignores case: each letter as a pair in brackets, which GTK's
// own chooser and the portals' both read. "*.*" lists every file on Windows, names without a dot
// too.
std::string CaseInsensitiveGlob(std::string_view pattern) {
  if (pattern == "*.*") return "*";
  std::string glob;
  for (const char c : pattern) {
    const auto letter = static_cast<unsigned char>(c);
    if (std::isalpha(letter)) {
      glob.append({'[', static_cast<char>(std::toupper(letter)),
                   static_cast<char>(std::tolower(letter)), ']'});
    } else {
      glob += c == '[' ? std::string("[[]") : std::string(1, c);  // '[' is no bracket on Windows
    }
  }
  return glob;
}

}  // namespace

std::vector<GtkFileFilter*> ChooserFilters(std::string_view windowsFilter) {
  std::vector<GtkFileFilter*> filters;
  std::size_t at = 0;
  while (at < windowsFilter.size()) {
    const std::size_t descriptionEnd = std::min(windowsFilter.find('\0', at), windowsFilter.size());
    // The empty string that closes the list, or a description without its pattern.
    if (descriptionEnd == at || descriptionEnd >= windowsFilter.size()) break;
    const std::size_t patternsEnd =
        std::min(windowsFilter.find('\0', descriptionEnd + 1), windowsFilter.size());
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter,
                             ValidUtf8(windowsFilter.substr(at, descriptionEnd - at)).c_str());
    for (std::size_t start = descriptionEnd + 1; start < patternsEnd;) {
      const std::size_t end = std::min(windowsFilter.find(';', start), patternsEnd);
      if (end > start)
        gtk_file_filter_add_pattern(
            filter, CaseInsensitiveGlob(windowsFilter.substr(start, end - start)).c_str());
      start = end + 1;
    }
    filters.push_back(filter);
    at = patternsEnd + 1;
  }
  return filters;
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

bool GtkOpenFileDialog::GetOpenFileName(platform::OpenFileName& request) {
  GtkFileChooserNative* dialog =
      gtk_file_chooser_native_new(ValidUtf8(UpToNul(request.title)).c_str(), nullptr,
                                  GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  for (GtkFileFilter* filter : ChooserFilters(request.filter))
    gtk_file_chooser_add_filter(chooser, filter);
  const std::string directory = UpToNul(request.initialDir);
  if (!directory.empty()) gtk_file_chooser_set_current_folder(chooser, directory.c_str());

  // gtk_native_dialog_run would make the dialog modal: wait for its answer in a loop of our own.
  struct Answer {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    gint response = GTK_RESPONSE_NONE;
  } answer;
  g_signal_connect(dialog, "response",
                   G_CALLBACK(+[](GtkNativeDialog*, gint response, gpointer to) {
                     auto* answer = static_cast<Answer*>(to);
                     answer->response = response;
                     g_main_loop_quit(answer->loop);
                   }),
                   &answer);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
  g_main_loop_run(answer.loop);
  g_main_loop_unref(answer.loop);

  // Only a choice of a local file touches the buffer.
  gchar* path =
      answer.response == GTK_RESPONSE_ACCEPT ? gtk_file_chooser_get_filename(chooser) : nullptr;
  const bool chosen = path != nullptr && WriteChosenPath(request.file, request.maxFile, path);
  g_free(path);
  g_object_unref(dialog);
  return chosen;
}

}  // namespace velmora::posix

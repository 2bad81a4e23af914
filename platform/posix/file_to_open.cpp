#include "platform/posix/file_to_open.h"

namespace velmora::posix {

std::string FileToOpen(GFile* file) {
  gchar* name = g_file_get_path(file);
  if (name == nullptr) name = g_file_get_uri(file);
  std::string path(name);
  g_free(name);
  return path;
}

namespace {

std::string Consumed(GFile* file) {
  std::string path = FileToOpen(file);
  g_object_unref(file);
  return path;
}

}  // namespace

std::string FileToOpenFromUri(const char* uri) { return Consumed(g_file_new_for_uri(uri)); }

std::string FileToOpenFromArgument(const char* argument) {
  return Consumed(g_file_new_for_commandline_arg(argument));
}

}  // namespace velmora::posix

#include "file_picker/module1.h"

namespace velmora::Module1 {

std::string BuildFilter(const std::vector<std::string>& patterns,
                        const std::vector<std::string>& descriptions, float count) {
  std::string filter;
  // The bound is computed in single precision, as the count is: 1.5 gives one entry, 0.5 none.
  const float last = count - 1.0f;
  for (std::size_t index = 0; static_cast<float>(index) <= last; ++index) {
    const std::string& pattern = patterns.at(index);
    filter += descriptions.at(index);
    filter += " (";
    filter += pattern;
    filter += ")";
    filter += '\0';
    filter += pattern;
    filter += '\0';
  }
  return filter;
}

std::string ShowOpenFile(const platform::Platform& host, const std::string& title,
                         const std::vector<std::string>& patterns,
                         const std::vector<std::string>& descriptions, float count) {
  platform::OpenFileName request;
  request.owner = 0;
  request.instance = host.window.ModuleInstance();
  request.filter = BuildFilter(patterns, descriptions, count);
  request.file.assign(kFileBufferLength, ' ');
  request.maxFile = kFileBufferLength + 1;
  request.fileTitle.assign(kFileBufferLength, ' ');
  request.maxFileTitle = kFileBufferLength + 1;
  request.initialDir = host.files.GetCurrentDirectory();
  request.title = title;
  request.flags = 0;

  // Cancel and failure are not told apart here: the caller looks at the buffer.
  host.dialog.GetOpenFileName(request);
  return request.file;
}

}  // namespace velmora::Module1

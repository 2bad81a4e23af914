#pragma once
// A Form1 on the fake platform, with the helpers the core's tests share.

#include <string>

#include "main_window/form1.h"
#include "platform/fake/fake_platform.h"

namespace velmora::testing {

struct FakeForm {
  fake::FakePlatform platform;
  Form1 form{platform.host()};

  bool Shows(ControlId control) { return platform.visible[control]; }
  std::string Caption(ControlId control) { return platform.captions[control]; }

  // Get Mid File with a dialog that answers the path; the file exists with the given short form.
  void Choose(const std::string& path, const std::string& shortForm) {
    platform.shortPaths[path] = shortForm;
    platform.dialogAnswers.push_back(fake::FakePlatform::Choose(path));
    form.CmdGetMidFile_Click();
  }
  void Choose(const std::string& path) { Choose(path, path); }
};

}  // namespace velmora::testing

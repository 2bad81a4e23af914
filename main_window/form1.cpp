#include "main_window/form1.h"

#include <vector>

#include "file_picker/module1.h"
#include "main_window/scoped_flag.h"

namespace velmora {

Form1::Form1(const platform::Platform& host) : host_(host) {}

void Form1::Click(ControlId control) {
  switch (control) {
    case ControlId::CmdGetMidFile: CmdGetMidFile_Click(); break;
    case ControlId::cmdPlay: cmdPlay_Click(); break;
    case ControlId::cmdStop: cmdStop_Click(); break;
    case ControlId::Label1:
    case ControlId::Label2: break;  // labels have no click handler
  }
  AfterEvent();
}

void Form1::Unload(std::int16_t& cancel) { Form_Unload(cancel); }

void Form1::CmdGetMidFile_Click() {
  const std::vector<std::string> descriptions{"Mid Files (*.mid)", ""};
  const std::vector<std::string> patterns{"*.Mid", ""};
  const float count = 1;
  std::string buffer;
  {
    ScopedFlag dialogOpen(dialogOpen_);
    buffer = Module1::ShowOpenFile(host_, "Open File", patterns, descriptions, count);
  }
  FileName = buffer.substr(0, buffer.find('\0'));
  CheckFile();
}

void Form1::CheckFile() {
  SlashPos = static_cast<std::int16_t>(host_.files.TitleStart(FileName));
  if (SlashPos == 0) return;
  FileTitle = FileName.substr(SlashPos);
  chosenFile_ = FileName;
  host_.window.SetVisible(ControlId::cmdPlay, true);
  host_.window.SetVisible(ControlId::CmdGetMidFile, false);
}

}  // namespace velmora

// mci_console: sends each line of standard input as one MCI command string and prints the result
// code and its text, one line each. The same script run on Windows' winmm and on the Linux layer
// shows where the two answer differently. A tool for tests and development, not installed.
#include <iostream>
#include <string>

#include "app/host_mci.h"

int main(int argc, char** argv) {
  const auto mci = velmora::app::MakeHostMci({argv + 1, argv + argc});
  if (!mci) {
    std::cerr << "usage: mci_console " << velmora::app::kHostMciOptions << '\n';
    return 2;
  }
  std::string command;
  while (std::getline(std::cin, command)) {
    if (!command.empty() && command.back() == '\r') command.pop_back();
    const velmora::platform::MciError code = mci->SendString(command);
    std::string text(255, '\0');
    if (code != velmora::platform::kMciOk) mci->GetErrorString(code, text);
    std::cout << code << '\t' << text.c_str() << std::endl;  // flushed: the caller reads as we go
  }
  return 0;
}

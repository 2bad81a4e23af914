#include "tests/win32_test_support.h"

#include <fstream>

namespace velmora::testing {

TestFiles::TestFiles() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  folder = std::string(temp) + "velmora-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\with blank").c_str(), nullptr);

  tune = folder + "\\velmora-demo.mid";
  tuneWithBlanks = folder + "\\with blank\\demo tune.mid";
  tuneNamedInUnicode = folder + "\\Ünïcødé ♫ tune.mid";
  notMidi = folder + "\\notes.txt";
  CopyFileA(VELMORA_DEMO_TUNE, tune.c_str(), FALSE);
  CopyFileA(VELMORA_DEMO_TUNE, tuneWithBlanks.c_str(), FALSE);
  CopyFileA(VELMORA_DEMO_TUNE, tuneNamedInUnicode.c_str(), FALSE);
  std::ofstream(notMidi) << "These are notes, not a tune.\n";
}

TestFiles::~TestFiles() {
  DeleteFileA(tune.c_str());
  DeleteFileA(tuneWithBlanks.c_str());
  DeleteFileA(tuneNamedInUnicode.c_str());
  DeleteFileA(notMidi.c_str());
  RemoveDirectoryA((folder + "\\with blank").c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace velmora::testing

#pragma once
// The MCI command strings this layer understands, read into their parts without side effects:
//   open <element> [type sequencer] [alias <name>]
//   play <device>
//   close <device> | close all
// Keywords are case-insensitive; words are separated by spaces. An element holding spaces is given
// in double quotes; a quoted element may itself hold double quotes and ends at the last quote
// followed by a space or the end.

#include <string>
#include <string_view>

#include "platform/mci.h"

namespace velmora::posix {

enum class MciVerb { Open, Play, Close };

struct MciCommand {
  MciVerb verb = MciVerb::Open;
  std::string element;     // open: the file
  std::string deviceName;  // the alias, or for an open without one, the element
  bool all = false;        // close all
};

struct ParsedMciCommand {
  platform::MciError error = platform::kMciOk;
  MciCommand command;
};

// Reads the text up to its first NUL.
ParsedMciCommand ParseMciCommand(std::string_view text);

}  // namespace velmora::posix

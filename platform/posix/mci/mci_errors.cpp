#include "platform/posix/mci/mci_errors.h"

namespace velmora::posix::mci_error {

std::string_view Text(MciError code) {
  switch (code) {
    case kUnrecognizedKeyword:
      return "The command holds a word that the device does not understand.";
    case kUnrecognizedCommand: return "The device does not know this command.";
    case kInvalidDeviceName:
      return "No device is open under that name, or the name cannot be used.";
    case kCannotLoadDriver:
      return "The sequencer cannot start: no General MIDI SoundFont was found.";
    case kMissingCommandString: return "The command is empty.";
    case kMissingStringArgument: return "A keyword of the command has no value after it.";
    case kFileNotFound: return "The file cannot be found. Check its name and folder.";
    case kDriver: return "The sequencer failed inside its synthesizer.";
    case kCannotUseAll: return "This command cannot be sent to all devices at once.";
    case kExtensionNotFound:
      return "No device plays files with this extension; name the device type.";
    case kDuplicateAlias: return "Another open device already uses this alias.";
    case kMissingDeviceName: return "The command names no device.";
    case kNoClosingQuote: return "A quoted name in the command has no closing quote.";
    case kDuplicateFlags: return "A keyword is given more than once in the command.";
    case kInvalidFile:
      return "The file cannot be played: it is not a Standard MIDI File of a usable size, or it is "
             "damaged.";
    case kFilenameRequired: return "The sequencer needs the name of a MIDI file to open.";
    case kDeviceNotInstalled: return "No device of that type is available; only the sequencer is.";
    case kNoSoundOutput:
      return "There is no sound output: no sound server answered and no audio device could be "
             "opened.";
    case kFileRead: return "The file could not be read.";
    default: return {};
  }
}

}  // namespace velmora::posix::mci_error

#include "sound_engine/mci_errors.h"

namespace velmora::posix::mci_error {

std::string_view Text(MciError code) {
  switch (code) {
    case kUnrecognizedKeyword: return "unknown word in the command";
    case kUnrecognizedCommand: return "unknown command";
    case kSoundFontDamaged: return "the SoundFont cannot be loaded";
    case kInvalidDeviceName: return "no device is open under that name";
    case kOutOfMemory: return "too large to play";
    case kNoSoundFont: return "no General MIDI SoundFont is installed";
    case kMissingCommandString: return "the command is empty";
    case kMissingStringArgument: return "a keyword has no value";
    case kFileNotFound: return "file not found";
    case kDriver: return "the synthesizer failed";
    case kCannotUseAll: return "not a command for all devices";
    case kExtensionNotFound: return "unknown file type: name the device";
    case kDuplicateAlias: return "that alias is already in use";
    case kMissingDeviceName: return "the command names no device";
    case kNoClosingQuote: return "a quoted name is not closed";
    case kDuplicateFlags: return "a keyword is given twice";
    case kInvalidFile: return "not a MIDI file, or damaged";
    case kFilenameRequired: return "no file to open";
    case kDeviceNotInstalled: return "only the sequencer is available";
    case kNoSoundOutput: return "no sound: start a sound server";
    case kFileRead: return "the file cannot be read";
    default: return {};
  }
}

}  // namespace velmora::posix::mci_error

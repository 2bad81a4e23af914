#pragma once
// The MCI error codes this layer answers with, numbered as on Windows (MCIERR_BASE 256), and their
// texts in this program's own words: one short phrase each, what went wrong or what to do, so that
// "open: " and the text fit the window's status line.

#include <string_view>

#include "platform/mci.h"

namespace velmora::posix::mci_error {

using platform::MciError;

inline constexpr MciError kUnrecognizedKeyword = 259;
inline constexpr MciError kUnrecognizedCommand = 261;
inline constexpr MciError kSoundFontDamaged = 262;  // MCIERR_HARDWARE: the instruments are broken
inline constexpr MciError kInvalidDeviceName = 263;
inline constexpr MciError kOutOfMemory = 264;  // the file is too large for the memory
inline constexpr MciError kNoSoundFont = 266;  // MCIERR_CANNOT_LOAD_DRIVER
inline constexpr MciError kMissingCommandString = 267;
inline constexpr MciError kMissingStringArgument = 269;
inline constexpr MciError kFileNotFound = platform::kMciErrFileNotFound;  // 275
inline constexpr MciError kDriver = 278;
inline constexpr MciError kCannotUseAll = 279;
inline constexpr MciError kExtensionNotFound = 281;
inline constexpr MciError kDuplicateAlias = 289;
inline constexpr MciError kMissingDeviceName = 292;
inline constexpr MciError kNoClosingQuote = 294;
inline constexpr MciError kDuplicateFlags = 295;
inline constexpr MciError kInvalidFile = 296;
inline constexpr MciError kFilenameRequired = 304;
inline constexpr MciError kDeviceNotInstalled = 306;
inline constexpr MciError kNoSoundOutput = 343;  // MCIERR_SEQ_NOMIDIPRESENT
inline constexpr MciError kFileRead = 348;

// Empty for a code this layer never answers with.
std::string_view Text(MciError code);

}  // namespace velmora::posix::mci_error

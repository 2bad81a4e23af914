#include "sound_engine/mci_command.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "sound_engine/mci_errors.h"

namespace velmora::posix {

namespace {

using platform::MciError;
namespace err = mci_error;

// Only the space separates words: the program quotes a path that holds one, and Linux file names
// may hold tabs.
bool IsBlank(char c) { return c == ' '; }

bool SameWord(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Walks the command word by word.
class Words {
 public:
  explicit Words(std::string_view text) : rest_(text) {}

  bool AtEnd() {
    SkipBlanks();
    return rest_.empty();
  }

  bool NextIsQuoted() {
    SkipBlanks();
    return !rest_.empty() && rest_.front() == '"';
  }

  // A bare word runs to the next space.
  std::string_view Bare() {
    SkipBlanks();
    const auto end = std::find_if(rest_.begin(), rest_.end(), IsBlank);
    const std::string_view word(rest_.begin(), end);
    rest_.remove_prefix(word.size());
    return word;
  }

  // A quoted word closes at a quote followed by a space or the end: the last such quote when the
  // word is a file name (Linux names may hold quotes), the first one otherwise.
  std::optional<std::string_view> Quoted(bool lastClosingQuote) {
    SkipBlanks();
    std::optional<std::size_t> close;
    for (std::size_t i = 1; i < rest_.size(); ++i) {
      const bool closes = rest_[i] == '"' && (i + 1 == rest_.size() || IsBlank(rest_[i + 1]));
      if (!closes) continue;
      close = i;
      if (!lastClosingQuote) break;
    }
    if (!close) return std::nullopt;
    const std::string_view word = rest_.substr(1, *close - 1);
    rest_.remove_prefix(*close + 1);
    return word;
  }

  // A value after a keyword: bare, or quoted up to its first closing quote.
  std::optional<std::string_view> Value() {
    if (NextIsQuoted()) return Quoted(false);
    return Bare();
  }

 private:
  void SkipBlanks() {
    while (!rest_.empty() && IsBlank(rest_.front())) rest_.remove_prefix(1);
  }
  std::string_view rest_;
};

bool IsOpenKeyword(std::string_view word) {
  return SameWord(word, "type") || SameWord(word, "alias");
}

bool HasMidiExtension(std::string_view element) {
  const auto dot = element.rfind('.');
  if (dot == std::string_view::npos || element.find('/', dot) != std::string_view::npos)
    return false;
  const std::string_view extension = element.substr(dot + 1);
  return SameWord(extension, "mid") || SameWord(extension, "midi") || SameWord(extension, "rmi") ||
         SameWord(extension, "kar");
}

ParsedMciCommand Failed(MciError code) { return {code, {}}; }

ParsedMciCommand ParseOpen(Words& words) {
  if (words.AtEnd()) return Failed(err::kMissingDeviceName);
  MciCommand command{MciVerb::Open, {}, {}, false};

  // A keyword where the element should stand means the element is missing.
  bool elementGiven = true;
  if (words.NextIsQuoted()) {
    const auto element = words.Quoted(true);
    if (!element) return Failed(err::kNoClosingQuote);
    command.element = *element;
  } else {
    Words lookahead = words;
    if (IsOpenKeyword(lookahead.Bare())) {
      elementGiven = false;
    } else {
      command.element = words.Bare();
    }
  }

  bool typeGiven = false;
  bool aliasGiven = false;
  while (!words.AtEnd()) {
    if (words.NextIsQuoted()) return Failed(err::kUnrecognizedKeyword);
    const std::string_view keyword = words.Bare();
    const bool isType = SameWord(keyword, "type");
    if (!isType && !SameWord(keyword, "alias")) return Failed(err::kUnrecognizedKeyword);
    bool& given = isType ? typeGiven : aliasGiven;
    if (given) return Failed(err::kDuplicateFlags);
    given = true;
    if (words.AtEnd()) return Failed(err::kMissingStringArgument);
    const auto value = words.Value();
    if (!value) return Failed(err::kNoClosingQuote);
    if (value->empty()) return Failed(err::kMissingStringArgument);
    if (isType && !SameWord(*value, "sequencer")) return Failed(err::kDeviceNotInstalled);
    if (!isType) command.deviceName = *value;
  }

  if (!elementGiven || command.element.empty()) {
    return Failed(typeGiven ? err::kFilenameRequired : err::kMissingDeviceName);
  }
  if (!typeGiven && SameWord(command.element, "sequencer")) return Failed(err::kFilenameRequired);
  if (!typeGiven && !HasMidiExtension(command.element)) return Failed(err::kExtensionNotFound);
  if (!aliasGiven) command.deviceName = command.element;
  if (SameWord(command.deviceName, "all")) return Failed(err::kInvalidDeviceName);
  return {platform::kMciOk, command};
}

ParsedMciCommand ParsePlayOrClose(Words& words, MciVerb verb) {
  if (words.AtEnd()) return Failed(err::kMissingDeviceName);
  const bool quoted = words.NextIsQuoted();
  const auto name = words.Value();
  if (!name) return Failed(err::kNoClosingQuote);
  if (name->empty()) return Failed(err::kMissingDeviceName);
  if (!words.AtEnd()) return Failed(err::kUnrecognizedKeyword);

  MciCommand command{verb, {}, std::string(*name), false};
  if (!quoted && SameWord(*name, "all")) {
    if (verb != MciVerb::Close) return Failed(err::kCannotUseAll);
    command.deviceName.clear();
    command.all = true;
  }
  return {platform::kMciOk, command};
}

}  // namespace

ParsedMciCommand ParseMciCommand(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  Words words(text);
  if (words.AtEnd()) return Failed(err::kMissingCommandString);
  if (words.NextIsQuoted()) return Failed(err::kUnrecognizedCommand);
  const std::string_view verb = words.Bare();
  if (SameWord(verb, "open")) return ParseOpen(words);
  if (SameWord(verb, "play")) return ParsePlayOrClose(words, MciVerb::Play);
  if (SameWord(verb, "close")) return ParsePlayOrClose(words, MciVerb::Close);
  return Failed(err::kUnrecognizedCommand);
}

}  // namespace velmora::posix

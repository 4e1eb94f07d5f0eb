#include "TerminalSupport.h"

#include "MoreUNIXText.h"
#include "UninstallerOutcome.h"

#include <algorithm>
#include <cstdio>

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The length of the UTF-8 sequence at |at|, or 0 when it is not one.
size_t SequenceLength(std::string_view text, size_t at) {
  return MoreUNIXDecodeUTF8(reinterpret_cast<const unsigned char*>(text.data()) + at, text.size() - at, nullptr);
}

// The code point of one whole UTF-8 sequence.
char32_t CodePoint(std::string_view sequence) {
  const unsigned char first = static_cast<unsigned char>(sequence[0]);
  char32_t point = sequence.size() == 1 ? first : first & (0x7F >> sequence.size());
  for (size_t i = 1; i < sequence.size(); i++) point = (point << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
  return point;
}

// Chinese, Japanese and Korean characters take two columns of a terminal.
bool IsWide(std::string_view character) {
  static const char32_t kWide[][2] = {{0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF},
                                      {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                                      {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x20000, 0x3FFFD}};
  const char32_t point = CodePoint(character);
  for (const auto& range : kWide) {
    if (point >= range[0] && point <= range[1]) return true;
  }
  return false;
}

size_t Columns(std::string_view character) { return IsWide(character) ? 2 : 1; }

// Where words have no spaces between them a row may end between any two
// characters, but not before a closing mark or a small kana, nor after an
// opening mark.
bool BreaksBetween(std::string_view before, std::string_view after) {
  if (!IsWide(before) && !IsWide(after)) return false;
  static const std::string_view kNoStart[] = {
      "\u3001", "\u3002", "\uFF0C", "\uFF0E", "\uFF09", "\u300D", "\u300F", "\uFF01", "\uFF1F", "\u30FC",
      "\u3063", "\u3083", "\u3085", "\u3087", "\u30C3", "\u30E3", "\u30E5", "\u30E7", "\u30A1", "\u30A3",
      "\u30A5", "\u30A7", "\u30A9", ")",      ",",      ".",      ":",      "?",      "!"};
  static const std::string_view kNoEnd[] = {"\uFF08", "\u300C", "\u300E", "("};
  for (std::string_view mark : kNoStart) {
    if (after == mark) return false;
  }
  for (std::string_view mark : kNoEnd) {
    if (before == mark) return false;
  }
  return true;
}

// The path a message names after its verb: a kind word ("folder", ...) is
// skipped, and the path ends where the reason starts (": ").
std::string PathOfMessage(std::string_view rest) {
  static const char* const kKinds[] = {"folder ", "symbolic link ", "receipt ", "login item ",
                                       "the Quillon block from "};
  for (const char* kind : kKinds) {
    if (StartsWith(rest, kind)) {
      rest.remove_prefix(std::string_view(kind).size());
      break;
    }
  }
  const size_t reason = rest.find(": ");
  return std::string(rest.substr(0, reason));
}

}  // namespace

bool TerminalParseOptions(const std::vector<std::string>& arguments, TerminalOptions* options, std::string* error,
                          TerminalOptionError* why) {
  auto fail = [error, why](const char* key, const std::string& text, const std::string& argument) {
    std::string english = text;
    const size_t at = english.find("%1");
    if (at != std::string::npos) english.replace(at, 2, argument);
    *error = english;
    if (why != nullptr) *why = {key, text, argument};
    return false;
  };
  bool restartSeen = false, noRestartSeen = false;
  for (size_t i = 0; i < arguments.size(); i++) {
    const std::string& argument = arguments[i];
    std::string user;
    bool isUser = false;
    if (argument == "--yes" || argument == "-y") {
      options->yes = true;
    } else if (argument == "--keep-midi-devices") {
      options->keepMidiDevices = true;
    } else if (argument == "--restart") {
      restartSeen = true;
      options->restart = TerminalRestart::kYes;
    } else if (argument == "--no-restart") {
      noRestartSeen = true;
      options->restart = TerminalRestart::kNo;
    } else if (argument == "--json") {
      options->json = true;
    } else if (argument == "--quiet" || argument == "-q") {
      options->quiet = true;
    } else if (argument == "--help" || argument == "-h") {
      options->help = true;
    } else if (argument == "--version") {
      options->version = true;
    } else if (argument == "--all-users") {
      options->allUsers = true;
    } else if (argument == "--dry-run" || argument == "-n") {
      options->dryRun = true;
    } else if (argument == "--user") {
      if (i + 1 >= arguments.size()) {
        return fail("optionNeedsUserName", "--user needs a user name", "");
      }
      user = arguments[++i];
      isUser = true;
    } else if (StartsWith(argument, "--user=")) {
      user = argument.substr(7);
      isUser = true;
    } else {
      return fail("optionUnknown", "unknown option %1", argument);
    }
    if (isUser) {
      if (user.empty() || user.find('\0') != std::string::npos) {
        return fail("optionNeedsUserName", "--user needs a user name", "");
      }
      if (std::find(options->users.begin(), options->users.end(), user) == options->users.end()) {
        options->users.push_back(user);
      }
    }
  }
  if (restartSeen && noRestartSeen) {
    return fail("optionsRestartConflict", "--restart and --no-restart exclude each other", "");
  }
  if (options->allUsers && !options->users.empty()) {
    return fail("optionsUserConflict", "--user and --all-users exclude each other", "");
  }
  return true;
}

std::string TerminalUsage() {
  return "Usage: quillon-uninstall [OPTION]...\n"
         "Removes the Quillon MIDI driver suite from this computer, from a terminal.\n"
         "\n"
         "  -y, --yes              answer yes to the warnings (needed without a terminal)\n"
         "      --keep-midi-devices  keep the MIDI devices and their ALSA settings\n"
         "      --restart          restart the computer when the removal needs it\n"
         "      --no-restart       do not restart, and do not ask\n"
         "      --json             print one JSON document on standard output\n"
         "  -q, --quiet            print nothing but questions and errors\n"
         "      --user NAME        as root: remove NAME's own part too (repeatable)\n"
         "      --all-users        as root: remove every user's own part\n"
         "  -n, --dry-run          list what would be removed, change nothing, ask nothing\n"
         "  -h, --help             show this help\n"
         "      --version          show the version\n"
         "\n"
         "Exit status: 0 removed or nothing to do, 1 failure, 2 usage error,\n"
         "3 cancelled or denied, 4 no authentication was possible.\n"
         "See quillon-uninstall(1).\n";
}

TerminalExit TerminalExitForStatus(OSStatus status, bool interrupted) {
  if (status == noErr) return kTerminalExitDone;
  if (interrupted) return kTerminalExitCancelled;
  switch (UninstallerOutcomeOf(status)) {
    case UninstallerOutcome::kRemoved:
    case UninstallerOutcome::kNothingToDo:
      return kTerminalExitDone;
    case UninstallerOutcome::kCancelled:
    case UninstallerOutcome::kDenied:
      return kTerminalExitCancelled;
    case UninstallerOutcome::kNoAgent:
      return kTerminalExitNoAuthentication;
    case UninstallerOutcome::kFailed:
      break;
  }
  return kTerminalExitFailed;
}

std::string TerminalStatusName(TerminalExit exit, OSStatus status, bool changed) {
  switch (exit) {
    case kTerminalExitDone:
      return changed ? "removed" : "not-installed";
    case kTerminalExitUsage:
      return "usage-error";
    case kTerminalExitCancelled:
      return UninstallerOutcomeOf(status) == UninstallerOutcome::kDenied ? "denied" : "cancelled";
    case kTerminalExitNoAuthentication:
      return "no-authentication";
    case kTerminalExitFailed:
    default:
      return "failed";
  }
}

void TerminalSummarizeLog(std::string_view log, const std::string& user, TerminalLogSummary* summary) {
  for (const std::string& line : TerminalLines(log)) {
    const size_t colon = line.find(": ");
    if (colon == std::string::npos || colon == 0 || line.find(' ') < colon) continue;  // not "<tool>: ..."
    const std::string_view message = std::string_view(line).substr(colon + 2);
    std::vector<TerminalLogItem>* list = nullptr;
    std::string_view rest;
    if (StartsWith(message, "removed ")) {
      list = &summary->removed;
      rest = message.substr(8);
    } else if (StartsWith(message, "kept ")) {
      list = &summary->kept;
      rest = message.substr(5);
    } else if (StartsWith(message, "refused ")) {
      list = &summary->refused;
      rest = message.substr(8);
    }
    if (list != nullptr) list->push_back(TerminalLogItem{PathOfMessage(rest), line, user});
  }
}

std::vector<std::string> TerminalLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string TerminalKeepHeadAndTail(std::string_view text, size_t head, size_t tail, std::string_view marker) {
  const std::vector<std::string> lines = TerminalLines(text);
  if (lines.size() <= head + tail) return std::string(text);
  std::string kept;
  for (size_t i = 0; i < head; i++) kept += lines[i] + "\n";
  std::string count = std::to_string(lines.size() - head - tail);
  std::string line(marker);
  const size_t at = line.find("%1");
  if (at != std::string::npos) line.replace(at, 2, count);
  kept += line + "\n";
  for (size_t i = lines.size() - tail; i < lines.size(); i++) kept += lines[i] + "\n";
  if (!text.empty() && text.back() != '\n') kept.pop_back();
  return kept;
}

std::string TerminalShownLog(std::string_view log) {
  std::string shown;
  for (const std::string& line : TerminalLines(log)) {
    if (line.rfind("Uninstaller failed with error ", 0) == 0) continue;
    shown += line + "\n";
  }
  return shown;
}

// ---- JSON ---------------------------------------------------------------------------

void TerminalJSON::Separate() {
  if (fAfterKey) {
    fAfterKey = false;
    return;
  }
  if (!fFirst.empty()) {
    if (!fFirst.back()) fText += ',';
    fFirst.back() = false;
  }
}

void TerminalJSON::BeginObject() {
  Separate();
  fText += '{';
  fFirst.push_back(true);
}

void TerminalJSON::EndObject() {
  fFirst.pop_back();
  fText += '}';
}

void TerminalJSON::BeginArray() {
  Separate();
  fText += '[';
  fFirst.push_back(true);
}

void TerminalJSON::EndArray() {
  fFirst.pop_back();
  fText += ']';
}

void TerminalJSON::Key(std::string_view key) {
  String(key);
  fText += ':';
  fAfterKey = true;
}

void TerminalJSON::String(std::string_view value) {
  Separate();
  // The document is printed and read by people too: what it says carries
  // no control character, only their visible escapes.
  const std::string safe = MoreUNIXSafeText(value);
  fText += '"';
  for (const char c : safe) {
    if (c == '"' || c == '\\') {
      fText += '\\';
      fText += c;
    } else if (c == '\n') {
      fText += "\\n";
    } else if (c == '\t') {
      fText += "\\t";
    } else {
      fText += c;
    }
  }
  fText += '"';
}

void TerminalJSON::Number(long long value) {
  Separate();
  fText += std::to_string(value);
}

void TerminalJSON::Bool(bool value) {
  Separate();
  fText += value ? "true" : "false";
}

void TerminalJSON::Null() {
  Separate();
  fText += "null";
}

// ---- Wrapping -----------------------------------------------------------------------------

std::string TerminalWrap(std::string_view text, size_t width) {
  if (width < 8) width = 8;
  std::string out;
  const std::vector<std::string> lines = TerminalLines(text);
  for (size_t n = 0; n < lines.size(); n++) {
    // Characters of the line, tabs expanded; each entry one character.
    std::vector<std::string> chars;
    const std::string& line = lines[n];
    for (size_t i = 0; i < line.size();) {
      if (line[i] == '\t') {
        do chars.emplace_back(" "); while (chars.size() % 8 != 0);
        i++;
        continue;
      }
      size_t length = SequenceLength(line, i);
      if (length == 0) {
        chars.emplace_back("\xEF\xBF\xBD");
        i++;
      } else {
        chars.emplace_back(line.substr(i, length));
        i += length;
      }
    }
    size_t start = 0;
    for (;;) {
      // |cut|: the first character past the width, counted in columns.
      size_t cut = start;
      for (size_t columns = 0; cut < chars.size() && columns + Columns(chars[cut]) <= width; cut++) {
        columns += Columns(chars[cut]);
      }
      if (cut == chars.size()) break;
      // The last space or break between wide characters within the width
      // ends this row; none: break the word.
      bool atSpace = false;
      for (size_t at = cut; at > start; at--) {
        if (chars[at] == " " || BreaksBetween(chars[at - 1], chars[at])) {
          atSpace = chars[at] == " ";
          cut = at;
          break;
        }
      }
      size_t end = cut;
      while (end > start && chars[end - 1] == " ") end--;
      for (size_t i = start; i < end; i++) out += chars[i];
      out += '\n';
      start = cut;
      if (atSpace) {
        while (start < chars.size() && chars[start] == " ") start++;
      }
    }
    for (size_t i = start; i < chars.size(); i++) out += chars[i];
    if (n + 1 < lines.size() || (!text.empty() && text.back() == '\n')) out += '\n';
  }
  return out;
}

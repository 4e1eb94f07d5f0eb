#include "TerminalSupport.h"

#include "UninstallerOutcome.h"

#include <algorithm>
#include <cstdio>

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The length of the UTF-8 sequence at |at|, or 0 when it is not one.
size_t SequenceLength(std::string_view text, size_t at) {
  const unsigned char first = static_cast<unsigned char>(text[at]);
  size_t length = first < 0x80 ? 1 : (first & 0xE0) == 0xC0 ? 2 : (first & 0xF0) == 0xE0 ? 3 : (first & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; i++) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  }
  if (length == 2 && first < 0xC2) return 0;  // overlong
  return length;
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

bool TerminalParseOptions(const std::vector<std::string>& arguments, TerminalOptions* options, std::string* error) {
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
    } else if (argument == "--user") {
      if (i + 1 >= arguments.size()) {
        *error = "--user needs a user name";
        return false;
      }
      user = arguments[++i];
      isUser = true;
    } else if (StartsWith(argument, "--user=")) {
      user = argument.substr(7);
      isUser = true;
    } else {
      *error = "unknown option " + argument;
      return false;
    }
    if (isUser) {
      if (user.empty() || user.find('\0') != std::string::npos) {
        *error = "--user needs a user name";
        return false;
      }
      if (std::find(options->users.begin(), options->users.end(), user) == options->users.end()) {
        options->users.push_back(user);
      }
    }
  }
  if (restartSeen && noRestartSeen) {
    *error = "--restart and --no-restart exclude each other";
    return false;
  }
  if (options->allUsers && !options->users.empty()) {
    *error = "--user and --all-users exclude each other";
    return false;
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
  fText += '"';
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c == '"' || c == '\\') {
      fText += '\\';
      fText += static_cast<char>(c);
      i++;
    } else if (c == '\n' || c == '\t') {
      fText += c == '\n' ? "\\n" : "\\t";
      i++;
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      fText += escaped;
      i++;
    } else {
      const size_t length = SequenceLength(value, i);
      if (length == 0) {
        fText += "\xEF\xBF\xBD";  // U+FFFD
        i++;
      } else {
        fText.append(value.substr(i, length));
        i += length;
      }
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
    while (chars.size() - start > width) {
      // The last space within the width ends this row; none: break the word.
      size_t cut = start + width;
      size_t space = cut;
      while (space > start && chars[space] != " ") space--;
      const bool atSpace = space > start;
      if (atSpace) cut = space;
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

// The pieces of quillon-uninstall that need neither a terminal nor root:
// its command line, its exit codes, the JSON document, what a run's log says
// was removed, kept and refused, and text wrapped for a terminal.
#pragma once

#include <MacTypes.h>

#include <string>
#include <string_view>
#include <vector>

// ---- Command line -----------------------------------------------------------------

enum class TerminalRestart { kAsk, kYes, kNo };

struct TerminalOptions {
  bool yes = false;           // --yes: every warning answered yes
  bool keepMidiDevices = false;
  TerminalRestart restart = TerminalRestart::kAsk;
  bool json = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  bool allUsers = false;
  bool dryRun = false;        // --dry-run: say what would be removed, change nothing
  std::vector<std::string> users;  // --user NAME, in order, each once
};

// Reads the arguments after the program name. Returns false with a one-line
// reason in *error for an unknown option, a missing or empty user name, or
// options that contradict each other (--restart with --no-restart, --user
// with --all-users). What was read up to there stays in *options, so that a
// usage error can still be reported as JSON. |why|, when given, gets the
// same reason for the strings table: its key, and its English text with
// "%1" where |argument| goes.
struct TerminalOptionError {
  std::string key;
  std::string text;
  std::string argument;
};
bool TerminalParseOptions(const std::vector<std::string>& arguments, TerminalOptions* options, std::string* error,
                          TerminalOptionError* why = nullptr);

// The usage text of --help.
std::string TerminalUsage();

// ---- Outcomes and exit codes -------------------------------------------------------

enum TerminalExit : int {
  kTerminalExitDone = 0,         // removed, or nothing to do
  kTerminalExitFailed = 1,
  kTerminalExitUsage = 2,
  kTerminalExitCancelled = 3,    // cancelled or denied
  kTerminalExitNoAuthentication = 4,
};

// The exit code for an engine status; |interrupted|: the user pressed
// Ctrl-C while it ran, so a failure is the user's cancel.
TerminalExit TerminalExitForStatus(OSStatus status, bool interrupted);

// The JSON document's name for an exit code: "removed", "not-installed"
// (when |changed| is false on a done run), "failed", "usage-error",
// "cancelled" or "denied" (a status whose outcome is denied), "no-authentication".
std::string TerminalStatusName(TerminalExit exit, OSStatus status, bool changed);

// ---- The log ------------------------------------------------------------------------

// One log line that says something was removed, kept or refused.
struct TerminalLogItem {
  std::string path;  // the path the line names, as the tool wrote it
  std::string line;  // the whole line
  std::string user;  // whose part, empty for the system's
};

struct TerminalLogSummary {
  std::vector<TerminalLogItem> removed, kept, refused;
};

// Adds what the lines of |log| ("<tool>: <message>") say: "removed ...",
// "kept ..." and "refused ..." lines, with the path they name.
void TerminalSummarizeLog(std::string_view log, const std::string& user, TerminalLogSummary* summary);

// |text| when it has at most |head| + |tail| lines; otherwise its first
// |head| and last |tail| lines with, between them, one line made of
// |marker| with "%1" replaced by the number of lines left out.
std::string TerminalKeepHeadAndTail(std::string_view text, size_t head, size_t tail, std::string_view marker);

// Splits |text| into lines, without their line ends; a last line without
// one counts too, an empty text has none.
std::vector<std::string> TerminalLines(std::string_view text);

// |log| as the terminal shows it: without the engine's "Uninstaller failed
// with error N (0x...)" lines, whose number is for the log file; the
// sentence after the log says what failed.
std::string TerminalShownLog(std::string_view log);

// ---- JSON ---------------------------------------------------------------------------

// A small writer of one JSON document. Strings are first made safe to show
// with MoreUNIXSafeText (control characters and bytes that are not UTF-8 as
// \xNN, C1 controls as \u00NN, written out as text), then quote, backslash,
// newline and tab are escaped for JSON; the document holds no control
// character at all.
class TerminalJSON {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(std::string_view key);
  void String(std::string_view value);
  void Number(long long value);
  void Bool(bool value);
  void Null();
  const std::string& Text() const { return fText; }

 private:
  void Separate();
  std::string fText;
  std::vector<bool> fFirst;  // per open container: nothing written in it yet
  bool fAfterKey = false;
};

// ---- Text for a terminal --------------------------------------------------------------

// Wraps each line of |text| (UTF-8) at spaces to at most |width| columns,
// where a Chinese, Japanese or Korean character takes two and a row may end
// between two of them; a word longer than that is broken. Tabs become spaces
// to the next multiple of 8. Line ends stay where they are.
std::string TerminalWrap(std::string_view text, size_t width);

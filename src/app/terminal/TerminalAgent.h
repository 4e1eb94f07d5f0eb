// The password prompt on the terminal: polkit's pkttyagent, started as the
// user on the controlling terminal and registered for one process, the one
// that runs pkexec (pkexec asks polkit about its parent). pkexec's own text
// agent cannot be used: polkit 122 registers it as root, and the daemon then
// refuses the password with "No session for cookie".
#pragma once

#include <sys/types.h>

class TerminalAgent {
 public:
  TerminalAgent() = default;
  ~TerminalAgent() { Stop(); }
  TerminalAgent(const TerminalAgent&) = delete;
  TerminalAgent& operator=(const TerminalAgent&) = delete;

  // Starts the agent for |subject| (its pid and start time, so that a
  // recycled pid cannot inherit it) on /dev/tty, and waits until polkitd has
  // registered it, at most |timeoutSeconds|. Returns 0, ENXIO when there is
  // no controlling terminal, ENOENT without pkttyagent, or another errno
  // (ECHILD: it ended before it was registered; ETIMEDOUT).
  int Start(pid_t subject, int timeoutSeconds = 30);
  // Ends the agent (SIGTERM, then SIGKILL after a bounded wait) and reaps it.
  void Stop();
  bool Running() const { return fPID > 0; }

 private:
  pid_t fPID = -1;
};

// Whether this process has a controlling terminal to ask on.
bool TerminalHasControllingTerminal();

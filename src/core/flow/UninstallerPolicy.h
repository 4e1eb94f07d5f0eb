// What polkit would answer about the uninstall before anyone is asked for a
// password. pkexec ends with the same status when the password was refused
// and when the administrator's policy refuses without asking; asking polkit
// first, without interaction, tells the two apart: a policy that says no is
// said at once, with no prompt, and a refusal after a prompt is the
// password's.
#pragma once

enum class UninstallerPolicyVerdict {
  kUnknown,        // polkit could not be asked, or gave no answer we know
  kAuthorized,     // allowed without a password
  kChallenge,      // a password would be asked for
  kNotAuthorized,  // the policy refuses, whatever the password
};

// Asks polkit (AuthorizationCopyRights without interaction) what it would
// answer this process, as its real user, about |actionId| now. Starts no
// agent and asks nothing; bounded as that call is. Safe from a process with
// threads.
UninstallerPolicyVerdict UninstallerAskPolicy(const char* actionId);

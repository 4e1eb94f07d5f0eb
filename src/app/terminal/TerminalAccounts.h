// The accounts whose own part a root run removes: looked up in the password
// database, their homes examined without following a link the user could
// have put there, and each turned into what the engine needs to run the
// user's part as that user.
#pragma once

#include <UninstallerEngine.h>

#include <sys/types.h>

#include <string>
#include <vector>

struct TerminalAccount {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;

  // Fills |groups| and |environment| and returns the engine's view of the
  // account, valid while this object lives and is not changed. The
  // environment is HOME, USER, LOGNAME, PATH and LANG (|lang|, or C.UTF-8
  // when empty or unsafe), nothing else. False when the group list cannot be
  // read.
  bool Prepare(const std::string& lang, UninstallerUserAccount* account);

 private:
  std::vector<gid_t> fGroups;
  std::vector<std::string> fEnvironment;
  std::vector<char*> fEnvironmentPointers;
};

// The account of |name|, or of |uid|. False when there is none, or its home
// is not an absolute path.
bool TerminalAccountNamed(const std::string& name, TerminalAccount* account);
bool TerminalAccountWithUID(uid_t uid, TerminalAccount* account);

enum class TerminalUserPart {
  kNone,          // no receipt in the home
  kInstalled,     // a user receipt, in a home of the account's own
  kNotOwnHome,    // a user receipt, but the home is not the account's
  kUnreadable,    // the receipts' folder could not be examined
};

// Whether |account|'s home holds a Quillon user receipt. The home itself is
// the password database's; below it nothing is followed (O_NOFOLLOW), and
// only regular files named *.list count.
TerminalUserPart TerminalUserPartOf(const TerminalAccount& account);

// Every account whose home holds a user receipt (kInstalled, kNotOwnHome or
// kUnreadable), from the password database, in its order; a home shared
// by several accounts is listed once, with its owner where that is one of
// them.
std::vector<TerminalAccount> TerminalAccountsWithUserPart();

// The account that ran us through sudo (SUDO_USER, checked against
// SUDO_UID) or pkexec (PKEXEC_UID), when it is not root's. False otherwise.
bool TerminalInvokingAccount(TerminalAccount* account);

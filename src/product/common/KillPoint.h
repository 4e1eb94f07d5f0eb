// Kill points. The tests build a second copy of the product's tools with
// QUILLON_KILL_POINTS defined; that copy lies outside the bundle, has no
// install rule, and can be told through the environment to end its whole
// process group with SIGKILL just before its N-th change to the file system,
// so that a test can cut an uninstall at every such point and check what it
// leaves behind. In every other build both calls are empty and vanish.
//
//   QUILLON_KILL_POINT="<tool> <system|user> <N>"   N counts from 1
#pragma once

namespace quillon {

inline constexpr char kKillPointVariable[] = "QUILLON_KILL_POINT";

#ifdef QUILLON_KILL_POINTS
// Reads the variable once, for the tool named `tool` in the given mode.
void ArmKillPoints(const char* tool, bool system);
// Call just before every change to the file system (and every flush).
void KillPoint();
#else
inline void ArmKillPoints(const char*, bool) {}
inline void KillPoint() {}
#endif

}  // namespace quillon

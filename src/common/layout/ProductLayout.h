// Where the Quillon product keeps its pieces. The demo installer, every
// removal tool and the uninstaller (which looks for what is installed) read
// their locations from here, so the sides cannot drift.
//
// System locations are absolute paths of the running system. Tools that take
// "--root DIR" (used by the test suite, never by the uninstaller) look for
// them below DIR instead. User locations are relative to the user's home.
#pragma once

namespace quillon {

// ---- Root part ----------------------------------------------------------------

// One receipt per installed component, one absolute path per line.
inline constexpr char kSystemReceiptsDir[] = "/var/lib/quillon/receipts";
inline constexpr char kSystemStateDir[] = "/var/lib/quillon";
inline constexpr char kSystemReceiptName[] = "quillon-root.list";
// The shared ALSA configuration that carries the product's marked block.
inline constexpr char kSystemAlsaConf[] = "/etc/asound.conf";
// System-wide XDG autostart folder; the product installs no login item there,
// but an administrator's deployment may have put one there under our name.
inline constexpr char kSystemAutostartDir[] = "/etc/xdg/autostart";

// ---- User part (relative to the home folder) ----------------------------------

inline constexpr char kUserReceiptsDir[] = ".local/share/quillon/receipts";
inline constexpr char kUserStateDir[] = ".local/share/quillon";
inline constexpr char kUserReceiptName[] = "quillon-user.list";
inline constexpr char kUserAlsaConf[] = ".asoundrc";
inline constexpr char kUserAutostartDir[] = ".config/autostart";

// ---- Receipts -------------------------------------------------------------------

inline constexpr char kReceiptSuffix[] = ".list";
// Bounds on what a removal tool reads: a receipt bigger than this, or more
// receipts or entries than this, is not something our installer wrote.
inline constexpr unsigned long kMaxReceiptBytes = 1024 * 1024;
inline constexpr unsigned kMaxReceiptFiles = 64;
inline constexpr unsigned kMaxReceiptEntries = 65536;

// ---- Login items ------------------------------------------------------------------

// An autostart entry is the product's when its name is quillon-*.desktop and
// it carries this line; a file that merely shares the name is left alone.
inline constexpr char kLoginItemPrefix[] = "quillon-";
inline constexpr char kLoginItemSuffix[] = ".desktop";
inline constexpr char kLoginItemMarker[] = "X-Quillon-LoginItem=true";
inline constexpr unsigned long kMaxLoginItemBytes = 64 * 1024;

// ---- ALSA configuration ------------------------------------------------------------

// Bigger shared configuration files are refused rather than rewritten.
inline constexpr unsigned long kMaxAlsaConfBytes = 1024 * 1024;

}  // namespace quillon

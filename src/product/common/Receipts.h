// Receipts, as dpkg keeps its .list files: a text file per installed
// component that names every file and folder the installer created, one
// absolute path per line ("\n"), parents before their contents. Empty lines
// are ignored; nothing else is special (no comments, no quoting).
#pragma once

#include <string>
#include <vector>

namespace quillon {

// Lists the receipts ("*.list", regular files or not, the reader checks) in
// the readable folder dirFd, sorted by name. At most kMaxReceiptFiles names;
// more gives E2BIG. Returns 0 or an errno.
int ListReceipts(int dirFd, std::vector<std::string>* names);

// Reads the receipt `name` in dirFd. It must be a regular file, not a
// symbolic link, owned by root or the effective user, writable by nobody else,
// and at most kMaxReceiptBytes long with at most kMaxReceiptEntries entries;
// otherwise a short reason is stored in *why and an errno returned. The
// entries are returned exactly as written (checking them is the caller's job).
int ReadReceiptAt(int dirFd, const char* name, std::vector<std::string>* entries, const char** why);

// The bytes of a receipt that lists `entries`.
std::string FormatReceipt(const std::vector<std::string>& entries);

}  // namespace quillon

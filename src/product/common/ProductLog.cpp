#include "ProductLog.h"

#include "MoreUNIXText.h"

#include <cstdarg>
#include <cstdio>

namespace quillon {

static const char* sTool = "quillon";

void SetLogTool(const char* name) { sTool = name; }

const char* LogTool() { return sTool; }

void Log(const char* format, ...) {
  std::fprintf(stdout, "%s: ", sTool);
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Shown(std::string_view text) {
  // Backslashes first, so that an escape in the result always stands for
  // a byte of the name and never for the name's own text.
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '\\') {
      escaped += "\\x5c";
    } else {
      escaped += c;
    }
  }
  return MoreUNIXSafeText(escaped);
}

void Listed(const char* kind, std::string_view path) {
  std::fprintf(stdout, "%s %s\n", kind, Shown(path).c_str());
  std::fflush(stdout);
}

}  // namespace quillon

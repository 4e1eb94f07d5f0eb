#include "ProductLog.h"

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
  std::string shown;
  shown.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f || c == '\\') {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      shown += escape;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

void Listed(const char* kind, std::string_view path) {
  std::fprintf(stdout, "%s %s\n", kind, Shown(path).c_str());
  std::fflush(stdout);
}

}  // namespace quillon

// The head-and-tail cut of a long log, apart from the log file: the helper
// tool cuts its log the same way and links only this.

#include "UninstallerLogCut.h"

#include <MoreUNIXText.h>

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The longest prefix of |text| that does not end inside a UTF-8 sequence.
std::string_view WholeCharactersAtEnd(std::string_view text) {
  return text.substr(0, MoreUNIXWholeCharacterPrefix(text));
}

// |text| without continuation bytes at its start.
std::string_view WholeCharactersAtStart(std::string_view text) {
  size_t start = 0;
  while (start < 4 && start < text.size() && IsContinuationByte(text[start])) start++;
  return text.substr(start);
}

}  // namespace

std::string UninstallerCutMarker(size_t bytesLeftOut) {
  return "[... " + std::to_string(bytesLeftOut) + " bytes left out ...]\n";
}

std::string UninstallerJoinCut(std::string_view head, std::string_view tail, size_t leftOut) {
  if (leftOut == 0) return std::string(head) + std::string(tail);
  size_t dropped = leftOut;
  if (!head.empty() && head.back() != '\n') {
    size_t newline = head.rfind('\n');
    std::string_view kept = newline == std::string_view::npos ? WholeCharactersAtEnd(head) : head.substr(0, newline + 1);
    dropped += head.size() - kept.size();
    head = kept;
  }
  size_t newline = tail.find('\n');
  std::string_view kept = newline == std::string_view::npos || newline + 1 == tail.size()
                              ? WholeCharactersAtStart(tail)
                              : tail.substr(newline + 1);
  dropped += tail.size() - kept.size();
  tail = kept;

  std::string joined;
  joined.reserve(head.size() + tail.size() + 48);
  joined.append(head);
  if (!joined.empty() && joined.back() != '\n') joined.push_back('\n');
  joined.append(UninstallerCutMarker(dropped));
  joined.append(tail);
  return joined;
}

std::string UninstallerCutLog(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  const size_t tailBudget = limit / 2;
  const size_t headBudget = limit - tailBudget;
  return UninstallerJoinCut(text.substr(0, headBudget), text.substr(text.size() - tailBudget),
                            text.size() - headBudget - tailBudget);
}

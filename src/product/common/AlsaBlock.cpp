#include "AlsaBlock.h"

#include <cassert>

namespace quillon {

namespace {

enum class Marker { kNone, kBegin, kBeginCreated, kBeginLineBreak, kEnd };

Marker Classify(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line == kAlsaBeginMarker) return Marker::kBegin;
  if (line == kAlsaBeginCreatedMarker) return Marker::kBeginCreated;
  if (line == kAlsaBeginLineBreakMarker) return Marker::kBeginLineBreak;
  if (line == kAlsaEndMarker) return Marker::kEnd;
  return Marker::kNone;
}

// Calls visit(start, length) for each line, its "\n" included.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    if (!visit(start, end - start)) return;
    start = end;
  }
}

}  // namespace

bool PruneAlsaBlocks(std::string_view in, std::string* out, AlsaPruneResult* result) {
  assert(out != nullptr && result != nullptr);
  *result = AlsaPruneResult();
  out->clear();
  out->reserve(in.size());
  bool inside = false;
  bool created = false;
  size_t lineNumber = 0;
  ForEachLine(in, [&](size_t start, size_t length) {
    lineNumber++;
    Marker marker = Classify(in.substr(start, length));
    if (marker == Marker::kEnd) {
      if (!inside) {
        result->badLine = lineNumber;
        return false;
      }
      inside = false;
      result->blocks++;
      return true;
    }
    if (marker != Marker::kNone) {
      if (inside) {
        result->badLine = lineNumber;
        return false;
      }
      inside = true;
      if (marker == Marker::kBeginCreated) created = true;
      // The one "\n" the installer added ends what has been copied so far.
      if (marker == Marker::kBeginLineBreak && !out->empty() && out->back() == '\n') out->pop_back();
      return true;
    }
    if (!inside) out->append(in.substr(start, length));
    return true;
  });
  if (result->badLine == 0 && inside) result->badLine = lineNumber;
  if (result->badLine != 0) {
    out->clear();
    result->blocks = 0;
    return false;
  }
  result->removeFile = created && out->empty();
  return true;
}

bool HasAlsaBlock(std::string_view in) {
  bool found = false;
  ForEachLine(in, [&](size_t start, size_t length) {
    Marker marker = Classify(in.substr(start, length));
    found = marker == Marker::kBegin || marker == Marker::kBeginCreated || marker == Marker::kBeginLineBreak;
    return !found;
  });
  return found;
}

std::string AppendAlsaBlock(std::string_view existing, bool fileExisted, std::string_view body) {
  std::string out(existing);
  if (!fileExisted) {
    out += kAlsaBeginCreatedMarker;
  } else if (!existing.empty() && existing.back() != '\n') {
    out += '\n';
    out += kAlsaBeginLineBreakMarker;
  } else {
    out += kAlsaBeginMarker;
  }
  out += '\n';
  out += body;
  if (!body.empty() && body.back() != '\n') out += '\n';
  out += kAlsaEndMarker;
  out += '\n';
  return out;
}

}  // namespace quillon

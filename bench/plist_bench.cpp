// Our XML property-list writer and reader against libplist's plist_to_xml and
// plist_from_xml, on the same document of about 1 MiB: a dictionary of
// entries that mix every type, with some nesting. Also one request frame of
// that document written and read through a socket pair.
//
// Like the copy benchmark, each iteration times ours and theirs back to back,
// alternating which goes first; the benchmark's own time is ours and the
// counters hold both medians and their ratio (below 1: we are faster). The
// work is all CPU, so it is timed in the process's CPU time (both threads of
// the socket-pair runs included): on a shared machine wall time mostly
// measures the neighbours.
// libplist is linked into this program only, never into the product.

#include <CoreFoundation/CoreFoundation.h>

#include "MoreSecProtocolPrivate.h"
#include "MoreUNIX.h"

#include <plist/plist.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr size_t kTargetXMLSize = 1000000;  // under the frame limit of 1,048,576

CFStringRef Text(const std::string& s) {
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(s.data()), static_cast<CFIndex>(s.size()),
                                 kCFStringEncodingUTF8, false);
}

void Set(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
  CFStringRef k = Text(key);
  CFDictionarySetValue(dict, k, value);
  CFRelease(k);
  CFRelease(value);
}

CFMutableDictionaryRef NewDict() {
  return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

CFDictionaryRef MakeEntry(uint32_t& seed, int i) {
  auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
  };
  CFMutableDictionaryRef entry = NewDict();
  Set(entry, "Name", Text("Component " + std::to_string(i) + " & friends <Caf\xC3\xA9 \xE2\x9C\x93>"));
  Set(entry, "Path", Text("/usr/local/share/quillon/components/" + std::to_string(next() % 100000) + "/payload.bin"));
  SInt64 id = i;
  Set(entry, "Identifier", CFNumberCreate(nullptr, kCFNumberSInt64Type, &id));
  SInt64 size = static_cast<SInt64>(next()) * 4099;
  Set(entry, "Size", CFNumberCreate(nullptr, kCFNumberSInt64Type, &size));
  double ratio = (next() % 1000000) / 7.0;
  Set(entry, "Ratio", CFNumberCreate(nullptr, kCFNumberFloat64Type, &ratio));
  Set(entry, "Enabled", CFRetain((next() & 1) ? kCFBooleanTrue : kCFBooleanFalse));
  Set(entry, "Modified", CFDateCreate(nullptr, 600000000.0 + (next() % 100000000)));
  UInt8 blob[48];
  for (UInt8& b : blob) b = static_cast<UInt8>(next());
  Set(entry, "Checksum", CFDataCreate(nullptr, blob, sizeof blob));
  CFMutableArrayRef tags = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  for (int t = 0; t < 3; ++t) {
    CFStringRef tag = Text("tag-" + std::to_string(next() % 50));
    CFArrayAppendValue(tags, tag);
    CFRelease(tag);
  }
  Set(entry, "Tags", tags);
  CFMutableDictionaryRef owner = NewDict();
  SInt64 uid = 501 + (next() % 20);
  Set(owner, "UID", CFNumberCreate(nullptr, kCFNumberSInt64Type, &uid));
  Set(owner, "User", Text("user" + std::to_string(uid)));
  Set(entry, "Owner", owner);
  return entry;
}

// The shared document, as our objects, as our XML and as libplist's tree.
struct Document {
  CFDictionaryRef dict = nullptr;
  CFDataRef xml = nullptr;
  plist_t theirs = nullptr;
  bool ok = false;

  Document() {
    uint32_t seed = 2463534242u;
    CFMutableDictionaryRef root = NewDict();
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    Set(root, "Version", Text("1.0"));
    // A first batch gives the size of one entry; a second fills up to the
    // target size.
    auto add = [&](size_t count, size_t* entries) {
      for (size_t k = 0; k < count; ++k) {
        CFDictionaryRef entry = MakeEntry(seed, static_cast<int>((*entries)++));
        CFArrayAppendValue(list, entry);
        CFRelease(entry);
      }
    };
    size_t entries = 0;
    add(100, &entries);
    CFDictionarySetValue(root, CFSTR("Components"), list);
    CFDataRef probe = CFPropertyListCreateXMLData(nullptr, root);
    if (probe == nullptr) return;
    const size_t size = static_cast<size_t>(CFDataGetLength(probe));
    CFRelease(probe);
    if (size < kTargetXMLSize) add((kTargetXMLSize - size) / (size / entries + 1), &entries);
    CFRelease(list);
    dict = root;
    xml = CFPropertyListCreateXMLData(nullptr, dict);
    if (xml == nullptr) return;
    plist_from_xml(reinterpret_cast<const char*>(CFDataGetBytePtr(xml)), static_cast<uint32_t>(CFDataGetLength(xml)),
                   &theirs);
    ok = theirs != nullptr && CFDataGetLength(xml) <= 1048576;
    std::fprintf(stderr, "document: %ld bytes of XML, %zu entries\n", static_cast<long>(CFDataGetLength(xml)),
                 entries);
  }
};

Document& SharedDocument() {
  static Document document;
  return document;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double CPUSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Time(const std::function<bool()>& work, bool* ok) {
  const double start = CPUSeconds();
  *ok = work() && *ok;
  return CPUSeconds() - start;
}

// Times ours and theirs alternately; reports ours as the iteration time.
void Compare(benchmark::State& state, const char* theirName, const std::function<bool()>& ours,
             const std::function<bool()>& theirs) {
  if (!SharedDocument().ok) {
    state.SkipWithError("cannot build the document");
    return;
  }
  std::vector<double> oursTimes, theirTimes;
  bool oursFirst = true, ok = true;
  for (auto _ : state) {
    double a, b;
    if (oursFirst) {
      a = Time(ours, &ok);
      b = Time(theirs, &ok);
    } else {
      b = Time(theirs, &ok);
      a = Time(ours, &ok);
    }
    oursFirst = !oursFirst;
    if (!ok) {
      state.SkipWithError("a run failed");
      return;
    }
    state.SetIterationTime(a);
    oursTimes.push_back(a);
    theirTimes.push_back(b);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * CFDataGetLength(SharedDocument().xml));
  state.counters["quillon_median_ms"] = Median(oursTimes) * 1e3;
  state.counters[std::string(theirName) + "_median_ms"] = Median(theirTimes) * 1e3;
  state.counters[std::string("ratio_vs_") + theirName] = Median(oursTimes) / Median(theirTimes);
}

void BM_XMLWrite1MiB_QuillonVsLibplist(benchmark::State& state) {
  Document& doc = SharedDocument();
  Compare(
      state, "libplist",
      [&] {
        CFDataRef xml = CFPropertyListCreateXMLData(nullptr, doc.dict);
        if (xml == nullptr) return false;
        CFRelease(xml);
        return true;
      },
      [&] {
        char* xml = nullptr;
        uint32_t length = 0;
        plist_to_xml(doc.theirs, &xml, &length);
        if (xml == nullptr) return false;
        free(xml);
        return true;
      });
}
BENCHMARK(BM_XMLWrite1MiB_QuillonVsLibplist)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

void BM_XMLRead1MiB_QuillonVsLibplist(benchmark::State& state) {
  Document& doc = SharedDocument();
  Compare(
      state, "libplist",
      [&] {
        CFPropertyListRef plist = CFPropertyListCreateFromXMLData(nullptr, doc.xml, kCFPropertyListImmutable, nullptr);
        if (plist == nullptr) return false;
        CFRelease(plist);
        return true;
      },
      [&] {
        plist_t plist = nullptr;
        plist_from_xml(reinterpret_cast<const char*>(CFDataGetBytePtr(doc.xml)),
                       static_cast<uint32_t>(CFDataGetLength(doc.xml)), &plist);
        if (plist == nullptr) return false;
        plist_free(plist);
        return true;
      });
}
BENCHMARK(BM_XMLRead1MiB_QuillonVsLibplist)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

// One frame through a socket pair: our WriteDictionaryToDescriptor and
// CopyDictionaryFromDescriptor, against the same framing around libplist.
// The writer runs on a second thread, as the peer would.
bool WriteAll(int fd, const void* bytes, size_t length) {
  const char* p = static_cast<const char*>(bytes);
  while (length > 0) {
    const ssize_t n = write(fd, p, length);
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, void* bytes, size_t length) {
  char* p = static_cast<char*>(bytes);
  while (length > 0) {
    const ssize_t n = read(fd, p, length);
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool ThroughSocketPair(const std::function<bool(int)>& writer, const std::function<bool(int)>& reader) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return false;
  bool wrote = false;
  std::thread peer([&] { wrote = writer(fds[0]); });
  const bool read = reader(fds[1]);
  peer.join();
  close(fds[0]);
  close(fds[1]);
  return wrote && read;
}

void BM_FrameWriteRead1MiB_QuillonVsLibplist(benchmark::State& state) {
  Document& doc = SharedDocument();
  if (MoreUNIXIgnoreSIGPIPE() != 0) {  // as every program of ours does first
    state.SkipWithError("cannot ignore SIGPIPE");
    return;
  }
  Compare(
      state, "libplist",
      [&] {
        return ThroughSocketPair([&](int fd) { return WriteDictionaryToDescriptor(doc.dict, fd) == noErr; },
                                 [&](int fd) {
                                   CFDictionaryRef dict = nullptr;
                                   if (CopyDictionaryFromDescriptor(fd, &dict) != noErr) return false;
                                   CFRelease(dict);
                                   return true;
                                 });
      },
      [&] {
        return ThroughSocketPair(
            [&](int fd) {
              char* xml = nullptr;
              uint32_t length = 0;
              plist_to_xml(doc.theirs, &xml, &length);
              if (xml == nullptr) return false;
              // Length and body in one buffer and one write, as ours does.
              std::vector<char> frame(4 + length);
              const int32_t L = static_cast<int32_t>(length);
              std::memcpy(frame.data(), &L, 4);
              std::memcpy(frame.data() + 4, xml, length);
              free(xml);
              return WriteAll(fd, frame.data(), frame.size());
            },
            [&](int fd) {
              int32_t length = 0;
              if (!ReadAll(fd, &length, 4) || length <= 0 || length > 1048576) return false;
              std::vector<char> body(static_cast<size_t>(length));
              if (!ReadAll(fd, body.data(), body.size())) return false;
              plist_t plist = nullptr;
              plist_from_xml(body.data(), static_cast<uint32_t>(length), &plist);
              if (plist == nullptr || plist_get_node_type(plist) != PLIST_DICT) return false;
              plist_free(plist);
              return true;
            });
      });
}
BENCHMARK(BM_FrameWriteRead1MiB_QuillonVsLibplist)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

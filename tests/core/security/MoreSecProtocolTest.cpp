// The request channel's frames, descriptor lists and result codes.

#include "MoreSecProtocolPrivate.h"

#include "MoreCFQ.h"
#include "MoreUNIX.h"
#include "TestDescriptors.h"

#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using quillon::testing::CountOpenDescriptors;

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0); }
};

// A temporary file that holds whatever the test writes into it; reading starts
// at offset 0 so the test can check where the reader stopped.
class ScratchFile {
 public:
  ScratchFile() {
    char name[] = "/tmp/quillon-frame-XXXXXX";
    fFd = mkstemp(name);
    unlink(name);
  }
  ~ScratchFile() { close(fFd); }
  int fd() const { return fFd; }
  void Append(const void* bytes, size_t length) {
    ASSERT_EQ(write(fFd, bytes, length), static_cast<ssize_t>(length));
  }
  void AppendFrame(SInt32 length, const std::string& body) {
    Append(&length, sizeof(length));
    Append(body.data(), body.size());
  }
  void Rewind() { lseek(fFd, 0, SEEK_SET); }
  off_t Position() const { return lseek(fFd, 0, SEEK_CUR); }

 private:
  int fFd = -1;
};

CFRef<CFMutableDictionaryRef> SampleDictionary() {
  CFRef<CFMutableDictionaryRef> dict(
      CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  SInt32 answer = 42;
  CFRef<CFNumberRef> number(CFNumberCreate(NULL, kCFNumberSInt32Type, &answer));
  CFDictionarySetValue(dict.get(), CFSTR("CommandPath"), CFSTR("/opt/bundle/Resources/uninstall.ss"));
  CFDictionarySetValue(dict.get(), CFSTR("Answer"), number.get());
  CFDictionarySetValue(dict.get(), CFSTR("Flag"), kCFBooleanTrue);
  return dict;
}

std::string PlistWrapping(const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + inner + "</plist>\n";
}

OSStatus ReadFrameFrom(int fd, CFRef<CFDictionaryRef>* out) {
  CFDictionaryRef dict = NULL;
  OSStatus err = CopyDictionaryFromDescriptor(fd, &dict);
  out->reset(dict);
  return err;
}

OSStatus ReadBody(SInt32 length, const std::string& body) {
  ScratchFile file;
  file.AppendFrame(length, body);
  file.Rewind();
  CFRef<CFDictionaryRef> dict;
  return ReadFrameFrom(file.fd(), &dict);
}

TEST_F(ProtocolTest, FrameRoundTripStopsExactlyAtTheFrameEnd) {
  CFRef<CFMutableDictionaryRef> sent = SampleDictionary();
  ScratchFile file;
  ASSERT_EQ(WriteDictionaryToDescriptor(sent.get(), file.fd()), noErr);
  off_t frameEnd = file.Position();
  file.Append("tail", 4);
  file.Rewind();

  CFRef<CFDictionaryRef> received;
  ASSERT_EQ(ReadFrameFrom(file.fd(), &received), noErr);
  EXPECT_TRUE(CFEqual(sent.get(), received.get()));
  EXPECT_EQ(file.Position(), frameEnd);

  char tail[4];
  ASSERT_EQ(read(file.fd(), tail, 4), 4);
  EXPECT_EQ(std::string(tail, 4), "tail");
}

TEST_F(ProtocolTest, LengthFieldIsBoundedBeforeAnythingIsAllocatedOrRead) {
  ScratchFile file;
  SInt32 zero = 0;
  file.Append(&zero, sizeof(zero));
  file.Append("rest", 4);
  file.Rewind();
  CFRef<CFDictionaryRef> dict;
  EXPECT_EQ(ReadFrameFrom(file.fd(), &dict), paramErr);
  EXPECT_EQ(file.Position(), 4) << "nothing after a zero length is read";
  EXPECT_FALSE(dict);

  for (SInt32 length : {kMoreSecMaxFrameBodyLength + 1, -1, INT32_MIN}) {
    ScratchFile big;
    big.AppendFrame(length, PlistWrapping("<dict/>"));
    big.Rewind();
    EXPECT_EQ(ReadFrameFrom(big.fd(), &dict), memFullErr) << length;
    EXPECT_EQ(big.Position(), 4) << "the body of a frame of length " << length << " is not read";
  }
}

TEST_F(ProtocolTest, BodyOfExactlyTheLimitIsRead) {
  std::string head = PlistWrapping("<dict><key>pad</key><string>");
  std::string tail = "</string></dict></plist>\n";
  head = head.substr(0, head.size() - std::string("</plist>\n").size());
  std::string body = head + std::string(kMoreSecMaxFrameBodyLength - head.size() - tail.size(), 'x') + tail;
  ASSERT_EQ(body.size(), static_cast<size_t>(kMoreSecMaxFrameBodyLength));
  EXPECT_EQ(ReadBody(kMoreSecMaxFrameBodyLength, body), noErr);
}

// A frame the reader would refuse is never sent: the writer refuses it with
// the reader's status, and the peer meets the end of the stream instead.
TEST_F(ProtocolTest, TheWriterSendsOnlyFramesTheReaderAccepts) {
  CFRef<CFMutableDictionaryRef> dict = SampleDictionary();
  CFRef<CFDataRef> bare(CFPropertyListCreateXMLData(NULL, dict.get()));
  const size_t fit = static_cast<size_t>(kMoreSecMaxFrameBodyLength - CFDataGetLength(bare.get())) -
                     std::string("\t<key>pad</key>\n\t<string></string>\n").size();
  for (size_t padding : {fit, fit + 1}) {
    const std::string pad(padding, 'x');
    CFRef<CFStringRef> value(CFStringCreateWithCString(NULL, pad.c_str(), kCFStringEncodingUTF8));
    CFDictionarySetValue(dict.get(), CFSTR("pad"), value.get());
    ScratchFile file;
    const OSStatus written = WriteDictionaryToDescriptor(dict.get(), file.fd());
    file.Rewind();
    CFRef<CFDictionaryRef> received;
    const OSStatus read = ReadFrameFrom(file.fd(), &received);
    if (padding == fit) {
      EXPECT_EQ(written, noErr);
      EXPECT_EQ(file.Position(), 4 + kMoreSecMaxFrameBodyLength);
      EXPECT_EQ(read, noErr);
    } else {
      EXPECT_EQ(written, memFullErr);
      EXPECT_EQ(read, EPIPE) << "nothing of the frame was written";
    }
  }
}

TEST_F(ProtocolTest, TruncatedFramesGiveEPIPE) {
  ScratchFile insideLength;
  insideLength.Append("\x10\x00", 2);
  insideLength.Rewind();
  CFRef<CFDictionaryRef> dict;
  EXPECT_EQ(ReadFrameFrom(insideLength.fd(), &dict), EPIPE);

  std::string body = PlistWrapping("<dict/>");
  ScratchFile insideBody;
  SInt32 length = static_cast<SInt32>(body.size());
  insideBody.Append(&length, sizeof(length));
  insideBody.Append(body.data(), body.size() - 3);
  insideBody.Rewind();
  EXPECT_EQ(ReadFrameFrom(insideBody.fd(), &dict), EPIPE);
  EXPECT_FALSE(dict);
}

TEST_F(ProtocolTest, BodiesThatAreNotDictionariesAreRefused) {
  auto frame = [](const std::string& body) { return ReadBody(static_cast<SInt32>(body.size()), body); };
  EXPECT_EQ(frame(PlistWrapping("<array><string>a</string></array>")), paramErr);
  EXPECT_EQ(frame(PlistWrapping("<string>a</string>")), paramErr);
  EXPECT_EQ(frame(PlistWrapping("<dict><key>a</key><string>b</string>")), coreFoundationUnknownErr);
  EXPECT_EQ(frame("not xml at all"), coreFoundationUnknownErr);
}

// Hostile bodies give a status; none may crash, hang or allocate without bound.
TEST_F(ProtocolTest, HostileBodiesGiveAStatus) {
  auto frame = [](const std::string& body) { return ReadBody(static_cast<SInt32>(body.size()), body); };

  // 100,000 open arrays fit the frame only unclosed; a closed nest as deep as
  // fits (65,000 levels) is well-formed XML, and still far too deep.
  std::string open100k;
  for (int i = 0; i < 100000; i++) open100k += "<array>";
  std::string deepOpen = PlistWrapping("<dict><key>k</key>" + open100k);
  ASSERT_LE(deepOpen.size(), static_cast<size_t>(kMoreSecMaxFrameBodyLength));
  EXPECT_EQ(frame(deepOpen), coreFoundationUnknownErr);

  std::string nested;
  const int depth = 65000;
  for (int i = 0; i < depth; i++) nested += "<array>";
  for (int i = 0; i < depth; i++) nested += "</array>";
  std::string deep = PlistWrapping("<dict><key>k</key>" + nested + "</dict>");
  ASSERT_LE(deep.size(), static_cast<size_t>(kMoreSecMaxFrameBodyLength));
  EXPECT_EQ(frame(deep), coreFoundationUnknownErr);

  EXPECT_EQ(frame(PlistWrapping("<dict><key>a</key><string>b")), coreFoundationUnknownErr);
  EXPECT_EQ(frame(PlistWrapping("<dict><key>a</key><string>\xC3\x28\xFF</string></dict>")),
            coreFoundationUnknownErr);
  EXPECT_EQ(frame(PlistWrapping("<dict><key>n</key><integer>123456789012345678901234567890</integer></dict>")),
            coreFoundationUnknownErr);
  EXPECT_EQ(frame(PlistWrapping("<dict><key>d</key><data>!!not*base64\?\?</data></dict>")),
            coreFoundationUnknownErr);

  // An entity declared in a DOCTYPE is never expanded.
  std::string doctype =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY boom \"EXPANDED\">]>\n"
      "<plist version=\"1.0\"><dict><key>k</key><string>&boom;</string></dict></plist>";
  ScratchFile file;
  file.AppendFrame(static_cast<SInt32>(doctype.size()), doctype);
  file.Rewind();
  CFRef<CFDictionaryRef> dict;
  OSStatus err = ReadFrameFrom(file.fd(), &dict);
  if (err == noErr) {
    CFStringRef value = static_cast<CFStringRef>(CFDictionaryGetValue(dict.get(), CFSTR("k")));
    ASSERT_NE(value, nullptr);
    EXPECT_NE(CFStringCompare(value, CFSTR("EXPANDED"), 0), kCFCompareEqualTo);
  } else {
    EXPECT_EQ(err, coreFoundationUnknownErr);
  }
}

class SocketPair {
 public:
  SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fFds), 0); }
  ~SocketPair() {
    CloseSender();
    if (fFds[1] >= 0) close(fFds[1]);
  }
  int sender() const { return fFds[0]; }
  int receiver() const { return fFds[1]; }
  void CloseSender() {
    if (fFds[0] >= 0) close(fFds[0]);
    fFds[0] = -1;
  }
  void CloseReceiver() {
    if (fFds[1] >= 0) close(fFds[1]);
    fFds[1] = -1;
  }

 private:
  int fFds[2] = {-1, -1};
};

CFRef<CFMutableDictionaryRef> ResponseListing(const std::vector<int>& fds) {
  CFRef<CFMutableDictionaryRef> dict = SampleDictionary();
  CFRef<CFMutableArrayRef> list(CFArrayCreateMutable(NULL, 0, &kCFTypeArrayCallBacks));
  for (int fd : fds) {
    CFRef<CFNumberRef> number(CFNumberCreate(NULL, kCFNumberIntType, &fd));
    CFArrayAppendValue(list.get(), number.get());
  }
  CFDictionarySetValue(dict.get(), kMoreSecFileDescriptorsKey, list.get());
  return dict;
}

int TempFileDescriptor() {
  char name[] = "/tmp/quillon-fd-XXXXXX";
  int fd = mkstemp(name);
  unlink(name);
  return fd;
}

TEST_F(ProtocolTest, DescriptorsArriveRenumberedInOrderAndReferToTheSameFiles) {
  int first = TempFileDescriptor();
  int second = TempFileDescriptor();
  SocketPair pair;
  ASSERT_EQ(WriteDictionaryAndDescriptors(ResponseListing({first, second}).get(), pair.sender()), noErr);

  CFDictionaryRef raw = NULL;
  ASSERT_EQ(CopyDictionaryTranslatingDescriptors(pair.receiver(), &raw), noErr);
  CFRef<CFDictionaryRef> response(raw);
  CFArrayRef list = static_cast<CFArrayRef>(CFDictionaryGetValue(response.get(), kMoreSecFileDescriptorsKey));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(CFArrayGetCount(list), 2);
  int got[2];
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(list, i)), kCFNumberIntType,
                                 &got[i]));
    EXPECT_NE(got[i], first);
    EXPECT_NE(got[i], second);
  }
  ASSERT_EQ(write(got[0], "one", 3), 3);
  ASSERT_EQ(write(got[1], "two!", 4), 4);
  EXPECT_EQ(lseek(first, 0, SEEK_END), 3);
  EXPECT_EQ(lseek(second, 0, SEEK_END), 4);

  int before = CountOpenDescriptors();
  MoreSecCloseDescriptorArray(list);
  EXPECT_EQ(CountOpenDescriptors(), before - 2);
  close(first);
  close(second);
}

TEST_F(ProtocolTest, ResponsesWithoutOrWithAnEmptyListReadNoDescriptor) {
  SocketPair pair;
  CFRef<CFMutableDictionaryRef> plain = SampleDictionary();
  ASSERT_EQ(WriteDictionaryAndDescriptors(plain.get(), pair.sender()), noErr);
  ASSERT_EQ(WriteDictionaryAndDescriptors(ResponseListing({}).get(), pair.sender()), noErr);

  CFDictionaryRef raw = NULL;
  ASSERT_EQ(CopyDictionaryTranslatingDescriptors(pair.receiver(), &raw), noErr);
  CFRef<CFDictionaryRef> first(raw);
  EXPECT_TRUE(CFEqual(first.get(), plain.get()));

  raw = NULL;
  ASSERT_EQ(CopyDictionaryTranslatingDescriptors(pair.receiver(), &raw), noErr);
  CFRef<CFDictionaryRef> second(raw);
  CFArrayRef list = static_cast<CFArrayRef>(CFDictionaryGetValue(second.get(), kMoreSecFileDescriptorsKey));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(CFArrayGetCount(list), 0);
}

TEST_F(ProtocolTest, APeerThatPromisesTwoDescriptorsAndSendsOneLeavesNothingOpen) {
  int fd = TempFileDescriptor();
  SocketPair pair;
  CFRef<CFMutableDictionaryRef> promise = ResponseListing({fd, fd});
  ASSERT_EQ(WriteDictionaryToDescriptor(promise.get(), pair.sender()), noErr);
  ASSERT_EQ(MoreUNIXWriteDescriptor(pair.sender(), fd), 0);
  pair.CloseSender();

  int before = CountOpenDescriptors();
  CFDictionaryRef raw = NULL;
  EXPECT_EQ(CopyDictionaryTranslatingDescriptors(pair.receiver(), &raw), EPIPE);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(CountOpenDescriptors(), before);
  close(fd);
}

TEST_F(ProtocolTest, BadDescriptorListsAreRefusedOnBothSides) {
  SocketPair pair;
  CFRef<CFMutableDictionaryRef> dict = SampleDictionary();
  CFDictionarySetValue(dict.get(), kMoreSecFileDescriptorsKey, CFSTR("not a list"));
  EXPECT_EQ(WriteDictionaryAndDescriptors(dict.get(), pair.sender()), EINVAL);
  CFDictionaryRef raw = NULL;
  EXPECT_EQ(CopyDictionaryTranslatingDescriptors(pair.receiver(), &raw), kCFQBadValueErr);
  EXPECT_EQ(raw, nullptr);

  // A list entry that cannot be a descriptor: the writer stops, the reader
  // receives nothing for that frame.
  CFRef<CFMutableDictionaryRef> negative = ResponseListing({-1});
  EXPECT_EQ(WriteDictionaryAndDescriptors(negative.get(), pair.sender()), EINVAL);
  EXPECT_EQ(CopyDictionaryTranslatingDescriptors(pair.receiver(), &raw), kCFQBadValueErr);
}

TEST_F(ProtocolTest, AWriterWhosePeerHasGoneGetsEPIPE) {
  SocketPair pair;
  pair.CloseReceiver();
  EXPECT_EQ(WriteDictionaryToDescriptor(SampleDictionary().get(), pair.sender()), EPIPE);
}

TEST(HelperToolResultTest, StatusToResultCode) {
  const struct {
    OSStatus status;
    int result;
  } cases[] = {{0, 0},    {-60005, 2}, {-60006, 3}, {5361, 1}, {5362, 2}, {5363, 3},
               {5364, 4}, {5360, 4},   {5365, 4},   {-50, 4},  {32, 4}, {-60007, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(MoreSecErrorToHelperToolResult(c.status), c.result) << c.status;
  }
}

TEST(HelperToolResultTest, ResultCodeToStatus) {
  const struct {
    int result;
    OSStatus status;
  } cases[] = {{0, 0}, {1, 5361}, {2, 5362}, {3, 5363}, {4, 5364}, {5, -60007}, {6, 5364}, {-1, 5364}, {255, 5364}};
  for (const auto& c : cases) {
    EXPECT_EQ(MoreSecHelperToolResultToError(c.result), c.status) << c.result;
  }
}

}  // namespace

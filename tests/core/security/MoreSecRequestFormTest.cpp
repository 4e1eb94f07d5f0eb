// The flat request form root reads instead of the caller's XML, root's
// collection of it from the parsing child, and the host's use of both.

#include "MoreSecHelperTool.h"
#include "MoreSecProtocolPrivate.h"
#include "MoreSecRequestForm.h"
#include "MoreSecRequestReader.h"
#include "MoreUNIX.h"

#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const MoreSecRequestKey kKeys[] = {
    {"Path", kMoreSecRequestString, 16},
    {"Count", kMoreSecRequestInteger, 8},
    {"Quiet", kMoreSecRequestFlag, 0},
    {"Files", kMoreSecRequestStringList, 32},
};
const MoreSecRequestSchema kSchema = {kKeys, 4};

CFRef<CFStringRef> String(const char* text) {
  return CFRef<CFStringRef>(CFStringCreateWithCString(NULL, text, kCFStringEncodingUTF8));
}

std::string Describe(CFDictionaryRef dict) {
  CFIndex count = CFDictionaryGetCount(dict);
  std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
  CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
  std::string text;
  char buffer[256];
  for (CFIndex i = 0; i < count; i++) {
    CFStringGetCString(static_cast<CFStringRef>(keys[i]), buffer, sizeof buffer, kCFStringEncodingUTF8);
    text += buffer;
    text += '=';
    CFTypeRef value = values[i];
    if (CFGetTypeID(value) == CFStringGetTypeID()) {
      CFStringGetCString(static_cast<CFStringRef>(value), buffer, sizeof buffer, kCFStringEncodingUTF8);
      text += std::string("\"") + buffer + "\"";
    } else if (CFGetTypeID(value) == CFNumberGetTypeID()) {
      SInt64 number = 0;
      CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number);
      text += std::to_string(number);
    } else if (value == kCFBooleanTrue || value == kCFBooleanFalse) {
      text += value == kCFBooleanTrue ? "true" : "false";
    } else if (CFGetTypeID(value) == CFArrayGetTypeID()) {
      text += "[";
      for (CFIndex k = 0; k < CFArrayGetCount(static_cast<CFArrayRef>(value)); k++) {
        CFStringGetCString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(value), k)),
                           buffer, sizeof buffer, kCFStringEncodingUTF8);
        text += std::string(k ? "," : "") + buffer;
      }
      text += "]";
    }
    text += ';';
  }
  return text;
}

std::string Decoded(const std::string& form, OSStatus* err) {
  CFDictionaryRef dict = NULL;
  *err = MoreSecCopyRequestFromForm(reinterpret_cast<const UInt8*>(form.data()), form.size(), kSchema, &dict);
  if (dict == NULL) return "<none>";
  std::string text = Describe(dict);
  CFRelease(dict);
  return text;
}

// A request through the child's encoder and root's decoder keeps the schema's
// keys in the request's order, drops every other key, and marks a value of
// the wrong kind or size as refused rather than dropping it, so the command
// still refuses it as before.
TEST(RequestFormTest, OnlyTheSchemasKeysCrossInTheirOrderWithWrongValuesMarked) {
  CFRef<CFMutableDictionaryRef> request(
      CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  SInt32 count = -7;
  CFRef<CFNumberRef> number(CFNumberCreate(NULL, kCFNumberSInt32Type, &count));
  CFRef<CFStringRef> a = String("/a"), b = String("/b");
  const void* files[] = {a.get(), b.get()};
  CFRef<CFArrayRef> list(CFArrayCreate(NULL, files, 2, &kCFTypeArrayCallBacks));
  CFDictionarySetValue(request.get(), String("Files").get(), list.get());
  CFDictionarySetValue(request.get(), String("Unknown").get(), String("x").get());
  CFDictionarySetValue(request.get(), String("Count").get(), number.get());
  CFDictionarySetValue(request.get(), String("Quiet").get(), number.get());
  CFDictionarySetValue(request.get(), String("Path").get(), String("/much/longer/than/sixteen").get());
  std::string form;
  MoreSecEncodeRequestForm(request.get(), kSchema, &form);
  OSStatus err;
  EXPECT_EQ(Decoded(form, &err), "Files=[/a,/b];Count=-7;Quiet=true;Path=false;");
  EXPECT_EQ(err, noErr);

  CFDictionarySetValue(request.get(), String("Path").get(), String("caf\xC3\xA9").get());
  CFDictionarySetValue(request.get(), String("Count").get(), String("7").get());
  MoreSecEncodeRequestForm(request.get(), kSchema, &form);
  EXPECT_EQ(Decoded(form, &err), "Files=[/a,/b];Count=false;Quiet=true;Path=\"caf\xC3\xA9\";");
}

std::string Field(UInt8 index, UInt8 kind, const std::string& value) {
  std::string field;
  field += static_cast<char>(index);
  field += static_cast<char>(kind);
  const UInt32 length = static_cast<UInt32>(value.size());
  for (int shift = 0; shift < 32; shift += 8) field += static_cast<char>((length >> shift) & 0xFF);
  return field + value;
}

std::string Form(const std::string& fields) { return "QLRQ1\n" + fields + "\xFF"; }

struct BadForm {
  const char* name;
  std::string form;
};

class RequestFormRefusalTest : public ::testing::TestWithParam<BadForm> {};

// Root refuses anything but a strictly well-formed form, whatever the child
// claims.
TEST_P(RequestFormRefusalTest, RootRefusesTheForm) {
  OSStatus err = noErr;
  EXPECT_EQ(Decoded(GetParam().form, &err), "<none>");
  EXPECT_EQ(err, coreFoundationUnknownErr);
}

const std::string kGoodPath = Field(0, kMoreSecRequestString, "/ok");

INSTANTIATE_TEST_SUITE_P(
    Forms, RequestFormRefusalTest,
    ::testing::Values(
        BadForm{"Empty", ""}, BadForm{"WrongMagic", "QLRQ2\n\xFF"}, BadForm{"NoEnd", "QLRQ1\n" + kGoodPath},
        BadForm{"BytesAfterTheEnd", Form(kGoodPath) + "x"},
        BadForm{"UnknownIndex", Form(Field(4, kMoreSecRequestString, "/ok"))},
        BadForm{"KeyTwice", Form(kGoodPath + kGoodPath)},
        BadForm{"OtherKind", Form(Field(0, kMoreSecRequestFlag, ""))},
        BadForm{"RefusedWithBytes", Form(Field(0, kMoreSecRequestRefused, "x"))},
        BadForm{"RefusedFlag", Form(Field(2, kMoreSecRequestRefused, ""))},
        BadForm{"LongerThanTheKeyAllows", Form(Field(0, kMoreSecRequestString, std::string(17, 'a')))},
        BadForm{"LengthBeyondTheForm", "QLRQ1\n" + Field(0, kMoreSecRequestString, "/ok").substr(0, 6) + "\xFF"},
        BadForm{"LongerThanTheFormAllows", Form(kGoodPath) + std::string(200, '\xFF')},
        BadForm{"Nul", Form(Field(0, kMoreSecRequestString, std::string("/a\0b", 4)))},
        BadForm{"Overlong", Form(Field(0, kMoreSecRequestString, "/\xC0\xAF"))},
        BadForm{"Surrogate", Form(Field(0, kMoreSecRequestString, "/\xED\xA0\x80"))},
        BadForm{"CutSequence", Form(Field(0, kMoreSecRequestString, "/\xE2\x82"))},
        BadForm{"ShortInteger", Form(Field(1, kMoreSecRequestInteger, "1234"))},
        BadForm{"FlagWithBytes", Form(Field(2, kMoreSecRequestFlag, "1"))},
        BadForm{"ListElementCut", Form(Field(3, kMoreSecRequestStringList, std::string("\x05\0\0\0/a", 6)))},
        BadForm{"ListElementNotUTF8", Form(Field(3, kMoreSecRequestStringList, std::string("\x02\0\0\0/\xFF", 6)))}),
    [](const ::testing::TestParamInfo<BadForm>& info) { return info.param.name; });

// --- Root's collection from a child ---------------------------------------------

enum class ChildDoes { SendAndExit, SendThenCrash, SendThenExit1, Garbage, TooLong, Hang };

OSStatus CollectFrom(ChildDoes what, std::string* request) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const std::string good = Form(kGoodPath);
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    std::string bytes = what == ChildDoes::Garbage   ? std::string("<plist><dict/></plist>")
                        : what == ChildDoes::TooLong ? Form(kGoodPath) + std::string(1 << 16, 'x')
                        : what == ChildDoes::Hang    ? std::string()
                                                     : good;
    (void) MoreUNIXWrite(fds[1], bytes.data(), bytes.size(), NULL);
    if (what == ChildDoes::SendThenCrash) abort();
    if (what == ChildDoes::Hang) pause();
    _exit(what == ChildDoes::SendThenExit1 ? 1 : 0);
  }
  close(fds[1]);
  CFDictionaryRef dict = NULL;
  OSStatus err = MoreSecCollectRequestFromChild(fds[0], child, kSchema, 200, &dict);
  close(fds[0]);
  *request = dict == NULL ? "<none>" : Describe(dict);
  if (dict != NULL) CFRelease(dict);
  // The child is gone and reaped either way.
  EXPECT_EQ(waitpid(child, NULL, WNOHANG), -1);
  return err;
}

std::string ChildName(const ::testing::TestParamInfo<ChildDoes>& info) {
  static const char* const kNames[] = {"SendAndExit", "SendThenCrash", "SendThenExit1", "Garbage", "TooLong", "Hang"};
  return kNames[static_cast<int>(info.param)];
}

class CollectionTest : public ::testing::TestWithParam<ChildDoes> {
 protected:
  void SetUp() override { ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0); }
};

TEST_P(CollectionTest, OnlyAWellFormedFormFromAChildThatExited0GivesARequest) {
  std::string request;
  OSStatus err = CollectFrom(GetParam(), &request);
  if (GetParam() == ChildDoes::SendAndExit) {
    EXPECT_EQ(err, noErr);
    EXPECT_EQ(request, "Path=\"/ok\";");
  } else {
    EXPECT_EQ(err, coreFoundationUnknownErr);
    EXPECT_EQ(request, "<none>");
  }
}

INSTANTIATE_TEST_SUITE_P(Children, CollectionTest,
                         ::testing::Values(ChildDoes::SendAndExit, ChildDoes::SendThenCrash, ChildDoes::SendThenExit1,
                                           ChildDoes::Garbage, ChildDoes::TooLong, ChildDoes::Hang),
                         ChildName);

// --- The host ------------------------------------------------------------------

int gCommandRuns = 0;
std::string gCommandSaw;

OSStatus RecordRequest(AuthorizationRef, CFDictionaryRef request, CFDictionaryRef* response) {
  gCommandRuns++;
  gCommandSaw = Describe(request);
  *response = NULL;
  return noErr;
}

void Crash() { abort(); }

// Runs the host, as root, on one request; returns its status, and what the
// other end of the channel received in |answer|.
OSStatus RunHost(const std::string& frame, MoreSecParserProbe probe, std::string* answer) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return -1;
  const char externalForm[32] = {};
  if (write(pair[1], externalForm, sizeof externalForm) != sizeof externalForm ||
      write(pair[1], frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
    return -1;
  }
  shutdown(pair[1], SHUT_WR);
  const MoreSecCommand command = {RecordRequest, kSchema, probe};
  const char* argv[] = {"UninstallerHelper", NULL};
  OSStatus err = MoreSecHelperToolMain(pair[0], pair[0], NULL, &command, 1, argv);
  close(pair[0]);
  answer->clear();
  char buffer[4096];
  ssize_t got;
  while ((got = read(pair[1], buffer, sizeof buffer)) > 0) answer->append(buffer, static_cast<size_t>(got));
  close(pair[1]);
  return err;
}

std::string FrameOf(const char* xml) {
  SInt32 length = static_cast<SInt32>(strlen(xml));
  return std::string(reinterpret_cast<const char*>(&length), sizeof length) + xml;
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "the host runs the command itself only when started as root";
    ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    gCommandRuns = 0;
    gCommandSaw.clear();
  }
};

TEST_F(HostTest, TheCommandGetsOnlyWhatTheChildHandedOver) {
  std::string answer;
  EXPECT_EQ(RunHost(FrameOf("<plist><dict><key>Other</key><string>x</string><key>Path</key><string>/p</string>"
                            "</dict></plist>"),
                    NULL, &answer),
            noErr);
  EXPECT_EQ(gCommandRuns, 1);
  EXPECT_EQ(gCommandSaw, "Path=\"/p\";");
  EXPECT_FALSE(answer.empty()) << "the response went out";
}

// A frame the parser refuses and a parser that crashes end the request as a
// malformed frame always has: a status, nothing written, no command.
TEST_F(HostTest, AFrameTheChildRefusesOrAChildCrashRunsNothing) {
  std::string answer;
  EXPECT_EQ(RunHost(FrameOf("<plist><array/></plist>"), NULL, &answer), coreFoundationUnknownErr);
  EXPECT_TRUE(answer.empty());
  EXPECT_EQ(RunHost(FrameOf("<plist><dict/></plist>"), Crash, &answer), coreFoundationUnknownErr);
  EXPECT_TRUE(answer.empty());
  EXPECT_EQ(gCommandRuns, 0);
}

}  // namespace

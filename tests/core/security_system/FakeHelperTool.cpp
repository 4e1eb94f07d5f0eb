// Stand-ins for broken helper tools, for the client's tests. What it does is
// chosen by the name it is started under (the client passes no arguments):
//   fake-exit-1, fake-exit-7          read the request, exit with that code
//   fake-signal                       read the request, die by SIGKILL
//   fake-answer-exit-1                answer with a response carrying one
//                                     descriptor, then exit 1

#include "MoreSecProtocolPrivate.h"
#include "MoreUNIX.h"

#include <CoreFoundation/CoreFoundation.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
  (void) argc;
  MoreUNIXIgnoreSIGPIPE();
  const char* name = strrchr(argv[0], '/');
  name = name ? name + 1 : argv[0];

  char extForm[32];
  CFDictionaryRef request = NULL;
  if (MoreUNIXRead(STDIN_FILENO, extForm, sizeof(extForm), NULL) == 0) {
    (void) CopyDictionaryFromDescriptor(STDIN_FILENO, &request);
  }
  // _exit: the objects above are never released, and a leak check at exit
  // must not change the code this tool exists to give.
  if (strcmp(name, "fake-exit-7") == 0) _exit(7);
  if (strcmp(name, "fake-signal") == 0) raise(SIGKILL);
  if (strcmp(name, "fake-answer-exit-1") == 0) {
    int fd = open("/dev/null", O_RDONLY);
    CFNumberRef number = CFNumberCreate(NULL, kCFNumberIntType, &fd);
    const void* fds[] = {number};
    CFArrayRef list = CFArrayCreate(NULL, fds, 1, &kCFTypeArrayCallBacks);
    SInt32 zero = 0;
    CFNumberRef errorNumber = CFNumberCreate(NULL, kCFNumberSInt32Type, &zero);
    const void* keys[] = {CFSTR("com.quillon.MoreSec.FDs"), CFSTR("com.quillon.MoreSec.ErrorNumber")};
    const void* values[] = {list, errorNumber};
    CFDictionaryRef response =
        CFDictionaryCreate(NULL, keys, values, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    (void) WriteDictionaryAndDescriptors(response, STDOUT_FILENO);
    _exit(1);
  }
  _exit(1);
}

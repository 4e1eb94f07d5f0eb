// Prints the process state that RunProgram promises a child, one fact per
// line, for the runner's tests to compare.
#include <dirent.h>
#include <grp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

static void PrintStatusLine(const char* key) {
  FILE* status = fopen("/proc/self/status", "re");
  if (status == NULL) return;
  char line[256];
  size_t length = strlen(key);
  while (fgets(line, sizeof line, status) != NULL) {
    if (strncmp(line, key, length) == 0 && line[length] == ':') {
      char* value = line + length + 1;
      while (*value == ' ' || *value == '\t') value++;
      printf("%s: %s", key, value);
    }
  }
  fclose(status);
}

int main() {
  DIR* fds = opendir("/proc/self/fd");
  printf("fds:");
  if (fds != NULL) {
    while (struct dirent* entry = readdir(fds)) {
      if (entry->d_name[0] == '.' || atoi(entry->d_name) == dirfd(fds)) continue;
      printf(" %s", entry->d_name);
    }
    closedir(fds);
  }
  printf("\n");
  char target[256] = "";
  ssize_t got = readlink("/proc/self/fd/0", target, sizeof target - 1);
  printf("stdin: %s\n", got > 0 ? target : "?");
  mode_t mask = umask(0);
  printf("umask: %04o\n", static_cast<unsigned>(mask));
  char cwd[256] = "";
  printf("cwd: %s\n", getcwd(cwd, sizeof cwd) != NULL ? cwd : "?");
  PrintStatusLine("SigBlk");
  PrintStatusLine("SigIgn");
  uid_t ruid, euid, suid;
  gid_t rgid, egid, sgid;
  getresuid(&ruid, &euid, &suid);
  getresgid(&rgid, &egid, &sgid);
  printf("uid: %u %u %u\n", ruid, euid, suid);
  printf("gid: %u %u %u\n", rgid, egid, sgid);
  printf("groups: %d\n", getgroups(0, NULL));
  printf("session leader: %s\n", getsid(0) == getpid() ? "yes" : "no");
  struct rlimit core;
  getrlimit(RLIMIT_CORE, &core);
  printf("core: %llu\n", static_cast<unsigned long long>(core.rlim_cur));
  for (char** env = environ; *env != NULL; env++) printf("env: %s\n", *env);
  return 0;
}

// Compiled only into the test copy of UninstallerHelper: the parsing child
// writes the lines of /proc/self/status that say who it is and what it may do
// to standard error, each behind "parsing child: ", before it reads the
// request. The link check keeps this out of the installed tool.

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <string>

void QuillonReportParsingChild(void) {
  int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    (void) !write(STDERR_FILENO, "parsing child: no status\n", 25);
    return;
  }
  std::string status;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) status.append(buffer, static_cast<size_t>(got));
  close(fd);
  static const char* const kFields[] = {"Uid:", "Gid:", "Groups:", "CapEff:", "CapPrm:", "NoNewPrivs:"};
  std::string report;
  size_t start = 0;
  while (start < status.size()) {
    size_t end = status.find('\n', start);
    if (end == std::string::npos) end = status.size();
    const std::string line = status.substr(start, end - start);
    for (const char* field : kFields) {
      if (line.compare(0, strlen(field), field) == 0) report += "parsing child: " + line + "\n";
    }
    start = end + 1;
  }
  (void) !write(STDERR_FILENO, report.data(), report.size());
}

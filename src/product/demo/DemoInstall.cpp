// quillon-demo-install: puts the Quillon product on a machine, so that the
// uninstaller has real work to do.
//
//   quillon-demo-install --system [--root DIR]   the root part (run as root)
//   quillon-demo-install --user                  the user part (run as the user)
//
// Every file it writes and every folder it has to create is recorded in a
// receipt, one absolute path per line, parents before their contents (see
// Receipts.h); running it again adds to the receipt instead of losing it.
// The shared ALSA file gets a marked block appended (see AlsaBlock.h) through
// an atomic rewrite; a file that already holds the block is left alone, and
// the shared file is never listed in a receipt, since it is not ours.
//
// Exit status: 0 on success, 1 when something could not be installed, 2 for
// a bad command line.
#include "AlsaBlock.h"
#include "FileIO.h"
#include "ProductLayout.h"
#include "ProductLog.h"
#include "Receipts.h"
#include "SafePath.h"
#include "ScopedFd.h"
#include "ToolSupport.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quillon;

namespace {

struct PayloadFile {
  const char* path;  // absolute for the root part, relative to the home for the user part
  mode_t mode;
  const char* content;
};

const PayloadFile kSystemPayload[] = {
    {"/opt/quillon/bin/quillon-midid", 0755,
     "#!/bin/sh\n"
     "# quillon-midid: keeps the Quillon MIDI interfaces' ports named (demo daemon).\n"
     "while :; do\n"
     "\tsleep 3600\n"
     "done\n"},
    {"/opt/quillon/bin/quillon-midi-agent", 0755,
     "#!/bin/sh\n"
     "# quillon-midi-agent: the Quillon login item and panel (demo): nothing to do.\n"
     "exit 0\n"},
    {"/opt/quillon/drivers/qmidi-usb.conf", 0644,
     "# Quillon USB MIDI interface driver settings\n"
     "vendor=0x1209\n"
     "product=0x51a0\n"
     "ports=8\n"},
    {"/opt/quillon/drivers/qmidi-usb.fw", 0644, "QMFW\001\000demo firmware image\n"},
    {"/opt/quillon/drivers/ports.map", 0644,
     "1 Quillon Port A\n"
     "2 Quillon Port B\n"},
    {"/opt/quillon/share/README", 0644,
     "Quillon MIDI interface driver suite (demo).\n"
     "Remove it with the Quillon Uninstaller.\n"},
    {"/etc/udev/rules.d/60-quillon-midi.rules", 0644,
     "# Quillon MIDI interfaces: let the logged-in user open them.\n"
     "SUBSYSTEM==\"sound\", ATTRS{idVendor}==\"1209\", ATTRS{idProduct}==\"51a0\", TAG+=\"uaccess\"\n"},
    {"/etc/systemd/system/quillon-midi.service", 0644,
     "[Unit]\n"
     "Description=Quillon MIDI interface daemon\n"
     "After=sound.target\n"
     "\n"
     "[Service]\n"
     "ExecStart=/opt/quillon/bin/quillon-midid\n"
     "Restart=on-failure\n"
     "\n"
     "[Install]\n"
     "WantedBy=multi-user.target\n"},
    {"/usr/share/applications/quillon-midi-panel.desktop", 0644,
     "[Desktop Entry]\n"
     "Type=Application\n"
     "Name=Quillon MIDI Panel\n"
     "Exec=/opt/quillon/bin/quillon-midi-agent --panel\n"
     "Icon=audio-card\n"
     "Categories=AudioVideo;Audio;Midi;\n"},
};

const PayloadFile kUserPayload[] = {
    {".config/quillon/settings.conf", 0644,
     "# Quillon per-user settings\n"
     "default-port=1\n"
     "clock-source=internal\n"},
    {".config/quillon/devices.conf", 0644, "# Devices this user has named\n"},
    {".config/autostart/quillon-midi-agent.desktop", 0644,
     "[Desktop Entry]\n"
     "Type=Application\n"
     "Name=Quillon MIDI Agent\n"
     "Exec=/opt/quillon/bin/quillon-midi-agent --login\n"
     "X-GNOME-Autostart-enabled=true\n"
     "X-Quillon-LoginItem=true\n"},
};

const char kSystemAlsaBody[] =
    "# Added by the Quillon installer; the Quillon Uninstaller removes this block.\n"
    "rawmidi.quillon {\n"
    "\ttype hw\n"
    "\tcard QuillonMIDI\n"
    "\tdevice 0\n"
    "}\n";

const char kUserAlsaBody[] =
    "# Added by the Quillon installer; the Quillon Uninstaller removes this block.\n"
    "rawmidi.quillon_thru {\n"
    "\ttype hw\n"
    "\tcard QuillonMIDI\n"
    "\tdevice 1\n"
    "}\n";

struct Installer {
  ScopedFd anchor;
  size_t anchorDepth = 0;     // components of the logical path the anchor stands for
  std::vector<std::string> receipt;
  bool failed = false;

  void Record(const std::string& path) {
    if (std::find(receipt.begin(), receipt.end(), path) == receipt.end()) receipt.push_back(path);
  }

  // Opens (creating, and recording when asked) the folder that will hold parts.back().
  bool OpenParent(const PathParts& parts, bool record, ScopedFd* dir) {
    std::vector<size_t> created;
    int raw = -1;
    size_t failedIndex = 0;
    int err = MakeDirectoryBeneath(anchor.get(), parts, anchorDepth, parts.size() - 1, 0755, &created, &raw,
                                   &failedIndex);
    for (size_t index : created) {
      std::string folder = JoinPath(parts, index + 1);
      if (record) Record(folder);
      Log("created folder %s", Shown(folder).c_str());
    }
    if (err != 0) {
      Log("cannot create %s: %s", Shown(JoinPath(parts, failedIndex + 1)).c_str(),
          err == ELOOP ? "it is a symbolic link" : strerror(err));
      failed = true;
      return false;
    }
    dir->reset(raw);
    return true;
  }

  void InstallFile(const std::string& path, mode_t mode, const char* content) {
    PathParts parts;
    const char* why = nullptr;
    ScopedFd dir;
    if (!SplitAbsolutePath(path, &parts, &why)) {
      Log("cannot install %s: %s", Shown(path).c_str(), why);
      failed = true;
      return;
    }
    if (!OpenParent(parts, true, &dir)) return;
    int err = ReplaceFileAt(dir.get(), parts.back().c_str(), content, mode, geteuid(), getegid(), nullptr);
    if (err != 0) {
      Log("cannot install %s: %s", Shown(path).c_str(), strerror(err));
      failed = true;
      return;
    }
    Record(path);
    Log("installed %s", Shown(path).c_str());
  }

  void AddAlsaBlock(const std::string& path, const char* body) {
    PathParts parts;
    const char* why = nullptr;
    ScopedFd dir;
    if (!SplitAbsolutePath(path, &parts, &why)) {
      Log("cannot change %s: %s", Shown(path).c_str(), why);
      failed = true;
      return;
    }
    if (!OpenParent(parts, true, &dir)) return;
    std::string content;
    struct stat st;
    int err = ReadFileAt(dir.get(), parts.back().c_str(), kMaxAlsaConfBytes, &content, &st);
    bool existed = err == 0;
    if (err != 0 && err != ENOENT) {
      Log("cannot change %s: %s", Shown(path).c_str(), err == ELOOP ? "it is a symbolic link" : strerror(err));
      failed = true;
      return;
    }
    if (existed && HasAlsaBlock(content)) {
      Log("%s already holds the Quillon block", Shown(path).c_str());
      return;
    }
    std::string updated = AppendAlsaBlock(content, existed, body);
    err = existed ? ReplaceFileAt(dir.get(), parts.back().c_str(), updated, st.st_mode, st.st_uid, st.st_gid, &st)
                  : ReplaceFileAt(dir.get(), parts.back().c_str(), updated, 0644, geteuid(), getegid(), nullptr);
    if (err != 0) {
      Log("cannot change %s: %s", Shown(path).c_str(), err == EAGAIN ? "it changed meanwhile" : strerror(err));
      failed = true;
      return;
    }
    Log("added the Quillon block to %s", Shown(path).c_str());
  }

  // Merges what was recorded into the receipt at `path` (the folders on the
  // way to it belong to the receipts, not to the product, and are not listed).
  void WriteReceipt(const std::string& path) {
    PathParts parts;
    const char* why = nullptr;
    ScopedFd dir;
    if (!SplitAbsolutePath(path, &parts, &why)) {
      Log("cannot write receipt %s: %s", Shown(path).c_str(), why);
      failed = true;
      return;
    }
    if (!OpenParent(parts, false, &dir)) return;
    std::vector<std::string> entries;
    int err = ReadReceiptAt(dir.get(), parts.back().c_str(), &entries, &why);
    if (err != 0 && err != ENOENT) {
      Log("cannot update receipt %s: %s", Shown(path).c_str(), why);
      failed = true;
      return;
    }
    for (const std::string& entry : receipt) {
      if (std::find(entries.begin(), entries.end(), entry) == entries.end()) entries.push_back(entry);
    }
    err = ReplaceFileAt(dir.get(), parts.back().c_str(), FormatReceipt(entries), 0644, geteuid(), getegid(),
                        nullptr);
    if (err != 0) {
      Log("cannot write receipt %s: %s", Shown(path).c_str(), strerror(err));
      failed = true;
      return;
    }
    Log("wrote receipt %s (%zu paths)", Shown(path).c_str(), entries.size());
  }
};

int Run(const ToolMode& mode) {
  Installer installer;
  std::string anchorPath = mode.root;
  std::string home;
  if (!mode.system) {
    PathParts homeParts;
    const char* why = nullptr;
    if (FindUserHome(&home) != 0 || !SplitAbsolutePath(home, &homeParts, &why)) {
      Log("cannot find the home folder");
      return 2;
    }
    anchorPath = home;
    installer.anchorDepth = homeParts.size();
  }
  int raw = -1;
  int err = OpenAnchor(anchorPath.c_str(), &raw);
  if (err != 0) {
    Log("cannot open %s: %s", Shown(anchorPath).c_str(), strerror(err));
    return 2;
  }
  installer.anchor.reset(raw);

  if (mode.system) {
    for (const PayloadFile& file : kSystemPayload) installer.InstallFile(file.path, file.mode, file.content);
    installer.AddAlsaBlock(kSystemAlsaConf, kSystemAlsaBody);
    installer.WriteReceipt(std::string(kSystemReceiptsDir) + "/" + kSystemReceiptName);
  } else {
    for (const PayloadFile& file : kUserPayload) {
      installer.InstallFile(home + "/" + file.path, file.mode, file.content);
    }
    installer.AddAlsaBlock(home + "/" + kUserAlsaConf, kUserAlsaBody);
    installer.WriteReceipt(home + "/" + kUserReceiptsDir + "/" + kUserReceiptName);
  }
  return installer.failed ? 1 : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  IgnoreWriteFailureSignals();
  SetLogTool("quillon-demo-install");
  ToolMode mode;
  if (!ParseToolMode(argc, argv, &mode)) return 2;
  umask(022);
  return Run(mode);
}

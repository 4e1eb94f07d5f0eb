// The preview's reading of the tools' --list output: only whole item lines
// count, and a path is listed once.
#include "UninstallerPreview.h"

#include <gtest/gtest.h>

TEST(UninstallerPreviewTest, OnlyWholeItemLinesCountAndALoginItemIsListedOnce) {
  UninstallerPreviewPart part;
  UninstallerPreviewParse("file /home/u/.config/autostart/quillon-midi-agent.desktop\n"
                          "folder /home/u/.config/quillon\n"
                          "RemoveReceipted: cannot open the receipts folder: a tool's ordinary log line\n"
                          "file relative/path\n"
                          "note would refuse /etc/passwd: it is not inside the home folder\n"
                          "spaceship /home/u/x\n",
                          &part);
  UninstallerPreviewParse("login-item /home/u/.config/autostart/quillon-midi-agent.desktop\n"
                          "alsa-block /home/u/.asoundrc\n"
                          "file /home/u/cut-off-without-its-line-end",
                          &part);
  ASSERT_EQ(part.items.size(), 3u);
  EXPECT_EQ(part.items[0].kind, UninstallerPreviewKind::kLoginItem);
  EXPECT_EQ(part.items[0].path, "/home/u/.config/autostart/quillon-midi-agent.desktop");
  EXPECT_EQ(part.items[1].kind, UninstallerPreviewKind::kFolder);
  EXPECT_EQ(part.items[2].kind, UninstallerPreviewKind::kAlsaBlock);
  EXPECT_EQ(part.Count(UninstallerPreviewKind::kFile), 0u);
  ASSERT_EQ(part.notes.size(), 1u);
  EXPECT_EQ(part.notes[0], "would refuse /etc/passwd: it is not inside the home folder");
}

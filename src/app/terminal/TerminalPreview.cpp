#include "TerminalPreview.h"

#include <QString>

namespace {

const char* KindName(UninstallerPreviewKind kind) {
  switch (kind) {
    case UninstallerPreviewKind::kFile:
      return "file";
    case UninstallerPreviewKind::kFolder:
      return "folder";
    case UninstallerPreviewKind::kLink:
      return "link";
    case UninstallerPreviewKind::kAlsaBlock:
      return "alsa-block";
    case UninstallerPreviewKind::kLoginItem:
      return "login-item";
  }
  return "file";
}

// Files, links and login items are files to a reader; folders are folders.
size_t FileCount(const UninstallerPreviewPart& part) {
  return part.items.size() - part.Count(UninstallerPreviewKind::kFolder) -
         part.Count(UninstallerPreviewKind::kAlsaBlock);
}

std::string Filled(const std::string& pattern, std::initializer_list<QString> values) {
  QString result = QString::fromStdString(pattern);
  for (const QString& value : values) result = result.arg(value);
  return result.toStdString();
}

}  // namespace

bool TerminalPreviewRemovesSomething(const std::vector<TerminalPreviewPart>& parts) {
  for (const TerminalPreviewPart& part : parts) {
    if (!part.preview.items.empty()) return true;
  }
  return false;
}

std::string TerminalPreviewText(const std::vector<TerminalPreviewPart>& parts,
                                const std::vector<TerminalLeftOut>& leftOut, size_t maxPaths,
                                const TerminalTextLookup& text) {
  std::string out;
  std::vector<std::string> notes;
  if (TerminalPreviewRemovesSomething(parts)) {
    out += text("previewHeading") + "\n";
  } else {
    out += text("previewNothing") + "\n";
  }
  for (const TerminalPreviewPart& part : parts) {
    const UninstallerPreviewPart& preview = part.preview;
    notes.insert(notes.end(), preview.notes.begin(), preview.notes.end());
    if (preview.items.empty()) continue;
    const QString files = QString::number(FileCount(preview));
    const QString folders = QString::number(preview.Count(UninstallerPreviewKind::kFolder));
    if (part.system) {
      out += Filled(text("previewSystemPart"), {files, folders});
    } else if (part.user.empty()) {
      out += Filled(text("previewUserPart"), {files, folders});
    } else {
      out += Filled(text("previewUserPartOf"), {QString::fromStdString(part.user), files, folders});
    }
    out += "\n";
    size_t shown = 0;
    for (const UninstallerPreviewItem& item : preview.items) {
      if (maxPaths > 0 && shown == maxPaths) {
        out += "  " + Filled(text("previewMore"), {QString::number(preview.items.size() - shown)}) + "\n";
        break;
      }
      shown++;
      const QString path = QString::fromStdString(item.path);
      switch (item.kind) {
        case UninstallerPreviewKind::kLoginItem:
          out += "  " + Filled(text("previewLoginItem"), {path}) + "\n";
          break;
        case UninstallerPreviewKind::kAlsaBlock:
          out += "  " + Filled(text("previewAlsaBlock"), {path}) + "\n";
          break;
        case UninstallerPreviewKind::kFolder:
          out += "  " + item.path + "/\n";
          break;
        default:
          out += "  " + item.path + "\n";
          break;
      }
    }
  }
  if (TerminalPreviewRemovesSomething(parts)) out += text("previewFoldersNote") + "\n";
  for (const std::string& note : notes) out += Filled(text("previewNote"), {QString::fromStdString(note)}) + "\n";
  for (const TerminalLeftOut& account : leftOut) {
    out += Filled(text("previewUserLeftOut"),
                  {QString::fromStdString(account.name), QString::fromStdString(account.reason)}) +
           "\n";
  }
  return out;
}

void TerminalPreviewJSON(const std::vector<TerminalPreviewPart>& parts, const std::vector<TerminalLeftOut>& leftOut,
                         TerminalJSON* json) {
  json->Key("parts");
  json->BeginArray();
  for (const TerminalPreviewPart& part : parts) {
    json->BeginObject();
    json->Key("part");
    json->String(part.system ? "system" : "user");
    json->Key("user");
    if (part.user.empty()) {
      json->Null();
    } else {
      json->String(part.user);
    }
    json->Key("uid");
    if (part.system) {
      json->Null();
    } else {
      json->Number(part.uid);
    }
    json->Key("files");
    json->Number(static_cast<long long>(FileCount(part.preview)));
    json->Key("folders");
    json->Number(static_cast<long long>(part.preview.Count(UninstallerPreviewKind::kFolder)));
    json->Key("items");
    json->BeginArray();
    for (const UninstallerPreviewItem& item : part.preview.items) {
      json->BeginObject();
      json->Key("kind");
      json->String(KindName(item.kind));
      json->Key("path");
      json->String(item.path);
      json->EndObject();
    }
    json->EndArray();
    json->Key("notes");
    json->BeginArray();
    for (const std::string& note : part.preview.notes) json->String(note);
    json->EndArray();
    json->EndObject();
  }
  json->EndArray();
  json->Key("usersLeftOut");
  json->BeginArray();
  for (const TerminalLeftOut& account : leftOut) {
    json->BeginObject();
    json->Key("name");
    json->String(account.name);
    json->Key("uid");
    json->Number(account.uid);
    json->Key("reason");
    json->String(account.reason);
    json->EndObject();
  }
  json->EndArray();
}

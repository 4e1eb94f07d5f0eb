#include <AppKit/RTFParser.h>

#include <QString>

#include <cstring>
#include <vector>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; undefined bytes
// become U+FFFD.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// Control words longer than this are not RTF; the rest of such a word is
// read as text. Parameters are clamped to what \uN and friends need.
constexpr int kMaxControlWord = 32;
constexpr int kMaxParameterDigits = 10;

// Destinations whose text is not part of the document.
constexpr const char* kSkippedDestinations[] = {
    "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf",
    "footer", "footerl", "footerr", "footerf", "footnote", "fldinst", "listtable", "listoverridetable",
    "rsidtbl", "generator", "xmlnstbl", "themedata", "colorschememapping", "latentstyles", "datastore",
    "filetbl", "revtbl", "pgdsctbl", "nonshppict", "template", "expandedcolortbl", "bkmkstart", "bkmkend",
};

struct GroupState {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool skip = false;  // inside a destination that is not shown
  int unicodeSkip = 1;  // \ucN: characters that follow \uN as its fallback
};

class Reader {
 public:
  Reader(const QByteArray& rtf, RTFSink& sink) : fIn(rtf), fSink(sink) {}

  void Run() {
    const qsizetype n = fIn.size();
    qsizetype i = 0;
    fStack.push_back(GroupState());  // the state outside every group
    while (i < n && !fDone) {
      const char c = fIn[i];
      if (c == '{') {
        i++;
        OpenGroup();
      } else if (c == '}') {
        i++;
        CloseGroup();
      } else if (c == '\\') {
        i = ReadControl(i + 1);
      } else if (c == '\r' || c == '\n') {
        i++;  // line ends in RTF source are not text
      } else {
        i++;
        fGroupStart = false;
        EmitByte(static_cast<unsigned char>(c));
      }
    }
    Flush();
  }

 private:
  GroupState& State() { return fStack.back(); }

  void OpenGroup() {
    fPendingSkip = 0;
    if (fOverflowDepth > 0 || static_cast<int>(fStack.size()) > kRTFMaxGroupDepth) {
      fOverflowDepth++;
      return;
    }
    fStack.push_back(fStack.back());
    fGroupStart = true;
  }

  void CloseGroup() {
    fPendingSkip = 0;
    fGroupStart = false;
    if (fOverflowDepth > 0) {
      fOverflowDepth--;
      return;
    }
    if (fStack.size() <= 1) {
      fDone = true;  // a stray closing brace ends the document
      return;
    }
    fStack.pop_back();
    if (fStack.size() == 1) {
      fDone = true;  // the document's own group has closed
    }
  }

  bool Skipping() const { return fOverflowDepth > 0 || fStack.back().skip; }

  // Reads the control word or symbol after a backslash at |i|; returns the
  // index after it.
  qsizetype ReadControl(qsizetype i) {
    const qsizetype n = fIn.size();
    const bool groupStart = fGroupStart;
    fGroupStart = false;
    if (i >= n) {
      return i;
    }
    const char c = fIn[i];
    if (IsLetter(c)) {
      qsizetype start = i;
      while (i < n && IsLetter(fIn[i]) && i - start < kMaxControlWord) {
        i++;
      }
      const QByteArray word = fIn.mid(start, i - start);
      bool hasParameter = false;
      bool negative = false;
      long parameter = 0;
      if (i < n && fIn[i] == '-' && i + 1 < n && IsDigit(fIn[i + 1])) {
        negative = true;
        i++;
      }
      int digits = 0;
      while (i < n && IsDigit(fIn[i])) {
        if (digits < kMaxParameterDigits) {
          parameter = parameter * 10 + (fIn[i] - '0');
        }
        digits++;
        hasParameter = true;
        i++;
      }
      if (negative) {
        parameter = -parameter;
      }
      if (i < n && fIn[i] == ' ') {
        i++;  // the delimiting space belongs to the control word
      }
      ControlWord(word, hasParameter, parameter, groupStart);
      return i;
    }
    i++;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        EmitChar(QChar(QLatin1Char(c)));
        break;
      case '\'': {
        // Two hex digits; a cut-short escape shows nothing.
        int byte = 0;
        int digits = 0;
        while (digits < 2 && i < n && IsHex(fIn[i])) {
          byte = byte * 16 + HexValue(fIn[i]);
          digits++;
          i++;
        }
        if (digits == 2) {
          EmitByte(static_cast<unsigned char>(byte));
        }
        break;
      }
      case '~':
        EmitChar(QChar(0x00A0));
        break;
      case '_':
        EmitChar(QChar(0x2011));
        break;
      case '-':
        CountSkipped();  // an optional hyphen shows nothing
        break;
      case '*':
        // An ignorable destination: the reader knows none of these.
        if (groupStart && fOverflowDepth == 0) {
          State().skip = true;
        }
        break;
      case '\r':
      case '\n':
        Paragraph();
        break;
      default:
        break;  // unknown control symbols have no text
    }
    return i;
  }

  void ControlWord(const QByteArray& word, bool hasParameter, long parameter, bool groupStart) {
    if (fOverflowDepth > 0) {
      return;
    }
    const bool on = !hasParameter || parameter != 0;
    if (groupStart) {
      for (const char* destination : kSkippedDestinations) {
        if (word == destination) {
          State().skip = true;
          return;
        }
      }
    }
    if (word == "u" && hasParameter) {
      // A signed 16-bit value; negative ones stand for 32768..65535.
      long unit = parameter < 0 ? parameter + 65536 : parameter;
      if (unit < 0 || unit > 0xFFFF) {
        unit = 0xFFFD;
      }
      EmitChar(QChar(static_cast<char16_t>(unit)));
      fPendingSkip = State().unicodeSkip;
      return;
    }
    if (fPendingSkip > 0) {
      // A control word inside \uN's fallback counts as one of its characters.
      fPendingSkip--;
      return;
    }
    if (word == "b") {
      SetFormat(&GroupState::bold, on);
    } else if (word == "i") {
      SetFormat(&GroupState::italic, on);
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" || word == "uldash" ||
               word == "ulth" || word == "ulwave") {
      SetFormat(&GroupState::underline, on);
    } else if (word == "ulnone") {
      SetFormat(&GroupState::underline, false);
    } else if (word == "plain") {
      SetFormat(&GroupState::bold, false);
      SetFormat(&GroupState::italic, false);
      SetFormat(&GroupState::underline, false);
    } else if (word == "uc" && hasParameter) {
      State().unicodeSkip = parameter < 0 ? 0 : (parameter > 8 ? 8 : static_cast<int>(parameter));
    } else if (word == "par" || word == "sect" || word == "page") {
      Paragraph();
    } else if (word == "line") {
      EmitChar(QChar(QChar::LineSeparator));
    } else if (word == "tab") {
      EmitChar(QChar(QLatin1Char('\t')));
    } else if (word == "emdash") {
      EmitChar(QChar(0x2014));
    } else if (word == "endash") {
      EmitChar(QChar(0x2013));
    } else if (word == "bullet") {
      EmitChar(QChar(0x2022));
    } else if (word == "lquote") {
      EmitChar(QChar(0x2018));
    } else if (word == "rquote") {
      EmitChar(QChar(0x2019));
    } else if (word == "ldblquote") {
      EmitChar(QChar(0x201C));
    } else if (word == "rdblquote") {
      EmitChar(QChar(0x201D));
    } else if (word == "ansicpg" && hasParameter) {
      fCp1252 = parameter == 1252;
    }
  }

  void SetFormat(bool GroupState::*flag, bool on) {
    if (Skipping()) {
      return;
    }
    if (State().*flag != on) {
      Flush();
      State().*flag = on;
    }
  }

  void CountSkipped() {
    if (fPendingSkip > 0) {
      fPendingSkip--;
    }
  }

  void EmitByte(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0 && fCp1252) {
      EmitChar(QChar(kCp1252High[byte - 0x80]));
    } else {
      EmitChar(QChar(static_cast<char16_t>(byte)));
    }
  }

  void EmitChar(QChar ch) {
    if (fPendingSkip > 0) {
      fPendingSkip--;
      return;
    }
    if (Skipping()) {
      return;
    }
    const GroupState& s = State();
    if (!fPending.isEmpty() && (s.bold != fPendingState.bold || s.italic != fPendingState.italic ||
                                s.underline != fPendingState.underline)) {
      Flush();
    }
    if (fPending.isEmpty()) {
      fPendingState = s;
    }
    fPending.append(ch);
  }

  void Paragraph() {
    if (fPendingSkip > 0) {
      fPendingSkip--;
      return;
    }
    if (Skipping()) {
      return;
    }
    Flush();
    fSink.paragraph();
  }

  void Flush() {
    if (fPending.isEmpty()) {
      return;
    }
    fSink.text(fPending, RTFTextStyle{fPendingState.bold, fPendingState.italic, fPendingState.underline});
    fPending.clear();
  }

  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
  static int HexValue(char c) {
    if (IsDigit(c)) {
      return c - '0';
    }
    return (c >= 'a' ? c - 'a' : c - 'A') + 10;
  }

  const QByteArray& fIn;
  RTFSink& fSink;
  std::vector<GroupState> fStack;
  int fOverflowDepth = 0;
  int fPendingSkip = 0;
  bool fGroupStart = false;
  bool fDone = false;
  bool fCp1252 = true;
  QString fPending;
  GroupState fPendingState;
};

}  // namespace

RTFSink::~RTFSink() = default;

bool RTFParse(const QByteArray& rtf, RTFSink& sink) {
  if (!rtf.startsWith("{\\rtf")) {
    return false;
  }
  Reader reader(rtf, sink);
  reader.Run();
  return true;
}

namespace {

// Paragraphs and line breaks become line ends; the formats go.
class PlainTextSink : public RTFSink {
 public:
  explicit PlainTextSink(QString* text) : fText(text) {}
  void text(const QString& run, RTFTextStyle) override {
    for (QChar c : run) fText->append(c == QChar(QChar::LineSeparator) ? QChar(QLatin1Char('\n')) : c);
  }
  void paragraph() override { fText->append(QLatin1Char('\n')); }

 private:
  QString* fText;
};

}  // namespace

bool RTFReadPlainText(const QByteArray& rtf, QString* text) {
  QString plain;
  PlainTextSink sink(&plain);
  if (text == nullptr || !RTFParse(rtf, sink)) {
    return false;
  }
  // Most writers end the last paragraph with \par: one line end, not two.
  while (plain.endsWith(QLatin1String("\n\n"))) plain.chop(1);
  *text = plain;
  return true;
}

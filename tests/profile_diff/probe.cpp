// The differential test of the profile reader: one corpus of tricky parameter
// files, read through GetPrivateProfileStringA and GetPrivateProfileIntA.
// Built twice: for Windows (kernel32's own functions, run under Wine) and for
// Linux (the Windows API stand-in). The Windows run writes its answers; the
// Linux run compares its own with them, case by case.
//   probe FOLDER                 writes the corpus into FOLDER, prints answers
//   probe FOLDER --compare FILE  the same, compared with the answers in FILE
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "outside/winapi.h"

namespace {

template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);  // keeps embedded NULs
}

struct File {
  const char *name;
  std::string contents;
};

// One read: a string read when isInt is false, else an integer read.
struct Read {
  const char *file;
  const char *section;
  const char *key;
  bool isInt;
  const char *def;  // the string default (string reads)
  int32_t intDef;   // the integer default (integer reads)
  uint32_t size;    // the buffer size (string reads)
  // Why the stand-in keeps answering otherwise than Windows here; empty when
  // the two must agree.
  const char *kept;
};

const std::string kLong(300, 'x');
const char kTakenForUtf16[] = "Windows takes the file for UTF-16 (a NUL among its first bytes)";

std::vector<File> Corpus() {
  return {
      {"lf", "[S]\nKey=v\nOther=w\n"},
      {"crlf", "[S]\r\nKey=v\r\nOther=w\r\n"},
      {"cr", "[S]\rKey=v\rOther=w\r"},
      {"mixed", "[S]\r\nKey=v\nOther=w\r\n\r\nLast=z"},
      {"bom", "\xEF\xBB\xBF[S]\nKey=v\n"},
      {"bomkey", "\xEF\xBB\xBFKey=top\n[S]\nKey=v\n"},
      {"blanks", "  [ S ]  \n\t Key \t=\t v w \t\n  Empty =   \n"},
      {"case", "[SeCtIoN]\nkEy=v\n"},
      {"quotes", "[S]\nD=\"a b\"\nS='a b'\nU=\"a b'\nL=\"\nQ=\"\"\nIn=a \"b\" c\nSp= \" a \" \n"},
      {"comments", "; top\n[S]\n;Key=commented\nKey=v ; note\n# hash\n#Hash=h\nH=v # note\n  ;Ind=i\n"},
      {"commentkey", "[S]\n;Key=c\nKey=v\n"},
      {"dupkeys", "[S]\nKey=1\nKey=2\nkey=3\n"},
      {"dupsections", "[S]\nA=1\n[T]\nB=2\n[S]\nA=3\nC=4\n"},
      {"noequals", "[S]\nKey\nOther=w\nKey=late\n"},
      {"empty", "[S]\nKey=\nNext=n\n"},
      {"eqonly", "[S]\n=v\nKey=w\n"},
      {"eqs", "[S]\nKey=a=b\nK2==c\n"},
      {"longvalue", "[S]\nKey=" + kLong + "\n"},
      {"numbers",
       "[N]\nPlus=+12\nMinus=-12\nSpace= 42 \nLead=007\nHex=0x1F\nHexUp=0XaB\nHexNeg=-0x10\nHexBare=0x\nHexBad=0xG\nOct=0o17\nBin=0b101\nOctLead=017\nTrail=12abc\n"
       "Word=abc\nMax=2147483647\nOver=2147483648\nBig=4294967296\nHuge=99999999999\n"
       "Neg=-2147483649\nSign=+\nDot=3.7\nNegZero=-0\nBlankSign=- 5\nEmpty=\nQuoted=\"5\"\n"
       "Tab=\t9\n"},
      {"section", "[S]x\nA=1\n[ S ]\nB=2\n[S\nC=3\n[]\nD=4\n"},
      {"unclosed", "[S\nKey=v\n"},
      {"nul", Bytes("[S]\nKey=a\0b\nNext=n\n")},
      {"nullate", Bytes("[S]\nKey=v\nOther=w\nLast=a\0b\n")},
      {"junk", Bytes("\x01\xff[S\n]\0=\n[S]\nKey=v")},
      {"high", "[S]\nKey=caf\xe9 \xb5s\n"},
      {"spacedkey", "[5]\nMod +/-0.10MHZ Enable = 0\n"},
      {"nosection", "Key=v\n[S]\nOther=w\n"},
      {"emptyfile", ""},
      {"trailingblank", "[S]\nKey=v   \nTab=v\t\n"},
      {"quotedtab", "[S]\nIn=\"\tv\"\nOut=\t\"v\"\nBoth=\"\t\"\nEmpty=\"\"\n"},
      {"openline", "[S]\nA=1\n[T\nB=2\n[S]\nC=3\n"},
      {"lookalikes", "[S0]\nKey=a\n[ 0S ]\nKey=b\nx[S]\nKey=c\nV=[S]\n; [S]\n[ [S]\nKey=d\n\t[ s ]\f Key=e\nKey=v\n"},
  };
}

std::vector<Read> Reads() {
  auto S = [](const char *file, const char *section, const char *key, const char *def = "DEF", uint32_t size = 64,
              const char *kept = "") { return Read{file, section, key, false, def, 0, size, kept}; };
  auto I = [](const char *file, const char *section, const char *key, int32_t def = -7, const char *kept = "") {
    return Read{file, section, key, true, "", def, 0, kept};
  };
  std::vector<Read> reads = {
      S("lf", "S", "Key"),
      S("lf", "S", "Other"),
      S("lf", "S", "Missing"),
      S("lf", "T", "Key"),
      S("crlf", "S", "Key"),
      S("crlf", "S", "Other"),
      S("cr", "S", "Key"),
      S("cr", "S", "Other"),
      S("mixed", "S", "Other"),
      S("mixed", "S", "Last"),
      S("bom", "S", "Key"),
      S("bomkey", "S", "Key"),
      S("blanks", "S", "Key"),
      S("blanks", " S ", " Key "),
      S("blanks", "S", "Empty"),
      S("case", "section", "KEY"),
      S("case", "SECTION", "key"),
      S("quotes", "S", "D"),
      S("quotes", "S", "S"),
      S("quotes", "S", "U"),
      S("quotes", "S", "L"),
      S("quotes", "S", "Q"),
      S("quotes", "S", "In"),
      S("quotes", "S", "Sp"),
      S("comments", "S", "Key"),
      S("comments", "S", ";Key"),
      S("comments", "S", "#Hash"),
      S("comments", "S", "H"),
      S("comments", "S", "# hash"),
      S("comments", "S", ";Ind"),
      S("commentkey", "S", "Key"),
      S("dupkeys", "S", "Key"),
      S("dupkeys", "S", "key"),
      S("dupsections", "S", "A"),
      S("dupsections", "S", "C"),
      S("dupsections", "T", "B"),
      S("noequals", "S", "Key"),
      S("noequals", "S", "Other"),
      S("empty", "S", "Key"),
      S("empty", "S", "Next"),
      S("eqonly", "S", ""),
      S("eqonly", "S", "Key"),
      S("eqs", "S", "Key"),
      S("eqs", "S", "K2"),
      S("longvalue", "S", "Key", "DEF", 400),
      S("longvalue", "S", "Key", "DEF", 10),
      S("longvalue", "S", "Key", "DEF", 1),
      S("lf", "S", "Key", "DEF", 2),
      S("lf", "S", "Missing", "a long default", 5),
      S("lf", "S", "Missing", "def  \t"),
      S("lf", "S", "Missing", "  lead"),
      S("lf", "S", "Missing", ""),
      S("section", "S", "A"),
      S("section", "S", "B"),
      S("section", "S", "C"),
      S("section", "", "D"),
      S("section", "S]x", "A"),
      S("unclosed", "S", "Key"),
      S("unclosed", "S", "Key"),
      // Windows guesses the encoding of a file from its bytes, and takes this one,
      // with a NUL in its second line, for UTF-16; parameter files are ANSI
      // text, and the stand-in reads every file as bytes (a NUL ends a value).
      S("nul", "S", "Key", "DEF", 64, kTakenForUtf16),
      S("nul", "S", "Next", "DEF", 64, kTakenForUtf16),
      S("nullate", "S", "Key"),
      S("nullate", "S", "Last"),
      S("junk", "S", "Key"),
      S("high", "S", "Key"),
      S("lf", "S", "Missing", "def  "),
      S("spacedkey", "5", "Mod +/-0.10MHZ Enable"),
      S("nosection", "", "Key"),
      S("nosection", "S", "Other"),
      S("emptyfile", "S", "Key"),
      S("nonexistent", "S", "Key"),
      S("trailingblank", "S", "Key"),
      S("trailingblank", "S", "Tab"),
      S("quotedtab", "S", "In"),
      S("quotedtab", "S", "Out"),
      S("quotedtab", "S", "Both"),
      S("quotedtab", "S", "Empty"),
      I("quotedtab", "S", "Empty"),
      S("openline", "S", "B"),
      S("openline", "S", "C"),
      S("openline", "T", "B"),
      S("lookalikes", "S", "Key"),
      S("lookalikes", "[S", "Key"),
      S("lookalikes", "s0", "Key"),
      S("lookalikes", "0s", "Key"),
      I("lf", "S", "Missing"),
      I("lf", "S", "Key"),
      I("empty", "S", "Key"),
      I("blanks", "S", "Empty"),
      I("nonexistent", "S", "Key", 12),
  };
  for (const char *key :
       {"Plus", "Minus", "Space",   "Lead",    "Hex",       "HexUp", "HexNeg", "HexBare", "HexBad",
        "Oct",  "Bin",   "OctLead", "Trail",   "Word",      "Max",   "Over",   "Big",     "Huge",
        "Neg",  "Sign",  "Dot",     "NegZero", "BlankSign", "Empty", "Quoted", "Tab",     "Missing"}) {
    reads.push_back(I("numbers", "N", key));
  }
  return reads;
}

std::string Escaped(const std::string &text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

std::string Answer(const std::string &folder, const Read &read) {
  const std::string path = folder + read.file + ".ini";
  std::ostringstream line;
  line << read.file << " [" << read.section << "] " << read.key << ": ";
  if (read.isInt) {
    line << "int " << GetPrivateProfileIntA(read.section, read.key, read.intDef, path.c_str());
  } else {
    std::string out(read.size + 8, '#');  // marks show what the call wrote
    const uint32_t n = GetPrivateProfileStringA(read.section, read.key, read.def, &out[0], read.size, path.c_str());
    out.resize(read.size);
    line << "string " << n << " \"" << Escaped(out.substr(0, out.find('\0'))) << "\"";
  }
  return line.str();
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--compare") == 0)) {
    std::fprintf(stderr, "usage: probe FOLDER [--compare ANSWERS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  for (const File &file : Corpus()) {
    std::ofstream(folder + file.name + ".ini", std::ios::binary | std::ios::trunc) << file.contents;
  }
  std::vector<std::string> windows;
  if (argc == 4) {
    std::ifstream in(argv[3], std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      windows.push_back(line);
    }
  }
  const std::vector<Read> reads = Reads();
  if (argc == 2) {
    for (const Read &read : reads) std::cout << Answer(folder, read) << "\n";
    return 0;
  }
  if (windows.size() != reads.size()) {
    std::fprintf(stderr, "%zu answers from Windows for %zu reads\n", windows.size(), reads.size());
    return 1;
  }
  int differences = 0;
  int kept = 0;
  for (std::size_t i = 0; i < reads.size(); ++i) {
    const std::string ours = Answer(folder, reads[i]);
    const bool differs = ours != windows[i];
    if (differs && reads[i].kept[0] != '\0') {
      ++kept;
      std::printf("kept: %s\n  windows:  %s\n  stand-in: %s\n", reads[i].kept, windows[i].c_str(), ours.c_str());
    } else if (differs) {
      ++differences;
      std::printf("DIFFERS\n  windows:  %s\n  stand-in: %s\n", windows[i].c_str(), ours.c_str());
    } else if (reads[i].kept[0] != '\0') {
      ++differences;  // the comment no longer says what happens
      std::printf("AGREES, but is listed as a kept difference: %s\n", ours.c_str());
    }
  }
  std::printf("%zu reads: %zu agree, %d kept differences, %d unexplained\n", reads.size(),
              reads.size() - kept - differences, kept, differences);
  return differences == 0 ? 0 : 1;
}

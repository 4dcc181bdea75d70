#include "winapi/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
// The cross-built tests read files here too: in binary, so CR LF reach the
// reader as they stand (there is no exec to close on).
#define O_CLOEXEC O_BINARY
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace winapi {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Whether only blanks stand between the start of its line and position p.
bool AtLineStart(std::string_view text, std::size_t p) {
  while (p > 0 && IsBlank(text[p - 1])) --p;
  return p == 0 || text[p - 1] == '\n' || text[p - 1] == '\r';
}

// The ends of the lines of a text, asked for in increasing positions. The
// next LF is remembered, so that a text of CR-only lines is not searched to
// its end for an LF at every line: the cost stays linear in the text's size.
class LineEnds {
 public:
  explicit LineEnds(std::string_view text) : text_(text) {}

  // The end of the line that holds position from: its LF or CR, or the end of the text.
  std::size_t at(std::size_t from) {
    if (from >= text_.size()) return text_.size();
    if (!lfKnown_ || lf_ < from) {
      const void *found = std::memchr(text_.data() + from, '\n', text_.size() - from);
      lf_ = found == nullptr ? text_.size() : static_cast<std::size_t>(static_cast<const char *>(found) - text_.data());
      lfKnown_ = true;
    }
    const void *cr = std::memchr(text_.data() + from, '\r', lf_ - from);
    return cr == nullptr ? lf_ : static_cast<std::size_t>(static_cast<const char *>(cr) - text_.data());
  }

 private:
  std::string_view text_;
  std::size_t lf_ = 0;
  bool lfKnown_ = false;
};

// A byte of a section name, as the text is compared with it: a letter matches
// in either case once the text's byte has its 0x20 bit set, which turns only
// the two cases of that letter into the lower one.
struct NameByte {
  explicit NameByte(char c) : fold(((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ? 0x20 : 0), value(c | fold) {}
  bool matches(char c) const { return static_cast<char>(c | fold) == value; }
  char fold;
  char value;
};

// The position of the ']' of "[name]" when the name's text starts at position
// at and the line is a section line ('[' first on it, blanks allowed around the
// line and the name); npos otherwise. name is trimmed and holds none of
// "\r\n]", so its match also proves the ']' is the line's first. Linear over
// all candidates together: the blanks before at (or before its '[') end at a
// byte no other candidate's blanks reach, and only one candidate of a line
// (the first byte after its first '[' and blanks) gets as far as the name.
std::size_t CloseOfSectionAt(std::string_view text, std::size_t at, std::string_view name) {
  std::size_t open = at;
  while (open > 0 && IsBlank(text[open - 1])) --open;
  if (open == 0 || text[open - 1] != '[' || !AtLineStart(text, open - 1)) return std::string_view::npos;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (Lower(text[at + i]) != Lower(name[i])) return std::string_view::npos;
  }
  std::size_t close = at + name.size();
  while (close < text.size() && IsBlank(text[close])) ++close;
  return close < text.size() && text[close] == ']' ? close : std::string_view::npos;
}

// The ']' of the first section line of the name, or npos. A file of many
// sections is read whole on every key read, so this is the hot path: rather
// than stopping at every line, it looks for the positions where the name's
// first and last bytes (in either case) stand, 32 positions at once with SSE2
// (every x86-64), and checks in full only those that pass a second look.
std::size_t FindSectionLine(std::string_view text, std::string_view name) {
  const std::size_t n = name.size();
  if (text.size() < n + 2) return std::string_view::npos;  // "[" name "]"
  const NameByte first(name.front());
  const NameByte last(name.back());
  std::size_t at = 1;                       // a name at 0 has no room for its '['
  const std::size_t end = text.size() - n;  // nor one from here on for its ']'
#if defined(__SSE2__)
  const __m128i firstFold = _mm_set1_epi8(first.fold);
  const __m128i firstValue = _mm_set1_epi8(first.value);
  const __m128i lastFold = _mm_set1_epi8(last.fold);
  const __m128i lastValue = _mm_set1_epi8(last.value);
  const char *data = text.data();
  // Per byte of 16 positions from `from`, all ones where both bytes are in place.
  const auto inPlace = [&](std::size_t from) {
    const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from));
    const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from + n - 1));
    return _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(head, firstFold), firstValue),
                         _mm_cmpeq_epi8(_mm_or_si128(tail, lastFold), lastValue));
  };
  // Where they are, the name also needs '[' or a blank before it and ']' or a
  // blank after it; a short name's bytes are common in values and in longer
  // names. (Any byte up to the space passes for a blank here.)
  const __m128i openBracket = _mm_set1_epi8('[');
  const __m128i closeBracket = _mm_set1_epi8(']');
  const __m128i space = _mm_set1_epi8(' ');
  const auto framed = [&](std::size_t from) {
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from - 1));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from + n));
    return _mm_and_si128(
        _mm_or_si128(_mm_cmpeq_epi8(before, openBracket), _mm_cmpeq_epi8(_mm_min_epu8(before, space), before)),
        _mm_or_si128(_mm_cmpeq_epi8(after, closeBracket), _mm_cmpeq_epi8(_mm_min_epu8(after, space), after)));
  };
  for (; at + 32 <= end; at += 32) {
    const __m128i low = inPlace(at);
    const __m128i high = inPlace(at + 16);
    if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) continue;
    const uint32_t lowHalf = static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(low, framed(at))));
    const uint32_t highHalf = static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(high, framed(at + 16))));
    for (uint32_t candidates = lowHalf | highHalf << 16; candidates != 0; candidates &= candidates - 1) {
      const std::size_t close = CloseOfSectionAt(text, at + static_cast<std::size_t>(__builtin_ctz(candidates)), name);
      if (close != std::string_view::npos) return close;
    }
  }
#endif
  for (; at < end; ++at) {
    if (!first.matches(text[at]) || !last.matches(text[at + n - 1])) continue;
    const std::size_t close = CloseOfSectionAt(text, at, name);
    if (close != std::string_view::npos) return close;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<std::string> FindValue(std::string_view contents, std::string_view section, std::string_view key) {
  if (contents.size() >= 3 && contents.compare(0, 3, "\xEF\xBB\xBF") == 0) contents.remove_prefix(3);
  section = Trim(section);
  key = Trim(key);
  // A section name is what stands between '[' and the first ']' of its line.
  if (section.find_first_of("\r\n]") != std::string_view::npos) return std::nullopt;
  std::size_t start = std::string_view::npos;  // the first line inside the section
  LineEnds lines(contents);
  // Lines before the first section line form a section with the empty name,
  // the first of that name (so a later "[]" is never read).
  if (section.empty()) {
    start = 0;
  } else {
    const std::size_t close = FindSectionLine(contents, section);
    if (close != std::string_view::npos) start = lines.at(close) + 1;
  }
  // Inside it, line by line up to the next section line.
  while (start <= contents.size()) {
    const std::size_t end = lines.at(start);
    const std::string_view line = Trim(contents.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.find(']') == std::string_view::npos) continue;
      return std::nullopt;  // the section ended without the key
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      if (SameName(line, key)) return std::nullopt;  // a key without a value
      continue;
    }
    if (SameName(Trim(line.substr(0, eq)), key)) {
      return std::string(Unquote(Trim(line.substr(eq + 1))));
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> ReadFile(const char *path, std::string &buffer) {
  if (path == nullptr || path[0] == '\0') return std::nullopt;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  const std::size_t expected = fstat(fd, &info) == 0 && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
  // One byte more than the file holds, so one read normally sees its end. The
  // buffer only grows: a station reads the same file over and over.
  if (buffer.size() < expected + 1) buffer.resize(expected + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == buffer.size()) buffer.resize(buffer.size() * 2);
    const ssize_t got = read(fd, &buffer[used], buffer.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
  }
  close(fd);
  return std::string_view(buffer.data(), used);
}

namespace {

struct ReadRecord {
  bool on = false;
  std::vector<ProfileRead> reads;
};

ReadRecord &TheRecord() {
  static ReadRecord record;
  return record;
}

}  // namespace

void RecordReads(bool on) {
  TheRecord().on = on;
  TheRecord().reads.clear();
}

std::vector<ProfileRead> TakeReads() {
  std::vector<ProfileRead> taken;
  taken.swap(TheRecord().reads);
  return taken;
}

void Record(const char *section, const char *key, std::string def, ProfileRead::Reader reader) {
  if (!TheRecord().on) return;
  TheRecord().reads.push_back({section == nullptr ? "" : section, key == nullptr ? "" : key, std::move(def), reader});
}

uint32_t CopyOut(std::string_view value, char *out, uint32_t size) {
  if (out == nullptr || size == 0) return 0;
  // A NUL inside the value ends it, as it would in the Windows buffer.
  value = value.substr(0, std::min(value.find('\0'), value.size()));
  const std::size_t length = std::min<std::size_t>(value.size(), size - 1);
  std::memcpy(out, value.data(), length);
  out[length] = '\0';
  return static_cast<uint32_t>(length);
}

uint32_t ParseProfileInt(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && (IsBlank(value[i]) || value[i] == '\r' || value[i] == '\n')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  // Windows' string-to-integer conversion: "0x", "0o" and "0b" (lower case
  // only) switch to hexadecimal, octal and binary.
  uint32_t base = 10;
  if (i + 1 < value.size() && value[i] == '0') {
    const char prefix = value[i + 1];
    base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
    if (base != 10) i += 2;
  }
  uint32_t result = 0;
  for (; i < value.size(); ++i) {
    const char c = value[i];
    const uint32_t digit = c >= '0' && c <= '9'   ? static_cast<uint32_t>(c - '0')
                           : c >= 'a' && c <= 'f' ? static_cast<uint32_t>(c - 'a' + 10)
                           : c >= 'A' && c <= 'F' ? static_cast<uint32_t>(c - 'A' + 10)
                                                  : 99u;
    if (digit >= base) break;
    result = result * base + digit;
  }
  return negative ? 0u - result : result;
}

}  // namespace winapi

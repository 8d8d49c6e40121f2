#include "UProfileFile.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A carriage return counts as a blank: a line of a hand-edited file may end in more
// than one, and a name or value must read the same before and after a save, which
// writes each line with one line end.
constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsComment(std::string_view trimmed) {
  return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

// The section name of a header line "[name]", or false when the line is none.
bool SectionName(std::string_view line, std::string_view& name) {
  const auto t = Trim(line);
  if (t.empty() || t.front() != '[') return false;
  auto body = t.substr(1);
  const auto close = body.find(']');
  if (close != std::string_view::npos) body = body.substr(0, close);
  name = Trim(body);
  return true;
}

// Key and raw value of a line "key=value", or false when the line holds no key.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  const auto t = Trim(line);
  if (t.empty() || IsComment(t) || t.front() == '[') return false;
  const auto eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

bool QuotedAsWhole(std::string_view v) {
  return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

// A stored value reads back without one pair of enclosing quotes and without outer blanks,
// as the Windows readers do; values that would lose characters that way are quoted.
std::string EncodeValue(std::string_view value) {
  std::string v(value);
  // A line break would end the line and start a new, forged key.
  for (char& c : v)
    if (c == '\r' || c == '\n') c = ' ';
  const bool outerBlank = !v.empty() && (kBlanks.find(v.front()) != std::string_view::npos ||
                                         kBlanks.find(v.back()) != std::string_view::npos);
  if (outerBlank || QuotedAsWhole(v)) return '"' + v + '"';
  return v;
}

}  // namespace

TProfileFile TProfileFile::Load(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    throw std::runtime_error("Cannot read the settings file " + path + ": " + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode))
    throw std::runtime_error("Cannot read the settings file " + path + ": it is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("Cannot read the settings file " + path + ": " + std::strerror(errno));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("Cannot read the settings file " + path);
  return Parse(text);
}

TProfileFile TProfileFile::Parse(std::string_view text) {
  TProfileFile p;
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom) {
    p.bom_ = kBom;
    text.remove_prefix(kBom.size());
  }
  const auto firstBreak = text.find('\n');
  if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r')
    p.eol_ = "\r\n";
  while (!text.empty()) {
    const auto nl = text.find('\n');
    auto line = text.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    p.lines_.emplace_back(line);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
  }
  return p;
}

int TProfileFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (SectionName(lines_[i], name) && SameName(name, Trim(section))) return int(i);
  }
  return -1;
}

int TProfileFile::SectionEnd(int header) const {
  std::size_t i = std::size_t(header) + 1;
  std::string_view name;
  while (i < lines_.size() && !SectionName(lines_[i], name)) ++i;
  return int(i);
}

int TProfileFile::FindKey(int header, std::string_view key) const {
  const int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (KeyValue(lines_[std::size_t(i)], k, v) && SameName(k, Trim(key))) return i;
  }
  return -1;
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
  const int header = FindSection(section);
  if (header < 0) return std::string(defaultValue);
  const int line = FindKey(header, key);
  if (line < 0) return std::string(defaultValue);
  std::string_view k, v;
  KeyValue(lines_[std::size_t(line)], k, v);
  if (QuotedAsWhole(v)) v = v.substr(1, v.size() - 2);
  return std::string(v);
}

int TProfileFile::ReadInteger(std::string_view section, std::string_view key,
                              int defaultValue) const {
  const std::string text = ReadString(section, key, "");
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size())
    return defaultValue;
  return value;
}

void TProfileFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  const std::string line = std::string(Trim(key)) + '=' + EncodeValue(value);
  const int header = FindSection(section);
  if (header < 0) {
    lines_.push_back('[' + std::string(Trim(section)) + ']');
    lines_.push_back(line);
    return;
  }
  const int existing = FindKey(header, key);
  if (existing >= 0) {
    // Keep the file's own spelling of the key.
    std::string_view k, v;
    KeyValue(lines_[std::size_t(existing)], k, v);
    lines_[std::size_t(existing)] = std::string(k) + '=' + EncodeValue(value);
    return;
  }
  // A new key goes after the section's last non-blank line, so blank separators stay.
  int at = SectionEnd(header);
  while (at > header + 1 && Trim(lines_[std::size_t(at - 1)]).empty()) --at;
  lines_.insert(lines_.begin() + at, line);
}

void TProfileFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

std::string TProfileFile::Text() const {
  std::string out = bom_;
  for (const auto& l : lines_) {
    out += l;
    out += eol_;
  }
  return out;
}

void TProfileFile::Save(const std::string& path) const {
  // The bytes go to a new file beside the old one, which takes the old one's place only
  // once they are all written: a write that fails half way (a full disk) leaves the old
  // settings as they were instead of a cut-off file.
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {  // a link keeps pointing at its file
    target = real;
    std::free(real);
  }
  const auto fail = [&target](const char* what) {
    return std::runtime_error("Cannot write the settings file " + target + ": " + what);
  };
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw fail(std::strerror(errno));
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  const std::string text = Text();
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += std::size_t(n);
  }
  const int writeError = done == text.size() ? 0 : (errno != 0 ? errno : EIO);
  const bool synced = writeError == 0 && ::fsync(fd) == 0;
  const int syncError = errno;
  const bool closed = ::close(fd) == 0;
  if (writeError != 0 || !synced || !closed || ::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = writeError != 0 ? writeError : !synced ? syncError : errno;
    ::unlink(temp.c_str());
    throw fail(std::strerror(error));
  }
}

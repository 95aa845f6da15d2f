#include "logmodel/export_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

#include "output_buffer.h"
#include "platform/codepage.h"
#include "platform/file.h"

namespace korv {
namespace {

constexpr char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<KORV>\r\n  <LOG>";
constexpr char kXmlTail[] = "\r\n  </LOG>\r\n</KORV>";
static_assert(sizeof kXmlHead - 1 == 56 && sizeof kXmlTail - 1 == 19);

void AppendAscii(const char* s, std::u16string& out) {
  while (*s) out.push_back(char16_t(static_cast<unsigned char>(*s++)));
}

template <std::size_t N>
void AppendLiteral(const char (&s)[N], std::string& out) {
  out.append(s, N - 1);
}

// The entity of an XML special character, or null for any other.
constexpr const char* XmlEntity(char16_t c) {
  switch (c) {
    case u'&': return "&amp;";
    case u'<': return "&lt;";
    case u'>': return "&gt;";
    case u'"': return "&quot;";
    case u'\'': return "&#39;";
    default: return nullptr;
  }
}

// Characters that XML 1.0 cannot carry in any form, not even as a character reference: the
// C0 controls other than TAB, LF and CR, and the non-characters U+FFFE and U+FFFF. A cell
// may hold any of them (the product writes what it saw), so the XML export writes U+FFFD
// in their place and every export stays a well-formed document.
constexpr bool XmlForbidden(char16_t c) {
  return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF;
}
constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD

// UTF-8 of `text` appended to `out`; with `xml`, the XML entities in place of the five
// special characters and U+FFFD in place of the characters XML cannot carry. This is the
// export's hot loop, so runs of plain ASCII are copied in bulk; every other run goes
// through the platform converter, which keeps its handling of unpaired surrogates.
// Escaping the UTF-8 gives the same bytes as escaping the UTF-16 first, as all five
// characters are ASCII.
void AppendUtf8(std::u16string_view text, bool xml, std::string& out) {
  // ASCII characters that are copied as they are: all but the specials in XML.
  static constexpr auto kPlain = [] {
    std::array<std::array<bool, 128>, 2> plain{};
    for (char16_t c = 0; c < 128; ++c)
      plain[0][c] = true, plain[1][c] = XmlEntity(c) == nullptr && !XmlForbidden(c);
    return plain;
  }();
  const std::array<bool, 128>& plain = kPlain[xml ? 1 : 0];
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    // Room for the longest possible plain run, given back after it.
    const std::size_t at = out.size();
    out.resize(at + (n - i));
    char* dst = out.data() + at;
    std::size_t j = i;
    while (j < n && text[j] < 0x80 && plain[text[j]]) *dst++ = char(text[j++]);
    out.resize(at + (j - i));
    i = j;
    if (i == n) break;
    if (text[i] < 0x80 || (xml && XmlForbidden(text[i]))) {
      const char* entity = XmlEntity(text[i]);
      out.append(entity != nullptr ? entity : kReplacementUtf8);
      ++i;
      continue;
    }
    // Keeps surrogate pairs together.
    while (j < n && text[j] >= 0x80 && !(xml && XmlForbidden(text[j]))) ++j;
    platform::append_utf16_as_utf8(text.substr(i, j - i), out);
    i = j;
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty()) return false;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Whether the open file `target` (its status) is `protected_path` or, for a directory, one
// of the entries directly in it. Compared by device and inode: a name can lie (links, "..",
// a second mount of the same directory), the identity cannot.
bool IsProtected(const struct stat& target, const std::string& protected_path) {
  if (protected_path.empty()) return false;
  struct stat sp {};
  if (::stat(protected_path.c_str(), &sp) != 0) return false;
  if (sp.st_dev == target.st_dev && sp.st_ino == target.st_ino) return true;
  if (!S_ISDIR(sp.st_mode)) return false;
  DIR* dir = ::opendir(protected_path.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  const int dfd = ::dirfd(dir);
  while (const dirent* e = ::readdir(dir)) {
    struct stat se {};
    if (::fstatat(dfd, e->d_name, &se, 0) == 0 && se.st_dev == target.st_dev &&
        se.st_ino == target.st_ino && S_ISREG(se.st_mode)) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

FdSink::~FdSink() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

bool FdSink::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

bool FdSink::Finish() {
  if (!owned_ || fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;  // a delayed write error (full disk, NFS) shows up here
}

std::string ExportProgressText(float percent) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "Exporting %.01f%%", double(percent));
  return buf;
}

void AppendXmlEscaped(std::u16string_view text, std::u16string& out) {
  // One pass gives the same result as the five replacements in order: the ampersand goes
  // first there, and no later entity contains a character that a later step replaces.
  for (char16_t c : text) {
    switch (c) {
      case u'&': AppendAscii("&amp;", out); break;
      case u'<': AppendAscii("&lt;", out); break;
      case u'>': AppendAscii("&gt;", out); break;
      case u'"': AppendAscii("&quot;", out); break;
      case u'\'': AppendAscii("&#39;", out); break;
      default: out.push_back(XmlForbidden(c) ? char16_t(0xFFFD) : c);
    }
  }
}

void AppendJoinedRow(const std::vector<std::u16string>& cells, std::u16string& out) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i) out.push_back(u'\t');
    out += cells[i];
  }
}

void AppendTextEscaped(std::u16string_view text, std::u16string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char16_t c : text) {
    switch (c) {
      case u'\\': out += u"\\\\"; break;
      case u'\t': out += u"\\t"; break;
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      default:
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
          out += u"\\x";
          out.push_back(char16_t(kHex[c >> 4]));
          out.push_back(char16_t(kHex[c & 0xF]));
        } else {
          out.push_back(c);
        }
    }
  }
}

void AppendEscapedRow(const std::vector<std::u16string>& cells, std::u16string& out) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i) out.push_back(u'\t');
    AppendTextEscaped(cells[i], out);
  }
}

struct XmlExportWriter::Buffer : OutputBuffer {};
struct TextExportWriter::Buffer : OutputBuffer {};

XmlExportWriter::XmlExportWriter(const std::vector<std::u16string>& names, bool time_column,
                                 ExportSink& sink)
    : opening_(names.size()), time_column_(time_column), sink_(sink), buffer_(std::make_unique<Buffer>()) {
  for (std::size_t c = 0; c < names.size(); ++c) {
    AppendLiteral("\r\n      <COLUMN NAME=\"", opening_[c]);
    AppendUtf8(names[c], true, opening_[c]);
    AppendLiteral("\">", opening_[c]);
  }
  buffer_->Append(kXmlHead, sizeof kXmlHead - 1);
}

XmlExportWriter::~XmlExportWriter() = default;

bool XmlExportWriter::Row(const std::vector<std::u16string>& cells, const std::u16string& date,
                          const std::u16string& time) {
  if (!ok_) return false;
  FormatRow(cells, date, time, bytes_);
  return RowBytes(bytes_);
}

void XmlExportWriter::FormatRow(const std::vector<std::u16string>& cells, const std::u16string& date,
                                const std::u16string& time, std::string& bytes) const {
  bytes.clear();
  if (cells.size() != opening_.size()) return;
  AppendLiteral("\r\n    <RECORD>", bytes);
  for (std::size_t c = 0; c < opening_.size(); ++c) {
    bytes += opening_[c];
    if (c == 0 && time_column_) {
      AppendLiteral("\r\n        <DATE>", bytes);
      AppendUtf8(date, true, bytes);
      AppendLiteral("</DATE>\r\n        <TIME>", bytes);
      AppendUtf8(time, true, bytes);
      AppendLiteral("</TIME>\r\n      </COLUMN>", bytes);
    } else {
      AppendUtf8(cells[c], true, bytes);
      AppendLiteral("</COLUMN>", bytes);
    }
  }
  AppendLiteral("\r\n    </RECORD>", bytes);
}

bool XmlExportWriter::RowBytes(const std::string& bytes) {
  if (!ok_) return false;
  if (bytes.empty()) {
    ++stats_.skipped;  // its cell count did not fit the columns
    return true;
  }
  if (buffer_->NeedsFlush(bytes.size(), 16) && !buffer_->Flush(sink_)) {
    ok_ = false;
    return false;
  }
  buffer_->Append(bytes);
  ++stats_.written;
  return true;
}

int XmlExportWriter::Finish() {
  if (!ok_) return kExportWriteFailed;  // the file keeps what was written, without the tail
  buffer_->Append(kXmlTail, sizeof kXmlTail - 1);
  if (!buffer_->Flush(sink_) || !sink_.Finish()) return kExportWriteFailed;
  return kExportOk;
}

TextExportWriter::TextExportWriter(ExportSink& sink, LineEnd ends)
    : sink_(sink), buffer_(std::make_unique<Buffer>()), utf8_(platform::ansi_is_utf8()), ends_(ends) {}

TextExportWriter::~TextExportWriter() = default;

bool TextExportWriter::Row(std::u16string_view line) {
  if (!ok_) return false;
  FormatLine(line, bytes_);
  return LineBytes(bytes_);
}

void TextExportWriter::FormatLine(std::u16string_view line, std::string& bytes) const {
  bytes.clear();
  if (utf8_)
    AppendUtf8(line, false, bytes);
  else
    platform::append_utf16_as_ansi(line, bytes);
}

bool TextExportWriter::LineBytes(const std::string& bytes) {
  if (!ok_) return false;
  if (buffer_->NeedsFlush(bytes.size(), 2) && !buffer_->Flush(sink_)) {
    ok_ = false;
    return false;
  }
  if (ends_ == LineEnd::kCrLf && !first_) buffer_->Append("\r\n", 2);
  first_ = false;
  buffer_->Append(bytes);
  if (ends_ == LineEnd::kLf) buffer_->Append("\n", 1);
  ++stats_.written;
  return true;
}

int TextExportWriter::Finish() {
  if (!ok_) return kExportWriteFailed;
  if (!buffer_->Flush(sink_) || !sink_.Finish()) return kExportWriteFailed;
  return kExportOk;
}

int WriteXmlExport(ExportRows& rows, const std::vector<std::u16string>& names, bool time_column,
                   ExportSink& sink, const ExportProgress& progress, ExportStats* stats) {
  XmlExportWriter writer(names, time_column, sink);
  std::vector<std::u16string> cells;
  std::u16string date, time;
  bool ok = true;
  const int count = rows.Count();
  for (int i = 0; i < count && ok; ++i) {
    if (!rows.Cells(i, cells) || cells.size() != names.size()) {
      writer.Skip();
      continue;
    }
    if (time_column && !rows.DateTime(i, date, time)) date.clear(), time.clear();
    ok = writer.Row(cells, date, time);
    ReportProgress(progress, i, count);
  }
  const int result = writer.Finish();
  if (stats != nullptr) *stats = writer.Stats();
  return result;
}

int WriteTextExport(ExportRows& rows, ExportSink& sink, const ExportProgress& progress,
                    ExportStats* stats, LineEnd ends) {
  TextExportWriter writer(sink, ends);
  std::u16string line;
  const int count = rows.Count();
  int result = kExportOk;
  for (int i = 0; i < count; ++i) {
    line.clear();
    if (!rows.Text(i, line)) {
      writer.Skip();
      continue;
    }
    if (!writer.Row(line)) {
      result = kExportWriteFailed;
      break;
    }
    ReportProgress(progress, i, count);
  }
  if (result == kExportOk) result = writer.Finish();
  if (stats != nullptr) *stats = writer.Stats();
  return result;
}

int CreateExportTarget(const std::string& target, const std::string& protected_path,
                       std::unique_ptr<ExportSink>& sink) {
  sink.reset();
  for (int attempt = 0; attempt < 3; ++attempt) {
    // A file made here is new: it cannot be the log or one of its files.
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      sink = std::make_unique<FdSink>(fd, true);
      return kExportOk;
    }
    if (errno != EEXIST) return kExportCreateFailed;
    // An existing file is opened without truncating, so that the check looks at the very
    // file that would be written (no name can be swapped between check and write), and is
    // cut only once it passed.
    fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) continue;  // removed meanwhile: make it anew
      // A target that cannot be opened for writing may still be the log (read-only file).
      return SameFile(target, protected_path) ? kExportSameFile : kExportCreateFailed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      return kExportCreateFailed;
    }
    if (IsProtected(st, protected_path)) {
      ::close(fd);
      return kExportSameFile;
    }
    if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return kExportCreateFailed;
    }
    sink = std::make_unique<FdSink>(fd, true);
    return kExportOk;
  }
  return kExportCreateFailed;
}

int CopyDataFile(const std::string& source, const std::string& target) {
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kExportCopyFailed;
  if (SameFile(source, target)) return kExportSameFile;
  return platform::copy_file(source, target) == platform::FileError::ok ? kExportOk
                                                                          : kExportCopyFailed;
}

}  // namespace korv

#include "platform/machine_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace korv::platform {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

bool MachineIs64Bit() {
  static const bool is64 = [] {
    utsname u{};
    if (::uname(&u) != 0) return false;
    std::string_view m = u.machine;
    return m == "x86_64" || m == "aarch64" || m == "arm64";
  }();
  return is64;
}

std::uint32_t ProductRegistryAccess(std::uint32_t access) {
  if ((access & (kKeyWow64_64Key | kKeyWow64_32Key)) != 0 || !MachineIs64Bit()) return access;
  return access | kKeyWow64_64Key;
}

MachineRegistry MachineRegistry::FromText(const std::string& text) {
  MachineRegistry r;
  std::istringstream in(text);
  std::string line;
  std::map<std::string, std::string>* section = nullptr;
  while (std::getline(in, line)) {
    std::string_view s = Trim(line);
    if (s.empty() || s.front() == ';' || s.front() == '#') continue;
    if (s.front() == '[') {
      section = nullptr;
      if (s.back() == ']') section = &r.keys_[Lower(Trim(s.substr(1, s.size() - 2)))];
      continue;
    }
    std::size_t eq = s.find('=');
    if (section == nullptr || eq == std::string_view::npos) continue;
    (*section)[Lower(Trim(s.substr(0, eq)))] = std::string(Trim(s.substr(eq + 1)));
  }
  return r;
}

MachineRegistry MachineRegistry::FromFile(const std::string& path) {
  // The path comes from the environment: it may name a device that never ends
  // (/dev/zero), a FIFO that blocks the open or the reads, or a huge file. Only
  // a regular file of at most kMaxRegistryFileSize bytes is read; O_NONBLOCK keeps
  // the open of a FIFO from waiting for a writer before fstat can refuse it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return MachineRegistry{};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > off_t(kMaxRegistryFileSize))
    return MachineRegistry{};
  // The file may grow between fstat and the reads: the reads stop at the cap too,
  // and a file found longer than the cap is refused as a whole.
  std::string text(kMaxRegistryFileSize + 1, '\0');
  std::size_t have = 0;
  while (have < text.size()) {
    const ssize_t n = ::pread(fd, text.data() + have, text.size() - have, off_t(have));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return MachineRegistry{};
    if (n == 0) break;
    have += std::size_t(n);
  }
  if (have > kMaxRegistryFileSize) return MachineRegistry{};
  text.resize(have);
  return FromText(text);
}

std::string MachineRegistry::MachinePath() {
  const char* env = std::getenv("KORV_HKLM");
  return (env != nullptr && *env != '\0') ? env : "/etc/opt/korv/hklm.ini";
}

const MachineRegistry& MachineRegistry::Machine() {
  static const MachineRegistry machine = FromFile(MachinePath());
  return machine;
}

std::optional<std::string> MachineRegistry::QueryString(const std::string& key,
                                                        const std::string& value,
                                                        std::uint32_t /*access*/) const {
  auto k = keys_.find(Lower(key));
  if (k == keys_.end()) return std::nullopt;
  auto v = k->second.find(Lower(value));
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

std::optional<std::uint32_t> MachineRegistry::QueryDword(const std::string& key,
                                                         const std::string& value,
                                                         std::uint32_t access) const {
  std::optional<std::string> text = QueryString(key, value, access);
  if (!text || text->empty() || text->front() == '-') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const bool hex = text->size() > 2 && (*text)[0] == '0' && ((*text)[1] == 'x' || (*text)[1] == 'X');
  unsigned long long n = std::strtoull(text->c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || n > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

}  // namespace korv::platform

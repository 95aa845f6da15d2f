#pragma once
// Helpers shared by the fuzz targets: a failed invariant aborts (so libFuzzer
// records the input and the replay test fails), input slicing, and a scratch
// directory for APIs that take a path.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#define KORV_FUZZ_CHECK(cond)                                                          \
  do {                                                                                 \
    if (!(cond)) ::korv::fuzz::fail(#cond, __FILE__, __LINE__);                        \
  } while (0)

namespace korv::fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "fuzz invariant violated: %s (%s:%d)\n", what, file, line);
  std::abort();
}

// Takes fixed-size fields from the front of the input; a field past the end reads as zero.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }

  // Up to n bytes (fewer at the end of the input).
  std::span<const std::uint8_t> bytes(std::size_t n) {
    if (n > size_ - pos_) n = size_ - pos_;
    std::span<const std::uint8_t> out(data_ + pos_, n);
    pos_ += n;
    return out;
  }
  std::span<const std::uint8_t> rest() { return bytes(size_ - pos_); }
  std::size_t remaining() const { return size_ - pos_; }

 private:
  std::uint64_t take(int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n && pos_ < size_; ++i) v |= static_cast<std::uint64_t>(data_[pos_++]) << (8 * i);
    return v;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// One directory per process, made on first use and emptied of the files
// handed out when the process ends normally.
class ScratchDir {
 public:
  static ScratchDir& get() {
    static ScratchDir dir;
    return dir;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const char* name) {
    std::string path = path_ + "/" + name;
    for (const std::string& known : files_)
      if (known == path) return path;
    files_.push_back(path);
    return path;
  }

  ~ScratchDir() {
    for (const std::string& f : files_) ::unlink(f.c_str());
    ::rmdir(path_.c_str());
  }

 private:
  ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korv-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) fail("mkdtemp", __FILE__, __LINE__);
    path_ = buf.data();
  }

  std::string path_;
  std::vector<std::string> files_;
};

// Replaces the file's contents in place (same inode, as a writer that rewrites a log).
inline void write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) fail("open for writing", __FILE__, __LINE__);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) fail("write", __FILE__, __LINE__);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

inline std::vector<std::uint8_t> read_file(const std::string& path) {
  std::vector<std::uint8_t> out;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) fail("open for reading", __FILE__, __LINE__);
  std::uint8_t chunk[4096];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) fail("read", __FILE__, __LINE__);
    if (n == 0) break;
    out.insert(out.end(), chunk, chunk + n);
  }
  ::close(fd);
  return out;
}

}  // namespace korv::fuzz

#pragma once
// The exports' output buffer and progress rule, shared by the writers of every format.

#include <cstddef>
#include <string>

#include "logmodel/export_writer.h"

namespace korv {

inline constexpr std::size_t kInitialRoom = 2048;
inline constexpr std::size_t kFlushRoom = 1048576;

// The export's output buffer. `room_` is the buffer's capacity as the flush rule sees it:
// 2048 bytes at first, doubled whenever an append needs more.
class OutputBuffer {
 public:
  OutputBuffer() { data_.reserve(kInitialRoom); }

  // True when the rule says to write the buffer out before appending `incoming` bytes
  // (plus the rule's `slack`).
  bool NeedsFlush(std::size_t incoming, std::size_t slack) const {
    return room_ >= kFlushRoom && room_ < data_.size() + incoming + slack;
  }
  bool Flush(ExportSink& sink) {
    const bool ok = data_.empty() || sink.Write(data_.data(), data_.size());
    data_.clear();
    return ok;
  }
  void Append(const char* p, std::size_t n) {
    while (room_ < data_.size() + n) room_ *= 2;
    if (data_.capacity() < room_) data_.reserve(room_);
    data_.append(p, n);
  }
  void Append(const std::string& s) { Append(s.data(), s.size()); }
  bool Empty() const { return data_.empty(); }

 private:
  std::string data_;
  std::size_t room_ = kInitialRoom;
};

// Progress is offered while rows 256-511, 768-1023, ... are written.
inline void ReportProgress(const ExportProgress& progress, int i, int count) {
  if (progress && (i & 0x100)) progress(float(100 * float(i)) / float(count));
}

}  // namespace korv

// The service's answer to the log-kind query: a 12-byte head whose third word
// counts 172-byte entries (type id, service value, ...). The answer arrives
// through a scripted command channel that first asks for more room a few
// times, then answers with a status and the input's bytes as the body.
//
// Input: one byte (low nibble: how many "too small" answers; bit 4: fail
// instead of answering), then the reply body.
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "logmodel/log_type.h"
#include "product/comm.h"

namespace {

std::uint32_t load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::map<std::int32_t, std::int32_t> expected_kinds(std::span<const std::uint8_t> body) {
  std::map<std::int32_t, std::int32_t> kinds;
  if (body.size() < 12) return kinds;
  const std::uint64_t declared = load32(body.data() + 8);
  for (std::uint64_t i = 0; i < declared && 12 + (i + 1) * kLogKindEntrySize <= body.size(); ++i) {
    const std::uint8_t* entry = body.data() + 12 + i * kLogKindEntrySize;
    kinds[static_cast<std::int32_t>(load32(entry))] = static_cast<std::int32_t>(load32(entry + 4));
  }
  return kinds;
}

class ScriptedComm : public IComm {
 public:
  ScriptedComm(int too_small, bool fail, std::span<const std::uint8_t> body)
      : too_small_(too_small), fail_(fail), body_(body) {}

  int Call(std::uint32_t command, std::uint32_t parameter, std::uint32_t, const std::vector<std::uint8_t>& request,
           std::vector<std::uint8_t>& reply) override {
    KORV_FUZZ_CHECK(command == kLogKindsCommand && parameter == kLogKindsParameter && request.empty());
    // Each retry must offer more room than the one before.
    KORV_FUZZ_CHECK(reply.capacity() > last_capacity_);
    last_capacity_ = reply.capacity();
    ++calls_;
    if (calls_ <= too_small_) return 5;
    if (fail_) return 12;
    // The channel hands over no more than the caller has room for.
    const std::size_t n = body_.size() < reply.capacity() ? body_.size() : reply.capacity();
    delivered_ = body_.first(n);
    reply.assign(delivered_.begin(), delivered_.end());
    return 0;
  }

  int calls() const { return calls_; }
  std::span<const std::uint8_t> delivered() const { return delivered_; }

 private:
  int too_small_;
  bool fail_;
  std::span<const std::uint8_t> body_;
  std::span<const std::uint8_t> delivered_;
  std::size_t last_capacity_ = 0;
  int calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  korv::fuzz::InputReader in(data, size);
  const std::uint8_t control = in.u8();
  const auto rest = in.rest();
  const std::vector<std::uint8_t> body(rest.begin(), rest.end());

  const auto direct = korv::ParseLogKindReply(body);
  KORV_FUZZ_CHECK(direct == expected_kinds(body));
  KORV_FUZZ_CHECK(direct.size() <= body.size() / kLogKindEntrySize);

  const bool fail = (control & 0x10) != 0;
  ScriptedComm comm(control & 0x0F, fail, body);
  const auto queried = korv::QueryServiceLogKinds(comm);
  if (fail || comm.calls() <= (control & 0x0F)) {
    KORV_FUZZ_CHECK(queried.empty());
  } else {
    KORV_FUZZ_CHECK(queried == expected_kinds(comm.delivered()));
  }

  // A table built from any answer still has every kind, in its fixed order.
  const LogTable table = korv::MakeLogTable(queried);
  KORV_FUZZ_CHECK(table.size() == static_cast<std::size_t>(kLogTableSize));
  return 0;
}

// The port message header and the connect attributes as they arrive from a
// peer: accepted only when the lengths agree with each other and with what
// arrived, and a read header written back gives the same bytes.
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "platform/alpc_message.h"

namespace pf = korv::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  const std::span<const std::uint8_t> in(bytes);

  pf::PortMessageHeader header{};
  if (pf::read_port_header(in, header)) {
    KORV_FUZZ_CHECK(size >= pf::kPortMessageHeaderSize);
    KORV_FUZZ_CHECK(header.total_length == header.data_length + pf::kPortMessageHeaderSize);
    KORV_FUZZ_CHECK(header.total_length <= size);
    std::array<std::uint8_t, pf::kPortMessageHeaderSize> back{};
    pf::write_port_header(back, header);
    KORV_FUZZ_CHECK(std::memcmp(back.data(), bytes.data(), back.size()) == 0);
  } else if (size >= pf::kPortMessageHeaderSize) {
    // Refused: the lengths disagree.
    const std::uint16_t data_length = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
    const std::uint16_t total_length = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
    KORV_FUZZ_CHECK(total_length != data_length + pf::kPortMessageHeaderSize || total_length > size);
  }

  pf::PortAttributes attributes;
  if (pf::read_port_attributes(in, attributes)) {
    KORV_FUZZ_CHECK(size >= pf::kPortAttributesWireSize);
    std::array<std::uint8_t, pf::kPortAttributesWireSize> back{};
    pf::write_port_attributes(back, attributes);
    pf::PortAttributes again;
    KORV_FUZZ_CHECK(pf::read_port_attributes(back, again));
    std::array<std::uint8_t, pf::kPortAttributesWireSize> twice{};
    pf::write_port_attributes(twice, again);
    KORV_FUZZ_CHECK(back == twice);
  }
  return 0;
}

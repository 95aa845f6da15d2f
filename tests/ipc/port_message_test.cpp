#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/alpc_message.h"
#include "product/tavcomm_client.h"

namespace pf = korv::platform;

namespace {

std::vector<std::uint8_t> Message(std::uint16_t data_length, std::uint16_t total_length,
                                  std::size_t size) {
  std::vector<std::uint8_t> bytes(size, 0);
  if (size >= 4) {
    std::memcpy(bytes.data(), &data_length, 2);
    std::memcpy(bytes.data() + 2, &total_length, 2);
  }
  return bytes;
}

TEST(PortMessageHeader, AcceptsOnlyConsistentLengths) {
  struct Case {
    const char* what;
    std::uint16_t data_length, total_length;
    std::size_t size;
    bool ok;
  } cases[] = {
      {"header only", 0, 24, 24, true},
      {"data follows", 16, 40, 40, true},
      {"trailer after the message", 16, 40, 48, true},
      {"fewer than 24 bytes", 0, 24, 23, false},
      {"total disagrees with data", 16, 41, 48, false},
      {"total beyond what arrived", 32, 56, 40, false},
      {"total below the header", 0, 0, 24, false},
  };
  for (const Case& c : cases) {
    pf::PortMessageHeader h{};
    auto bytes = Message(c.data_length, c.total_length, c.size);
    EXPECT_EQ(pf::read_port_header(bytes, h), c.ok) << c.what;
  }
}

TEST(PortAttributes, SurviveTheWire) {
  pf::PortAttributes in;
  in.flags = 0x10000;
  in.qos_impersonation_level = 2;
  in.max_message_length = 65519;
  in.duplicate_object_types = 7;
  std::uint8_t wire[pf::kPortAttributesWireSize];
  pf::write_port_attributes(std::span<std::uint8_t, pf::kPortAttributesWireSize>(wire), in);
  pf::PortAttributes out;
  ASSERT_TRUE(pf::read_port_attributes(wire, out));
  EXPECT_EQ(out.flags, 0x10000u);
  EXPECT_EQ(out.qos_length, 12u);
  EXPECT_EQ(out.qos_impersonation_level, 2u);
  EXPECT_EQ(out.qos_dynamic_tracking, 1);
  EXPECT_EQ(out.max_message_length, 65519u);
  EXPECT_EQ(out.max_total_section_size, 0xFFFFFFFFu);
  EXPECT_EQ(out.duplicate_object_types, 7u);
  EXPECT_FALSE(pf::read_port_attributes(std::span<const std::uint8_t>(wire, 43), out));
}

TEST(PortNames, MapToSocketsBelowTheObjectRoot) {
  ::setenv("KORV_OBJECT_ROOT", "/tmp/root-x", 1);
  EXPECT_EQ(pf::port_socket_path("\\BaseNamedObjects\\P1"), "/tmp/root-x/BaseNamedObjects/P1");
  ::setenv("KORV_OBJECT_ROOT", "/tmp/root-y/", 1);
  EXPECT_EQ(pf::port_socket_path("\\BaseNamedObjects\\P2"), "/tmp/root-y/BaseNamedObjects/P2");
  ::unsetenv("KORV_OBJECT_ROOT");
  EXPECT_EQ(pf::port_socket_path("\\BaseNamedObjects\\P3"), "/run/korv/BaseNamedObjects/P3");
  EXPECT_EQ(FormatTavcommPortName(kTavcommClientId, kTavcommServerId),
            "\\BaseNamedObjects\\TAVCOMM4955474BTo3156534BCommPortAlpc");
  EXPECT_EQ(std::memcmp(&kTavcommClientId, "KGUI", 4), 0);
  EXPECT_EQ(std::memcmp(&kTavcommServerId, "KSV1", 4), 0);
}

TEST(PortView, ReceivedSectionMapsWithItsOwnSize) {
  pf::PortView created;
  ASSERT_EQ(pf::PortView::create(5000, created), pf::kPortSuccess);
  std::memset(created.data(), 0x5A, 5000);
  pf::PortFd copy(::dup(created.fd()));
  pf::PortView received;
  ASSERT_EQ(pf::PortView::map_received(std::move(copy), 0x60000, received), pf::kPortSuccess);
  EXPECT_EQ(received.size(), 5000u);
  EXPECT_EQ(received.flags(), 0x60000u);
  EXPECT_EQ(received.data()[4999], 0x5A);
  // The section cannot shrink under the receiver's mapping.
  EXPECT_NE(::ftruncate(created.fd(), 10), 0);
}

TEST(PortView, RefusesASectionTheSenderCouldShrink) {
  pf::PortFd unsealed(::memfd_create("test", MFD_CLOEXEC));
  ASSERT_TRUE(unsealed.valid());
  ASSERT_EQ(::ftruncate(unsealed.get(), 4096), 0);
  pf::PortView received;
  EXPECT_EQ(pf::PortView::map_received(std::move(unsealed), 0x60000, received),
            pf::kPortInvalidMessage);
  EXPECT_FALSE(received.valid());
}

}  // namespace

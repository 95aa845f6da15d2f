// End to end: logs written by the stand-in writer, read with the log store,
// decoded by the stand-in module through both interfaces in three languages.
#include <cstdlib>
#include <cstring>
#include <optional>

#include <gtest/gtest.h>

#include "logstore/disklog.h"
#if KORV_HAVE_BLOCK_READER
#include "logmodel/decoded_record.h"
#endif
#include "product/host_services.h"
#include "product/module_manager.h"
#include "product/module_requests.h"
#include "standin/columns.h"
#include "standin/log_kinds.h"
#include "test_support.h"

#if KORV_HAVE_WRITER
namespace {

using korv::test::TempDir;

struct KindCase {
    const char* key;
    int32_t view;
};

class WrittenLogs : public testing::TestWithParam<KindCase> {};

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    if (at <= b.size() && b.size() - at >= 4) std::memcpy(&v, b.data() + at, 4);
    return v;
}

TEST_P(WrittenLogs, DecodeIntoRowsAndCells) {
    const KindCase& c = GetParam();
    const auto* kind = korv::standin::find_log_kind(c.key);
    ASSERT_NE(kind, nullptr);
    TempDir dir;
    const std::string file = dir.Path("log.dat").string();
    const std::string writer = std::string(KORV_BIN_DIR) + "/korvlog-write";
    ASSERT_EQ(std::system((writer + " create '" + file + "'").c_str()), 0);
    ASSERT_EQ(std::system((writer + " append '" + file + "' --kind " + c.key +
                           " --count 30 --seed 7 --deleted-every 5").c_str()), 0);

    dir.Copy(korv::test::StandinModule(), "lvmod_32.so");
    korv::ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    korv::ComponentHolder second(loader, kComponentSecond), first(loader, kComponentFirst);

    auto log = DiskLogOpen(file, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
    ASSERT_NE(log, nullptr);
    const int count = DiskLogRecordCount(log.get());
    ASSERT_EQ(count, 30);
    const size_t columns = korv::standin::data_columns(kind->type_id, c.view).size();
    const auto params = korv::MakeParamRecord(false, false);

    ASSERT_EQ(second.OpenComponent(), kResultOk);
    for (uint32_t language : {1033u, 1031u, 1029u}) {
        korv::SetHostLanguage(language);
        ASSERT_EQ(korv::RequestSetLanguage(second.CurrentInstance().get(), language), kResultOk);
        first.CloseComponent();
        ASSERT_EQ(first.OpenComponent(), kResultOk);
        std::vector<uint8_t> record(4096);
        for (int i = 0; i < count; ++i) {
            uint32_t size = static_cast<uint32_t>(record.size());
            int r = DiskLogReadRecord(log.get(), static_cast<size_t>(i), record.data(), size);
            if (r == kDiskLogBufferTooSmall) {
                record.resize(size);
                r = DiskLogReadRecord(log.get(), static_cast<size_t>(i), record.data(), size);
            }
            ASSERT_EQ(r, kDiskLogOk);
            _DISKLOG_RECORD_HEADER header;
            std::memcpy(&header, record.data(), sizeof header);
            ASSERT_LE(header.payload_offset, size);
            const std::span<const uint8_t> payload(record.data() + header.payload_offset,
                                                   size - header.payload_offset);
            std::vector<uint8_t> a, b;
            ASSERT_EQ(korv::RequestDecode2(second.CurrentInstance().get(), kind->type_id, payload, c.view, params, a),
                      kResultOk) << c.key << " record " << i;
            ASSERT_EQ(korv::RequestDecode1(first.CurrentInstance().get(), kind->type_id, header.record_type, c.view,
                                           payload, b),
                      kResultOk);
            EXPECT_EQ(a, b);
            EXPECT_EQ(U32(a, 8), columns);
            EXPECT_GE(U32(a, 12), 1u);
#if KORV_HAVE_BLOCK_READER
            size_t filled = 0;
            for (uint32_t cell = 0; cell < CellCount(a); ++cell) {
                std::u16string text;
                ASSERT_TRUE(CellText(a, 0, cell, text));
                filled += text.empty() ? 0 : 1;
            }
            EXPECT_GE(filled, 1u) << c.key << " record " << i;
#endif
        }
        std::u16string text;
        ASSERT_EQ(korv::RequestHeaderText2(second.CurrentInstance().get(), kind->type_id, c.view, params, text),
                  kResultOk);
        EXPECT_EQ(text, korv::standin::header_text(kind->type_id, c.view, static_cast<uint16_t>(language)));
    }
    korv::SetHostLanguage(1033);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WrittenLogs,
                         testing::Values(KindCase{"virlog", 1}, KindCase{"warnlog", 1}, KindCase{"epfwlog", 1},
                                         KindCase{"hipslog", 1}, KindCase{"urllog", 1}, KindCase{"audit", 1},
                                         KindCase{"srvondemand", 3}),
                         [](const testing::TestParamInfo<KindCase>& i) { return std::string(i.param.key); });

}  // namespace
#endif

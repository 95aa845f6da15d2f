// The stand-in module through the viewer's call site: header texts and
// decoding through both interfaces, the three languages, the buffer growth
// paths, and the blocks of a misbehaving module.
#include <cstring>
#include <optional>

#include <gtest/gtest.h>

#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "product/module_requests.h"
#include "standin/messages.h"
#include "standin/payload.h"
#include "test_support.h"
#if KORV_HAVE_BLOCK_READER
#include "logmodel/decoded_record.h"
#endif

namespace {

using korv::ComponentHolder;
using korv::ModuleLoader;
using korv::test::TempDir;
namespace standin = korv::standin;

constexpr int32_t kEvents = 2;
constexpr uint32_t kEventRecord = 0x00010002;

// Rows of a decoded block, read with every offset checked.
struct Row {
    uint32_t level;
    std::vector<std::u16string> cells;
};

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    if (at <= b.size() && b.size() - at >= 4) std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::vector<Row> ReadRows(const std::vector<uint8_t>& b) {
    std::vector<Row> rows;
    const uint32_t cells = U32(b, 8), count = U32(b, 12);
    for (uint32_t r = 0; r < count && 16 + 4 * size_t{r} + 4 <= b.size(); ++r) {
        const size_t at = U32(b, 16 + 4 * r);
        Row row{U32(b, at), {}};
        for (uint32_t c = 0; c < cells; ++c) {
            size_t p = at + U32(b, at + 4 + 4 * c);
            std::u16string text;
            while (p + 2 <= b.size()) {
                char16_t ch;
                std::memcpy(&ch, b.data() + p, 2);
                if (ch == 0) break;
                text += ch;
                p += 2;
            }
            row.cells.push_back(text);
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<uint8_t> EventPayload(size_t rows, const std::u16string& module) {
    standin::PayloadEncoder e;
    for (size_t i = 0; i < rows; ++i) {
        e.begin_row(0x40000000u + static_cast<uint32_t>(i));
        e.add_text(module);
        e.add_msg(standin::kMsgEvUpdated);
        e.add_text(u"SYSTEM");
    }
    std::span<const uint8_t> out;
    EXPECT_EQ(e.finish(&out), standin::PayloadResult::Ok);
    return {out.begin(), out.end()};
}

// A module directory with the stand-in, its loader and both holders open.
class StandinModule : public testing::Test {
protected:
    void SetUp() override {
        korv::SetHostLanguage(1033);
        m_dir.Copy(korv::test::StandinModule(), "lvmod_32.so");
        m_loader.emplace(&HostServices, m_dir.Dir());
        ASSERT_TRUE(m_loader->StartModule());
        m_second.emplace(*m_loader, kComponentSecond);
        m_first.emplace(*m_loader, kComponentFirst);
        ASSERT_EQ(m_second->OpenComponent(), kResultOk);
        ASSERT_EQ(m_first->OpenComponent(), kResultOk);
    }
    void TearDown() override {
        m_second.reset();
        m_first.reset();
        korv::SetHostLanguage(1033);
    }
    std::shared_ptr<korv::ModuleInstance> Second() { return m_second->CurrentInstance(); }
    std::shared_ptr<korv::ModuleInstance> First() { return m_first->CurrentInstance(); }

    // Switches as the Language command does: module, host setting, re-open of component 2.
    void SwitchLanguage(uint32_t language) {
        ASSERT_EQ(korv::RequestSetLanguage(Second().get(), language), kResultOk);
        korv::SetHostLanguage(language);
        m_first->CloseComponent();
        ASSERT_EQ(m_first->OpenComponent(), kResultOk);
    }

    TempDir m_dir;
    std::optional<ModuleLoader> m_loader;
    std::optional<ComponentHolder> m_second, m_first;
    const ModuleParamRecord m_params = korv::MakeParamRecord(false, false);
};

TEST_F(StandinModule, ReportsItsNameAndLanguages) {
    EXPECT_EQ(m_loader->CurrentName(), u"KORV log viewer module");
    EXPECT_NE(m_loader->CurrentVersion(), 0u);
    std::vector<uint16_t> languages;
    ASSERT_EQ(korv::RequestListLanguages(Second().get(), languages), kResultOk);
    EXPECT_EQ(languages, (std::vector<uint16_t>{1033, 1031, 1029}));
    uint32_t current = 0;
    ASSERT_EQ(korv::RequestGetLanguage(Second().get(), current), kResultOk);
    EXPECT_EQ(current, 1033u);
    EXPECT_NE(korv::RequestSetLanguage(Second().get(), 1036), kResultOk) << "French is not served";
}

TEST_F(StandinModule, HeaderTextsInThreeLanguagesThroughBothInterfaces) {
    struct Case {
        uint32_t language;
        int32_t view;
        const char16_t* text;
    };
    const Case cases[] = {
        {1033, 1, u"Time=20,Module=20,Event=50,User=14"},
        {1033, 3, u"Module=20,Event=50,User=14"},
        {1031, 1, u"Zeit=20,Modul=20,Ereignis=50,Benutzer=14"},
        {1029, 1, u"Čas=20,Modul=20,Událost=50,Uživatel=14"},
        {1029, 3, u"Modul=20,Událost=50,Uživatel=14"},
    };
    for (const Case& c : cases) {
        SwitchLanguage(c.language);
        std::u16string second, first;
        EXPECT_EQ(korv::RequestHeaderText2(Second().get(), kEvents, c.view, m_params, second), kResultOk);
        EXPECT_EQ(korv::RequestHeaderText1(First().get(), kEvents, c.view, first), kResultOk);
        EXPECT_EQ(second, c.text) << c.language << " view " << c.view;
        EXPECT_EQ(first, c.text) << c.language << " view " << c.view;
    }
    std::u16string none;
    EXPECT_NE(korv::RequestHeaderText2(Second().get(), 9999, 1, m_params, none), kResultOk);
    EXPECT_TRUE(none.empty());
}

TEST_F(StandinModule, DecodesThroughBothInterfacesInEveryLanguage) {
    const auto payload = EventPayload(2, u"Kernel");
    for (uint32_t language : {1033u, 1031u, 1029u}) {
        SwitchLanguage(language);
        std::vector<uint8_t> second, first;
        ASSERT_EQ(korv::RequestDecode2(Second().get(), kEvents, payload, 1, m_params, second), kResultOk);
        ASSERT_EQ(korv::RequestDecode1(First().get(), kEvents, kEventRecord, 1, payload, first), kResultOk);
        EXPECT_EQ(second, first) << "one block whichever interface";
        EXPECT_EQ(U32(second, 0), second.size());
        const auto rows = ReadRows(second);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1].level, 0x40000001u);
        const std::vector<std::u16string> expected = {
            u"Kernel", standin::message_text(standin::kMsgEvUpdated, static_cast<uint16_t>(language)), u"SYSTEM"};
        EXPECT_EQ(rows[0].cells, expected) << language;
    }
    EXPECT_NE(standin::message_text(standin::kMsgEvUpdated, 1033), standin::message_text(standin::kMsgEvUpdated, 1031));
}

TEST_F(StandinModule, LargeRecordsGrowTheBuffers) {
    // 200 rows of long texts: far beyond the first 1024 bytes.
    const auto payload = EventPayload(200, std::u16string(40, u'm'));
    std::vector<uint8_t> second, first;
    ASSERT_EQ(korv::RequestDecode2(Second().get(), kEvents, payload, 3, m_params, second), kResultOk);
    ASSERT_EQ(korv::RequestDecode1(First().get(), kEvents, kEventRecord, 3, payload, first), kResultOk);
    EXPECT_GT(second.size(), 8 * korv::kDecodeInitialBytes);
    EXPECT_EQ(second, first);
    const auto rows = ReadRows(second);
    ASSERT_EQ(rows.size(), 200u);
    EXPECT_EQ(rows[199].cells[0], std::u16string(40, u'm'));
}

TEST_F(StandinModule, ATimeFieldReadsInTheViewersTimeZone) {
    ASSERT_TRUE(korv::platform::set_process_utc_offset(2));
    standin::PayloadEncoder e;
    e.begin_row(0x10000000);
    e.add_time(134096616000000000ull);  // 2025-12-08 10:00:00 UTC
    std::span<const uint8_t> out;
    ASSERT_EQ(e.finish(&out), standin::PayloadResult::Ok);
    const std::vector<uint8_t> payload(out.begin(), out.end());
    std::vector<uint8_t> block;
    // Scan summaries (type 3, view 1) have a start time as second cell; an
    // event row has room for any field in its first cell.
    ASSERT_EQ(korv::RequestDecode2(Second().get(), kEvents, payload, 1, m_params, block), kResultOk);
    korv::platform::set_process_utc_offset(0);
    const auto rows = ReadRows(block);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[0], u"2025-12-08 12:00:00");
    EXPECT_EQ(rows[0].cells[1], u"") << "missing fields are empty cells";
}

TEST_F(StandinModule, MalformedPayloadsAreNotDecoded) {
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {2, 0, 1, 0, 0, 0, 0, 0, 0, 0},                           // version 2
        {1, 0, 0, 0},                                             // no rows
        {1, 0, 1, 0, 0, 0, 0, 0x40, 1, 0, 1, 0, 4, 0, 'a', 0},   // field runs past the end
        {1, 0, 1, 0, 0, 0, 0, 0x40, 1, 0, 1, 0, 1, 0, 'a'},      // odd TEXT length
    };
    for (const auto& payload : bad) {
        std::vector<uint8_t> block;
        const intptr_t r = korv::RequestDecode2(Second().get(), kEvents, payload, 1, m_params, block);
        EXPECT_NE(r, kResultOk);
        EXPECT_NE(r, kResultDecodeTooSmall);
        EXPECT_TRUE(block.empty());
        EXPECT_NE(korv::RequestDecode1(First().get(), kEvents, kEventRecord, 1, payload, block), kResultOk);
    }
}

// The fake module: type 1 grows the header to 2048 characters, type 99 never
// has enough; decoding type 98 gives a block with a row outside it.
class FakeModule : public testing::Test {
protected:
    void SetUp() override {
        m_dir.Copy(korv::test::FakeModule("good"), "lvmod_32.so");
        m_loader.emplace(&HostServices, m_dir.Dir());
        ASSERT_TRUE(m_loader->StartModule());
        m_holder.emplace(*m_loader, kComponentFirst);
        ASSERT_EQ(m_holder->OpenComponent(), kResultOk);
    }
    TempDir m_dir;
    std::optional<ModuleLoader> m_loader;
    std::optional<ComponentHolder> m_holder;
};

TEST_F(FakeModule, HeaderBufferDoublesOn7009) {
    std::u16string text;
    ASSERT_EQ(korv::RequestHeaderText1(m_holder->CurrentInstance().get(), 1, 1, text), kResultOk);
    EXPECT_EQ(text, u"C=256,C=512,C=1024,C=2048");
    EXPECT_NE(korv::RequestHeaderText1(m_holder->CurrentInstance().get(), 99, 1, text), kResultOk)
        << "a module that never has enough gets a bounded buffer";
    EXPECT_TRUE(text.empty());
}

TEST_F(FakeModule, EndlessBufferTooSmallStopsAtTheLimit) {
    std::vector<uint8_t> block;
    const auto params = korv::MakeParamRecord(false, false);
    const uint8_t payload[1] = {0};
    const intptr_t r = korv::RequestDecode2(m_holder->CurrentInstance().get(), 99, payload, 1, params, block);
    EXPECT_NE(r, kResultOk);
    EXPECT_NE(r, kResultDecodeTooSmall);
}

TEST_F(FakeModule, ARowOutsideTheBlockHasNoCells) {
    std::vector<uint8_t> block;
    const auto params = korv::MakeParamRecord(false, false);
    const uint8_t payload[1] = {0};
    ASSERT_EQ(korv::RequestDecode2(m_holder->CurrentInstance().get(), 98, payload, 1, params, block), kResultOk);
    ASSERT_EQ(block.size(), 40u) << "the call site keeps the block as the module sized it";
    EXPECT_EQ(U32(block, 20), 0x7FFFFFF0u);
#if KORV_HAVE_BLOCK_READER
    std::u16string text;
    ASSERT_EQ(RowCount(block), 2u);
    EXPECT_TRUE(CellText(block, 0, 0, text));
    EXPECT_EQ(text, u"A");
    EXPECT_FALSE(RowIsReadable(block, 1));
    EXPECT_FALSE(CellText(block, 1, 0, text));
    EXPECT_TRUE(text.empty());
#endif
}

}  // namespace

// The filter's text test with a plain text against the same text as a regular expression,
// on the same generated rows: a literal pattern should cost little more than the plain
// search. Self-contained: the rows are made here, no log or module is needed.
//   build/release/bench/bench_pattern --benchmark_filter=Text
//   build/release/bench/bench_pattern --benchmark_filter=Alternatives

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "logmodel/filter_match.h"
#include "logmodel/text_pattern.h"

namespace {

// 1000 rows of six cells shaped like a network protection log: a time, addresses, a
// process path, a rule text with some Czech; the word KorvMark in 1% of the rows.
const std::vector<std::vector<std::u16string>>& Rows() {
  static const std::vector<std::vector<std::u16string>> rows = [] {
    std::vector<std::vector<std::u16string>> out;
    std::uint32_t seed = 7;
    const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    const auto num = [&](unsigned mod) {
      const std::string s = std::to_string(next() % mod);
      return std::u16string(s.begin(), s.end());
    };
    const std::u16string rules[] = {u"Blocked incoming connection by rule \u201eZak\u00e1z\u00e1n\u00fd p\u0159\u00edstup\u201c",
                                    u"Allowed outgoing communication (default rule)",
                                    u"Detected ARP cache poisoning attack from the local network",
                                    u"S\u00ed\u0165ov\u00fd provoz povolen pravidlem u\u017eivatele"};
    const std::u16string apps[] = {u"C:\\Program Files\\Mozilla Firefox\\firefox.exe",
                                   u"C:\\Windows\\System32\\svchost.exe",
                                   u"C:\\Users\\admin\\AppData\\Local\\Temp\\setup_x64.exe"};
    for (int i = 0; i < 1000; ++i) {
      std::vector<std::u16string> row;
      row.push_back(u"2026-12-0" + num(9) + u" 1" + num(9) + u":" + num(50) + u":" + num(50));
      row.push_back(u"TCP");
      row.push_back(u"10.0." + num(255) + u"." + num(255) + u":" + num(65535));
      row.push_back(u"192.168." + num(255) + u"." + num(255) + u":443");
      row.push_back(apps[next() % 3]);
      row.push_back(rules[next() % 4] + (i % 100 == 42 ? u" KorvMark" : u""));
      out.push_back(std::move(row));
    }
    return out;
  }();
  return rows;
}

// range(0): 0 the plain text, 1 the same text as a pattern; range(1): options (0 ignoring
// case, FILTER_OPT_CASE, FILTER_OPT_WORDS). Prepared once, as SetFilter prepares a filter.
void BM_Text(benchmark::State& state) {
  CLogFilterData filter(0);
  filter.m_strText = u"KorvMark";
  filter.m_nOptions = std::uint32_t(state.range(1)) | (state.range(0) ? FILTER_OPT_REGEX : 0);
  korv::PrepareText(filter);
  std::size_t hits = 0;
  for (auto _ : state)
    for (const auto& texts : Rows()) hits += korv::MatchTexts(filter, texts);
  benchmark::DoNotOptimize(hits);
  if (hits % 10 != 0 || hits == 0) state.SkipWithError("the marker rows were not all found");
  state.SetItemsProcessed(state.iterations() * std::int64_t(Rows().size()));
  state.SetLabel(state.range(0) ? "pattern" : "plain");
}

BENCHMARK(BM_Text)
    ->ArgsProduct({{0, 1}, {0, FILTER_OPT_CASE, FILTER_OPT_WORDS}})
    ->Unit(benchmark::kMicrosecond);

// What one paint of the list adds for highlighted matches: the ranges of every cell of a
// page of 40 rows (range(0): 0 plain, 1 pattern; range(1): the text, 0 "KorvMark" found in
// few cells, 1 "e" found in most), against the row test of the same 40 rows (range(2) 1).
// The cost is per painted page, whatever the log's size.
void BM_PageRanges(benchmark::State& state) {
  CLogFilterData filter(0);
  filter.m_strText = state.range(1) ? u"e" : u"KorvMark";
  filter.m_nOptions = state.range(0) ? FILTER_OPT_REGEX : 0;
  korv::PrepareText(filter);
  const bool rowTest = state.range(2) != 0;
  std::vector<korv::TextRange> ranges;
  std::size_t found = 0;
  std::size_t page = 0;
  for (auto _ : state) {
    // A different page each time, as scrolling shows.
    const std::size_t first = (page++ * 40) % (Rows().size() - 40);
    for (std::size_t r = first; r < first + 40; ++r) {
      const auto& texts = Rows()[r];
      if (rowTest) {
        found += korv::MatchTexts(filter, texts);
        continue;
      }
      for (std::size_t c = 0; c < texts.size(); ++c) {
        korv::FindMatchRanges(filter, int(c), texts[c], ranges);
        found += ranges.size();
      }
    }
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations() * 40);
  state.SetLabel(std::string(state.range(0) ? "pattern" : "plain") + (rowTest ? ", row test" : ", ranges"));
}

BENCHMARK(BM_PageRanges)->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

// A pattern of range(0) alternatives ".*x0001.*y|.*x0002.*y|..." as the filter's row test:
// 363 is the most that fit the length bound. 1,000 is refused (the bound's reason is the
// error shown); before the bound it cost about 15 ms a row, RE2 running its NFA.
void BM_Alternatives(benchmark::State& state) {
  std::u16string pattern;
  for (int i = 1; i <= state.range(0); ++i) {
    char item[32];
    std::snprintf(item, sizeof item, "%s.*x%04d.*y", i > 1 ? "|" : "", i);
    pattern.append(item, item + std::strlen(item));
  }
  const std::string refused = korv::PatternError(pattern, 0);
  if (!refused.empty()) {
    state.SkipWithError(refused.c_str());
    return;
  }
  CLogFilterData filter(0);
  filter.m_strText = pattern;
  filter.m_nOptions = FILTER_OPT_REGEX;
  korv::PrepareText(filter);
  std::size_t hits = 0;
  for (auto _ : state)
    for (const auto& texts : Rows()) hits += korv::MatchTexts(filter, texts);
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations() * std::int64_t(Rows().size()));
}

BENCHMARK(BM_Alternatives)->Arg(200)->Arg(363)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

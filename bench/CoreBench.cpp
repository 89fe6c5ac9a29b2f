// Speed of the portable core, each throughput figure next to memcpy of the
// same bytes measured in the same run (the physical bound).
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/PageAssembly.h"
#include "compose/TextFile.h"
#include "service/SettingsExchange.h"

namespace mojian {
namespace {

std::vector<std::string> AllNames() {
    std::vector<std::string> names;
    for (int k = 0; k < kKindCount; ++k)
        for (int i = 0; i < kStyleCounts[k]; ++i) names.push_back(EntryName(k, i));
    for (int n = 1; n <= kMaxCustomSource; ++n) names.push_back(CustomEntryName(n));
    // and names that resolve to nothing
    for (const char* bad : {"图片展示-样式6", "栏目文字-样式1", "自定义源码-101", "自定义源码-05", "", "x"})
        names.emplace_back(bad);
    return names;
}

void BM_ResolveEntry(benchmark::State& state) {
    const auto names = AllNames();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ResolveEntry(names[i]));
        if (++i == names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ResolveEntry);

// A page mixing every built-in block with a few custom sources read from files.
class Pages {
public:
    Pages() {
        folder_ = std::filesystem::temp_directory_path() / "mojian-bench";
        std::filesystem::create_directories(folder_ / "Vexa");
        SetProgramFolder(folder_.string());
        for (int n = 1; n <= 5; ++n)
            WriteTextFile(CustomSourcePath(CustomEntryName(n)), "<p>自定义源码 " + std::to_string(n) + "</p>");
    }
    std::vector<std::string> Lines(int count) const {
        std::vector<std::string> lines;
        int b = 0;
        for (int i = 0; i < count; ++i) {
            if (i % 50 == 49) {
                lines.push_back(CustomEntryName(i / 50 % 5 + 1));
            } else {
                int k = 0, s = b++ % kBuiltInBlockCount;
                while (s >= kStyleCounts[k]) s -= kStyleCounts[k++];
                lines.push_back(EntryName(k, s));
            }
        }
        return lines;
    }
private:
    std::filesystem::path folder_;
};

const Pages& ThePages() {
    static const Pages pages;
    return pages;
}

void BM_AssemblePage(benchmark::State& state) {
    const auto lines = ThePages().Lines(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string page = AssemblePage(lines);
        bytes = page.size();
        benchmark::DoNotOptimize(page.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_AssemblePage)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);

std::string SampleText(std::size_t size, bool outsideGbk) {
    std::string unit = "<td style=\"color:#c00\">套餐价 ￥199.00 立省 ￥117</td>\r\n";
    if (outsideGbk) unit += "限时\xF0\x9F\x94\xA5\r\n";
    std::string text;
    while (text.size() < size) text += unit;
    return text;
}

void BM_GbkEncode(benchmark::State& state) {
    const std::string text = SampleText(static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToGbk(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_GbkEncode)->Args({1 << 20, 0})->Args({1 << 20, 1})->Unit(benchmark::kMicrosecond);

void BM_GbkDecode(benchmark::State& state) {
    const std::string bytes = Utf8ToGbk(SampleText(static_cast<std::size_t>(state.range(0)), false));
    for (auto _ : state) benchmark::DoNotOptimize(GbkToUtf8(bytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_GbkDecode)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_EncodeField(benchmark::State& state) {
    const std::string sql = "select * from 系统管理 where id=1 order by id desc";
    for (auto _ : state) benchmark::DoNotOptimize(EncodeField(sql));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sql.size()));
}
BENCHMARK(BM_EncodeField);

void BM_ParseSettingsAnswer(benchmark::State& state) {
    const std::string answer = "okいゼ1.0い2024-01-01いhttp://example.invalid/download.exeい3いhttp://example.invalid/contactいゼ";
    for (auto _ : state) benchmark::DoNotOptimize(ParseSettingsAnswer(answer));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_ParseSettingsAnswer);

// The bound: copying the same number of bytes.
void BM_Memcpy(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<char> src(n, 'x'), dst(n);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Memcpy)->Arg(64)->Arg(1 << 12)->Arg(1 << 20)->Arg(1 << 24)->Arg(1 << 27);

}  // namespace
}  // namespace mojian

BENCHMARK_MAIN();

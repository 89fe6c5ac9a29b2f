// Speed of the portable core. Each throughput figure stands next to a bound
// measured in the same run: memcpy of about the same bytes, and for a page
// also a fresh buffer of the page's size filled by memcpy, which is what
// producing a new page costs at the least (its memory touched for the first
// time included).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "check/Check.h"
#include "compose/Composition.h"
#include "compose/TextFile.h"
#include "fill/Fields.h"
#include "fill/Fill.h"
#include "fill/PageFill.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "html/Style.h"
#include "import/Import.h"
#include "myblocks/MyBlocks.h"
#include "project/ProjectFile.h"
#include "service/SettingsExchange.h"

namespace mojian {
namespace {

// The machine the figures come from is shared and noisy: every figure is the
// median of five runs.
#define MOJIAN_BENCHMARK(fn) BENCHMARK(fn)->Repetitions(5)->ReportAggregatesOnly(true)

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
}
MOJIAN_BENCHMARK(BM_ResolveEntry);

// A seller's own HTML of a few KB: a table of product details and notes in
// Chinese, pictures, now and then an emoji (stored as a character reference).
std::string CustomHtml(int n) {
    static const char* const kRows[] = {
        "面料成分：95%棉 5%氨纶，亲肤透气，不起球不掉色",
        "尺码建议：身高165cm 体重55kg 穿M码，偏瘦选小一码",
        "洗涤说明：30℃以下手洗，不可漂白，反面晾干，低温熨烫",
        "发货时间：付款后48小时内发货，江浙沪次日达，偏远地区3-5天",
        "售后保障：7天无理由退换，质量问题包来回运费，请保持吊牌完好",
        "颜色说明：实物拍摄，因显示器不同可能存在轻微色差，以实物为准",
    };
    std::string html = "<table width=\"750\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
                       "style=\"font-family:微软雅黑;font-size:14px;color:#333;margin:0 auto\">\r\n";
    html += "<tr><td style=\"background:#c00;color:#fff;font-size:18px;padding:10px\">自定义模块 " +
            std::to_string(n) + " · 商品详情</td></tr>\r\n";
    const int rows = 12 + (n * 7) % 30;  // 2 to 6 KB
    for (int r = 0; r < rows; ++r) {
        html += "<tr><td style=\"padding:8px 12px;border-bottom:1px dashed #ccc;line-height:22px\">";
        html += kRows[(n + r) % 6];
        if ((n + r) % 17 == 0) html += " \xF0\x9F\x94\xA5";
        html += "</td></tr>\r\n";
        if (r % 5 == 4)
            html += "<tr><td><img src=\"https://img.example.invalid/imgextra/i" + std::to_string(r) + "/" +
                    std::to_string(1000 + n) + "/O1CN01abcdef_!!" + std::to_string(n) +
                    ".jpg\" width=\"750\" style=\"display:block\"></td></tr>\r\n";
    }
    html += "</table>";
    return html;
}

// Pages of any length with the same mix: the ninety blocks in an order that
// spreads every ten lines over all kinds, and every fiftieth line a custom
// source, numbers cycling over 1..100.
class Pages {
public:
    Pages() {
        folder_ = std::filesystem::temp_directory_path() / "mojian-bench";
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_ / "Vexa");
        SetProgramFolder(folder_.string());
        for (int n = 1; n <= kMaxCustomSource; ++n)
            if (!WriteTextFile(CustomSourcePath(CustomEntryName(n)), CustomHtml(n))) std::abort();
    }
    std::vector<std::string> Lines(int count, bool customs = true) const {
        std::vector<std::string> lines;
        int b = 0, c = 0;
        for (int i = 0; i < count; ++i) {
            if (customs && i % 50 == 49) {
                lines.push_back(CustomEntryName(c++ % kMaxCustomSource + 1));
            } else {
                const int j = b++ % kBuiltInBlockCount;
                int k = 0, s = (j % 10) * 9 + j / 10;
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

const int kPageLines[] = {10, 1000, 32767};

// The same page with built-in blocks on every line: what the assembly costs
// without the custom sources' file reads.
const int kBlocksOnlyLines = 1000;

// The page the copy takes: the lines with every custom source's text.
Composition PageOf(const std::vector<std::string>& lines) {
    PageData data;
    data.lines = lines;
    for (int n = 1; n <= kMaxCustomSource; ++n) data.customSources[n] = CustomHtml(n);
    Composition page;
    page.Open(data);
    return page;
}

void BM_AssemblePage(benchmark::State& state) {
    const Composition composition = PageOf(ThePages().Lines(static_cast<int>(state.range(0)), state.range(1) != 0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string page = composition.PageHtml();
        bytes = page.size();
        benchmark::DoNotOptimize(page.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["page_bytes"] = static_cast<double>(bytes);
}

// The bounds for a page of `range(0)` bytes: memcpy into a buffer used over
// and over (warm), and into a buffer allocated afresh each time.
void BM_PageMemcpyWarm(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::string src(n, 'x'), dst(n, '\0');
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_PageNewMemcpy(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string src(n, 'x');
    for (auto _ : state) {
        std::string page;
        page.reserve(n);
        page.append(src);
        benchmark::DoNotOptimize(page.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

// One custom source: the bare file read, and read and decoded as a page takes it.
void BM_ReadWholeFile(benchmark::State& state) {
    ThePages();
    int n = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto data = ReadWholeFile(CustomSourcePath(CustomEntryName(n++ % kMaxCustomSource + 1)));
        bytes += data->size();
        benchmark::DoNotOptimize(data->data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
MOJIAN_BENCHMARK(BM_ReadWholeFile);

void BM_ReadCustomSourceWhole(benchmark::State& state) {
    ThePages();
    int n = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto text = ReadCustomSourceWhole(CustomEntryName(n++ % kMaxCustomSource + 1));
        bytes += text->size();
        benchmark::DoNotOptimize(text->data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
MOJIAN_BENCHMARK(BM_ReadCustomSourceWhole);

std::string SampleText(std::size_t size, bool outsideGbk) {
    std::string unit = "<td style=\"color:#c00\">套餐价 ￥199.00 立省 ￥117</td>\r\n";
    if (outsideGbk) unit += "限时\xF0\x9F\x94\xA5\r\n";
    std::string text;
    while (text.size() < size) text += unit;
    return text;
}

// All the custom sources' HTML end to end: what a page's own HTML looks like.
std::string CustomText(std::size_t size) {
    std::string text;
    for (int n = 1; text.size() < size; n = n % kMaxCustomSource + 1) text += CustomHtml(n);
    return text;
}

void BM_GbkEncode(benchmark::State& state) {
    const std::string text = SampleText(static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToGbk(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
MOJIAN_BENCHMARK(BM_GbkEncode)->Args({1 << 20, 0})->Args({1 << 20, 1})->Unit(benchmark::kMicrosecond);

void BM_GbkDecode(benchmark::State& state) {
    const std::string bytes = Utf8ToGbk(SampleText(static_cast<std::size_t>(state.range(0)), false));
    for (auto _ : state) benchmark::DoNotOptimize(GbkToUtf8(bytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
MOJIAN_BENCHMARK(BM_GbkDecode)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_GbkEncodeHtml(benchmark::State& state) {
    const std::string text = CustomText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToGbk(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
MOJIAN_BENCHMARK(BM_GbkEncodeHtml)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

void BM_GbkDecodeHtml(benchmark::State& state) {
    const std::string bytes = Utf8ToGbk(CustomText(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(GbkToUtf8(bytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
MOJIAN_BENCHMARK(BM_GbkDecodeHtml)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// Inputs of a few dozen bytes: the time per call is the figure.
void BM_EncodeField(benchmark::State& state) {
    const std::string sql = "select * from 系统管理 where id=1 order by id desc";
    for (auto _ : state) benchmark::DoNotOptimize(EncodeField(sql));
}
MOJIAN_BENCHMARK(BM_EncodeField);

void BM_ParseSettingsAnswer(benchmark::State& state) {
    const std::string answer = "okいゼ1.0い2024-01-01いhttp://example.invalid/download.exeい3いhttp://example.invalid/contactいゼ";
    for (auto _ : state) benchmark::DoNotOptimize(ParseSettingsAnswer(answer));
}
MOJIAN_BENCHMARK(BM_ParseSettingsAnswer);

// The bound for the codec: copying the same number of bytes.
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
MOJIAN_BENCHMARK(BM_Memcpy)->Arg(1 << 20);

// ---- Projects: save, open, undo and redo ----------------------------------

// A page of 1,000 lines holding 100 custom sources of 2 to 6 KB (every tenth
// line), the other lines spread over the ninety blocks, two blocks edited.
Composition ProjectPage() {
    Composition page;
    const auto lines = ThePages().Lines(900, false);
    for (int i = 0, b = 0; i < 1000; ++i) {
        if (i % 10 == 9) {
            page.AddCustom(CustomHtml(i / 10 + 1));
        } else {
            const ResolvedEntry entry = ResolveEntry(lines[static_cast<std::size_t>(b++)]);
            page.AddBuiltIn(entry.kind, entry.style);
        }
    }
    page.SetBlock(3, 4, CustomHtml(7));
    page.SetBlock(0, 18, "<p>改过的栏目</p>");
    return page;
}

std::string ProjectPath() {
    const auto dir = std::filesystem::temp_directory_path() / "mojian-bench";
    std::filesystem::create_directories(dir);
    return (dir / "page.mojian").string();
}

// Snapshot, JSON and the whole-file write (temporary file, flush, replace).
void BM_SaveProject(benchmark::State& state) {
    const Composition page = ProjectPage();
    const std::string path = ProjectPath();
    for (auto _ : state) {
        if (project::SaveProjectFile(path, page.Snapshot())) std::abort();
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
}
MOJIAN_BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond);

// Read, check and parse the file, then open it as the page.
void BM_OpenProject(benchmark::State& state) {
    const std::string path = ProjectPath();
    if (project::SaveProjectFile(path, ProjectPage().Snapshot())) std::abort();
    for (auto _ : state) {
        const project::ProjectRead read = project::LoadProjectFile(path);
        if (!read.Ok()) std::abort();
        Composition page;
        benchmark::DoNotOptimize(page.Open(*read.page));
    }
}
MOJIAN_BENCHMARK(BM_OpenProject)->Unit(benchmark::kMillisecond);

// A seller's store of `count` blocks with Chinese names, 2 to 20 KB of
// HTML each (built-in blocks run together and cut to size), made once.
myblocks::MyBlocks& MyBlocksStore(int count) {
    static const auto made = [count] {
        const auto dir = std::filesystem::temp_directory_path() / "mojian-bench" / "myblocks";
        std::filesystem::remove_all(dir);
        auto store = std::make_unique<myblocks::MyBlocks>(dir.string());
        std::string all;
        for (int k = 0; all.size() < (24u << 10); k = (k + 1) % kKindCount) all += BuiltInLibrary().Get(k, 0);
        static constexpr const char* kWords[] = {"售后承诺", "尺码表", "洗涤说明", "店铺公告",
                                                 "新品推荐", "发货须知", "品牌故事", "模特信息"};
        for (int i = 0; i < count; ++i) {
            std::size_t size = 2048 + static_cast<std::size_t>(i) * 7919 % (18u << 10);
            while ((static_cast<unsigned char>(all[size]) & 0xC0) == 0x80) --size;  // whole characters only
            const std::string html = all.substr(0, size) + "\r\n";
            if (!store->Save(std::string(kWords[i % 8]) + "第" + std::to_string(i) + "号", "自定义源码-1", html).empty())
                std::abort();
        }
        return store;
    }();
    return *made;
}

// The list of 我的模块 a seller with a thousand saved blocks opens: every
// file read and parsed.
void BM_ListMyBlocks(benchmark::State& state) {
    const myblocks::MyBlocks& store = MyBlocksStore(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<myblocks::Entry> entries = store.List();
        if (entries.size() != static_cast<std::size_t>(state.range(0))) std::abort();
        bytes = 0;
        for (const myblocks::Entry& e : entries) bytes += e.htmlBytes;
    }
    state.counters["html_bytes"] = static_cast<double>(bytes);
}
MOJIAN_BENCHMARK(BM_ListMyBlocks)->Arg(1000)->Unit(benchmark::kMillisecond);

// One block of the thousand by its name, as adding it to the page does.
void BM_GetMyBlock(benchmark::State& state) {
    const myblocks::MyBlocks& store = MyBlocksStore(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const std::optional<myblocks::Block> block = store.Get("店铺公告第523号");
        if (!block) std::abort();
        benchmark::DoNotOptimize(block->html.data());
    }
}
MOJIAN_BENCHMARK(BM_GetMyBlock)->Arg(1000)->Unit(benchmark::kMillisecond);

// Every usable block read for the import to recognise.
void BM_MyBlocksForImport(benchmark::State& state) {
    const myblocks::MyBlocks& store = MyBlocksStore(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(import::MineBlocksIn(store.Folder()));
}
MOJIAN_BENCHMARK(BM_MyBlocksForImport)->Arg(1000)->Unit(benchmark::kMillisecond);

// One undo and one redo on the page: 0 a line deleted in the middle, 1 a
// burst of typing into a custom source, 2 a new page over it (the whole
// page, its sources and edited blocks go and come back).
void BM_UndoRedo(benchmark::State& state) {
    Composition page = ProjectPage();
    switch (state.range(0)) {
    case 0:
        page.Select(500);
        page.DeleteSelected();
        break;
    case 1: {
        page.Select(499);
        std::string text = *page.CustomText(50);
        for (int i = 0; i < 20; ++i) page.WriteThroughSelected(text.insert(text.size() / 2, "字"), i > 0);
        break;
    }
    default:
        page.Open(PageData{});
        break;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.Undo());
        benchmark::DoNotOptimize(page.Redo());
    }
}
MOJIAN_BENCHMARK(BM_UndoRedo)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// ---- Import of a description ----------------------------------------------

// A seller's description as GBK bytes: built-in blocks between stretches of
// the seller's own HTML (a table of details, pictures, notes in Chinese), a
// third of the lines blocks, until it holds `characters` characters or
// `bytes` bytes.
std::string Description(std::size_t characters, std::size_t bytes) {
    std::string text;
    std::size_t count = 0;
    for (int i = 0;; ++i) {
        std::string part;
        if (i % 3 == 0) {
            const int j = (i / 3 * 7) % kBuiltInBlockCount;
            int k = 0, s = j;
            while (s >= kStyleCounts[k]) s -= kStyleCounts[k++];
            part = BuiltInLibrary().Get(k, s);
        } else {
            part = CustomHtml(i) + "\r\n";
        }
        std::size_t partCount = 0;
        for (const char c : part) partCount += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if ((characters && count + partCount > characters) || (bytes && text.size() + part.size() > bytes)) break;
        text += part;
        count += partCount;
    }
    // filled up with short paragraphs
    for (int i = 1;; ++i) {
        const std::string line = "<p style=\"font-size:14px\">细节 " + std::to_string(i) + "</p>\r\n";
        const std::size_t lineCount = line.size() - 4;  // "细节" is two characters in six bytes
        if ((characters && count + lineCount > characters) || (bytes && text.size() + line.size() > bytes)) break;
        text += line;
        count += lineCount;
    }
    return Utf8ToGbk(text);
}

// Decoding, the parse, the cut, the match against the ninety blocks and the
// lines and custom sources, as 文件 → 导入描述 does it.
void BM_ImportDescription(benchmark::State& state) {
    const std::string bytes = state.range(0) == 0 ? Description(25000, 0)
                                                  : Description(0, static_cast<std::size_t>(state.range(1)));
    const import::ImportContext context = import::FreshPageContext();
    std::size_t lines = 0;
    for (auto _ : state) {
        const import::ImportResult result = import::ImportDescription(bytes, context);
        if (!result.Ok()) std::abort();
        lines = result.imported->page.lines.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    state.counters["page_bytes"] = static_cast<double>(bytes.size());
    state.counters["lines"] = static_cast<double>(lines);
}
// 0: 25,000 characters; 1: the page of range(1) bytes
MOJIAN_BENCHMARK(BM_ImportDescription)
    ->Args({0, 0})
    ->Args({1, 25 << 10})
    ->Args({1, 250 << 10})
    ->Args({1, 1 << 20})
    ->Unit(benchmark::kMillisecond);

// The parse alone of the same pages: what the import adds to it.
void BM_ParseDescription(benchmark::State& state) {
    const std::string text = GbkToUtf8(state.range(0) == 0 ? Description(25000, 0)
                                                           : Description(0, static_cast<std::size_t>(state.range(1))));
    for (auto _ : state) benchmark::DoNotOptimize(html::ParseHtml(text));
}
MOJIAN_BENCHMARK(BM_ParseDescription)->Args({0, 0})->Args({1, 1 << 20})->Unit(benchmark::kMillisecond);

// The styles of every element of the real pages, the ninety blocks and the
// layout cases, parsed once: what the view computes again at every change.
std::size_t StyleTree(const html::Node& n, const html::Style& parent) {
    std::size_t count = 0;
    for (const auto& c : n.children) {
        if (!c->IsElement()) continue;
        const html::Style s = html::ComputeStyle(*c, parent);
        count += 1 + StyleTree(*c, s);
    }
    return count;
}

void BM_StylePages(benchmark::State& state) {
    std::vector<html::Document> pages;
    for (const char* folder : {MOJIAN_SOURCE_DIR "/tests/html/realpages", MOJIAN_SOURCE_DIR "/catalogue/blocks",
                               MOJIAN_SOURCE_DIR "/tests/html/cases"})
        for (const auto& f : std::filesystem::directory_iterator(folder))
            if (f.path().extension() == ".html")
                if (auto text = ReadWholeFile(f.path().string())) pages.push_back(html::ParseHtml(*text));
    std::size_t elements = 0;
    for (auto _ : state) {
        elements = 0;
        for (const html::Document& d : pages) elements += StyleTree(*d.root, html::RootStyle());
    }
    state.counters["pages"] = static_cast<double>(pages.size());
    state.counters["elements"] = static_cast<double>(elements);
}
MOJIAN_BENCHMARK(BM_StylePages)->Unit(benchmark::kMillisecond);

// ---- Filling in and find and replace ---------------------------------------

// The largest built-in block, and a custom source of a megabyte made of blocks.
const std::string& LargestBlock() {
    static const std::string* largest = [] {
        const std::string* best = &BuiltInLibrary().Get(0, 0);
        for (int k = 0; k < kKindCount; ++k)
            for (int i = 0; i < kStyleCounts[static_cast<std::size_t>(k)]; ++i)
                if (BuiltInLibrary().Get(k, i).size() > best->size()) best = &BuiltInLibrary().Get(k, i);
        return best;
    }();
    return *largest;
}

std::string MegabyteSource() {
    std::string html;
    for (int i = 0; html.size() < (1u << 20); ++i) html += BuiltInLibrary().Get(i % kKindCount, i % 3);
    return html;
}

// What the fill dialog does on opening: every field with its size and whether it is a placeholder.
void BM_FindFieldsLargestBlock(benchmark::State& state) {
    const std::string& block = LargestBlock();
    benchmark::DoNotOptimize(fill::FindFields(block));  // the built-in values, once per run
    std::size_t fields = 0;
    for (auto _ : state) fields = fill::FindFields(block).fields.size();
    state.counters["bytes"] = static_cast<double>(block.size());
    state.counters["fields"] = static_cast<double>(fields);
}
MOJIAN_BENCHMARK(BM_FindFieldsLargestBlock)->Unit(benchmark::kMicrosecond);

// 1: with the pictures' sizes measured; 0: without, measured later.
void BM_FindFieldsMegabyte(benchmark::State& state) {
    const std::string html = MegabyteSource();
    const fill::FindOptions options{state.range(0) != 0, true};
    benchmark::DoNotOptimize(fill::FindFields(html, options));
    std::size_t fields = 0;
    for (auto _ : state) fields = fill::FindFields(html, options).fields.size();
    state.counters["fields"] = static_cast<double>(fields);
}
MOJIAN_BENCHMARK(BM_FindFieldsMegabyte)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The dialog's preview as the seller types: the megabyte with one field changed.
void BM_FillFieldsMegabyte(benchmark::State& state) {
    const std::string html = MegabyteSource();
    const fill::FieldSet set = fill::FindFields(html, fill::FindOptions{false, false});
    const std::vector<fill::FieldValue> values{{set.fields.size() / 2, "新的商品名称"}};
    for (auto _ : state) benchmark::DoNotOptimize(fill::FillFields(html, set, values));
}
MOJIAN_BENCHMARK(BM_FillFieldsMegabyte)->Unit(benchmark::kMillisecond);

// A page of 1,000 lines: every twentieth a custom source of 2 to 6 KB with
// pictures on the seller's host (50 of them), the others spread over the
// ninety blocks, about eleven of them the block with the shop's link.
Composition FillPage() {
    Composition page;
    const auto lines = ThePages().Lines(1000, false);
    for (int i = 0; i < 1000; ++i) {
        if (i % 20 == 19) {
            page.AddCustom(CustomHtml(i / 20 + 1));
        } else {
            const ResolvedEntry entry = ResolveEntry(lines[static_cast<std::size_t>(i)]);
            page.AddBuiltIn(entry.kind, entry.style);
        }
    }
    return page;
}

// 0: a picture host in the 50 custom sources; 1: the shop's link, whose
// built-in lines each become a custom source. Each run is undone untimed.
void BM_ReplaceInPage(benchmark::State& state) {
    Composition page = FillPage();
    const fill::FindQuery query = state.range(0) == 0
                                      ? fill::FindQuery{fill::FieldKind::Picture, "img.example.invalid", true}
                                      : fill::FindQuery{fill::FieldKind::Link, "http://shop.taobao.com/", true};
    std::size_t replaced = 0, lines = 0;
    for (auto _ : state) {
        const fill::PageChange change = fill::ReplaceInPage(page, query, "img.myshop.cn/新");
        if (!change.effects.Applied()) std::abort();
        replaced = change.replaced;
        lines = change.linesChanged;
        state.PauseTiming();
        page.Undo();
        state.ResumeTiming();
    }
    state.counters["replaced"] = static_cast<double>(replaced);
    state.counters["lines"] = static_cast<double>(lines);
}
MOJIAN_BENCHMARK(BM_ReplaceInPage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The count and list before replacing: a text most blocks hold.
void BM_FindInPage(benchmark::State& state) {
    const Composition page = FillPage();
    const fill::FindQuery query{fill::FieldKind::Text, "请在此输入", true};
    std::size_t matches = 0;
    for (auto _ : state) matches = fill::FindInPage(page, query).matches.size();
    state.counters["matches"] = static_cast<double>(matches);
}
MOJIAN_BENCHMARK(BM_FindInPage)->Unit(benchmark::kMillisecond);

// Each page and its two bounds side by side; the bounds take the page's
// exact size, known only once the page has been put together (at start-up,
// before the runs).
bool RegisterPages() {
    std::vector<std::pair<int, bool>> pages;
    for (const int count : kPageLines) pages.emplace_back(count, true);
    pages.emplace_back(kBlocksOnlyLines, false);
    for (const auto& [count, customs] : pages) {
        const std::size_t bytes = PageOf(ThePages().Lines(count, customs)).PageHtml().size();
        const auto size = static_cast<int64_t>(bytes);
        for (auto* b : {benchmark::RegisterBenchmark("BM_AssemblePage", BM_AssemblePage)->Args({count, customs}),
                        benchmark::RegisterBenchmark("BM_PageMemcpyWarm", BM_PageMemcpyWarm)->Arg(size),
                        benchmark::RegisterBenchmark("BM_PageNewMemcpy", BM_PageNewMemcpy)->Arg(size)})
            b->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
    }
    return true;
}
[[maybe_unused]] const bool kPagesRegistered = RegisterPages();

// ---- The publish check ----

// A page of `characters` code points or a little more: the built-in blocks a
// kind at a time (the seller's usual order: heading, pictures, sizes,
// information...), topped up with a custom source of the seller's own tables.
std::vector<check::PageLine> CheckPageLines(std::size_t characters, bool oneLine) {
    std::vector<check::PageLine> lines;
    std::size_t total = 0;
    for (int i = 0; !oneLine; ++i) {
        const int kind = i % kKindCount, style = (i / kKindCount) % kStyleCounts[kind];
        const std::string& html = BuiltInLibrary().Get(kind, style);
        const std::size_t n = check::CountCharacters(html);
        if (total + n > characters) break;
        lines.push_back({EntryName(kind, style), html});
        total += n;
    }
    std::string own;
    for (int n = 1; total + check::CountCharacters(own) < characters; ++n) own += CustomHtml(n);
    lines.push_back({CustomEntryName(1), own});
    return lines;
}

// Everything a check of the whole page does: parse, the markup rules, one
// layout per line, the page length. Arg 0: a page of blocks; 1: the same
// length in one custom source.
void BM_CheckPage(benchmark::State& state) {
    const auto lines = CheckPageLines(25000, state.range(0) == 1);
    html::FixedMeasurer measurer;
    html::NoPictures pictures;
    check::Checker checker(check::RuleSet::BuiltIn(), measurer, pictures);
    checker.CheckPage(lines);  // the blocks' placeholders are derived once per run
    for (auto _ : state) benchmark::DoNotOptimize(checker.CheckPage(lines));
    state.counters["characters"] = static_cast<double>(check::CountPageCharacters(lines));
    state.counters["lines"] = static_cast<double>(lines.size());
}
MOJIAN_BENCHMARK(BM_CheckPage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What a window rechecks when one line changed: that line, and the length.
void BM_CheckChangedLine(benchmark::State& state) {
    const auto lines = CheckPageLines(25000, false);
    html::FixedMeasurer measurer;
    html::NoPictures pictures;
    check::Checker checker(check::RuleSet::BuiltIn(), measurer, pictures);
    checker.CheckPage(lines);
    // The largest block: a group-buy offer.
    const std::string& html = BuiltInLibrary().Get(4, 11);
    for (auto _ : state) {
        benchmark::DoNotOptimize(checker.CheckLine(3, "团购秒杀-样式12", html));
        benchmark::DoNotOptimize(checker.CheckPageLength(lines));
    }
}
MOJIAN_BENCHMARK(BM_CheckChangedLine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mojian

BENCHMARK_MAIN();

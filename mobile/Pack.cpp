#include "mobile/Pack.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include <nlohmann/json.hpp>

#include "base/File.h"

namespace mojian::mobile {

namespace {

// Keys in the order a reader looks for them: file, size, then the areas.
using OrderedJson = nlohmann::ordered_json;

constexpr int kBandRows = 256;   // rows painted at a time while scanning
constexpr int kLeastHeight = 64;  // a seller's limit below this makes no sense
// Pieces in flight at once: each holds its raster (7.7 MB at 1,242 x 1,546).
constexpr std::size_t kMostEncodingThreads = 4;

std::string SizeText(std::uint64_t bytes) {
    char buf[32];
    if (bytes >= 1024 * 1024) std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    else std::snprintf(buf, sizeof buf, "%.0f KB", static_cast<double>(bytes) / 1024);
    return buf;
}

// A virus scanner looking at the files just written can hold the folder
// for a moment on Windows: a rename is tried again before it counts as failed.
bool RenameSoon(const std::string& from, const std::string& to) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (RenameFolder(from, to)) return true;
        if (!FolderExists(from) || FolderExists(to)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string PieceName(std::size_t index, std::size_t count, Format format) {
    const std::size_t digits = std::max<std::size_t>(2, std::to_string(count).size());
    std::string number = std::to_string(index + 1);
    number.insert(0, digits - std::min(digits, number.size()), '0');
    return number + (format == Format::Jpeg ? ".jpg" : ".png");
}

// Windows' Notepad takes UTF-8 with a byte-order mark for UTF-8 on every
// version, and UTF-8 keeps every address as written; GBK would lose the
// characters it lacks. Lines end in CR LF for the older Notepad.
std::string WindowsText(const std::string& text) {
    std::string out = "\xEF\xBB\xBF";
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Every file is on the disk before the folder takes its name: a power cut
// cannot leave a folder that looks complete with empty pictures in it.
class Packer {
public:
    Packer(PagePainter& painter, PieceEncoder& encoder, const PackOptions& options)
        : painter_(painter), encoder_(encoder), o_(options) {}

    PackResult Run() {
        r_.folder = o_.folder;
        r_.notes = o_.notes;
        while (r_.folder.size() > 1 && (r_.folder.back() == '/' || r_.folder.back() == kPathSeparator))
            r_.folder.pop_back();
        if (!Check()) return Finish();
        temp_ = r_.folder + ".正在生成";
        if ((FolderExists(temp_) && !RemoveFolderOfFiles(temp_)) || !CreateFolder(temp_))
            return Fail("无法在“" + r_.folder + "”旁边建立临时文件夹；请检查这个位置能否写入");
        made_ = true;
        if (!Pieces() || Stopped() || !Texts() || Stopped() || !Sheet() || Stopped() || !Place()) return Finish();
        r_.ok = true;
        Progress(PackStage::Writing, 1);
        return std::move(r_);
    }

private:
    bool Stopped() {
        if (o_.cancel && o_.cancel->load()) r_.cancelled = true;
        return r_.cancelled;
    }
    void Progress(PackStage stage, double fraction) {
        if (o_.progress) o_.progress(stage, std::clamp(fraction, 0.0, 1.0));
    }
    PackResult Fail(std::string message) {
        r_.errors.push_back(std::move(message));
        return Finish();
    }
    bool Error(std::string message) {
        r_.errors.push_back(std::move(message));
        return false;
    }
    // Nothing half-made stays: the temporary folder goes, with what it holds.
    PackResult Finish() {
        if (made_) RemoveFolderOfFiles(temp_);
        r_.ok = false;
        r_.pieces.clear();
        r_.areas.clear();
        return std::move(r_);
    }

    bool Check() {
        const MobileRules& rules = o_.rules;
        width_ = painter_.Width();
        height_ = painter_.Height();
        if (width_ < rules.minWidth || width_ > rules.maxWidth)
            return Error("图片宽度 " + std::to_string(width_) + " 像素不在允许的 " + std::to_string(rules.minWidth) + "–" +
                         std::to_string(rules.maxWidth) + " 像素之间");
        if (height_ <= 0) return Error("页面是空的，没有可以生成的图片");
        // Links and cut rows measured at another width would land in the wrong places.
        if (o_.geometry.width != 0 && o_.geometry.width != width_)
            return Error("页面量出的宽度（" + std::to_string(o_.geometry.width) + " 像素）与画出的宽度（" +
                         std::to_string(width_) + " 像素）不一致");
        maxHeight_ = rules.maxHeight;
        if (o_.maxHeight > 0 && o_.maxHeight < maxHeight_) {
            if (o_.maxHeight < kLeastHeight)
                return Error("每张图的高度至少要 " + std::to_string(kLeastHeight) + " 像素");
            maxHeight_ = o_.maxHeight;
        }
        if ((o_.format == FormatChoice::Jpeg && !rules.Allows("jpg")) ||
            (o_.format == FormatChoice::Png && !rules.Allows("png")) ||
            (o_.format == FormatChoice::Auto && !rules.Allows("jpg") && !rules.Allows("png")))
            return Error("规则不允许这种图片格式");
        choice_ = o_.format;
        if (choice_ == FormatChoice::Auto && !rules.Allows("png")) choice_ = FormatChoice::Jpeg;
        if (choice_ == FormatChoice::Auto && !rules.Allows("jpg")) choice_ = FormatChoice::Png;
        if (r_.folder.empty()) return Error("没有指定保存图片的文件夹");
        if (FileSize(r_.folder)) return Error("“" + r_.folder + "”是一个文件，不能当作文件夹");
        if (FolderExists(r_.folder) && !o_.overwrite)
            return Error("文件夹“" + r_.folder + "”已经存在；确认替换它，或换一个文件夹");
        return true;
    }

    // The page is painted once, top to bottom, in bands. Each piece goes to
    // the encoders as soon as its cuts are certain, so only the rows not yet
    // in a piece are held, and nothing is painted twice. The encoders (JPEG's
    // quality search and PNG take most of the time) work beside the
    // painting; when they fall behind, the painting thread encodes too.
    bool Pieces() {
        CutInput in;
        in.height = height_;
        in.maxHeight = maxHeight_;
        in.text = o_.geometry.text;
        in.avoid = o_.geometry.avoid;
        in.lineStarts = o_.geometry.lineStarts;
        const int mostPending = 2 * maxHeight_;
        CutPlanner planner(in, mostPending);
        // Room for every row that may wait, once: growing it would copy the
        // rows and, for a while, need twice the room.
        pending_.reserve(static_cast<std::size_t>(mostPending + 1 + kBandRows) * static_cast<std::size_t>(width_));
        std::vector<std::thread> helpers;
        if (o_.newEncoder) {
            const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
            const std::size_t extra = std::min<std::size_t>(cores - 1, kMostEncodingThreads - 1);
            for (std::size_t t = 0; t < extra; ++t) {
                try {
                    helpers.emplace_back([this] {
                        // Made on its own thread: WIC's objects live in the thread's COM apartment.
                        if (const std::unique_ptr<PieceEncoder> own = o_.newEncoder()) EncodeWaiting(*own, false);
                    });
                } catch (const std::system_error&) {
                    break;  // fewer threads do the same work
                }
            }
        }
        room_ = std::max<std::size_t>(1, helpers.size());
        try {
            Raster band;
            band.width = width_;
            for (int top = 0; top < height_ && !Halted(); top += kBandRows) {
                band.height = std::min(kBandRows, height_ - top);
                band.pixels.assign(static_cast<std::size_t>(band.width) * static_cast<std::size_t>(band.height), 0xFFFFFFFFu);
                if (!painter_.Paint(top, band)) {
                    Failed("画页面时出错（第 " + std::to_string(top) + " 行起）");
                    break;
                }
                pending_.insert(pending_.end(), band.pixels.begin(), band.pixels.end());
                const std::vector<float> rows = RowUniformity(band);
                planner.AddRows(rows.data(), band.height);
                for (const int cut : planner.TakeCuts()) HandOver(cut);
                Progress(PackStage::Scanning, static_cast<double>(top + band.height) / height_);
            }
            if (!Halted()) {
                planner.Finish();
                for (const int cut : planner.TakeCuts()) HandOver(cut);
                HandOver(height_);
                r_.cuts.pop_back();  // the page's end is no cut
                if (planner.ThroughText())
                    r_.notes.push_back("有一行文字比一张图允许的高度（" + std::to_string(maxHeight_) +
                                       " 像素）还高，只好从这行文字中间切开");
            }
        } catch (const std::bad_alloc&) {
            Failed("内存不够，没能画完或编码完所有图片");
        }
        pending_ = {};
        painter_.ReleaseKept();  // before the sheet and the last pieces need memory
        {
            std::lock_guard<std::mutex> lock(jobsLock_);
            noMoreJobs_ = true;
        }
        jobsReady_.notify_all();
        if (!Halted() && o_.contactSheet) MakeSheet();
        if (!Halted()) Progress(PackStage::Encoding, EncodedShare());
        EncodeWaiting(encoder_, true);
        for (std::thread& h : helpers) h.join();
        if (Stopped()) return false;
        if (failed_) return Error(error_);
        return Number();
    }

    bool Halted() { return failed_.load() || Stopped(); }
    void Failed(std::string message) {
        std::lock_guard<std::mutex> lock(jobsLock_);
        if (!failed_.exchange(true)) error_ = std::move(message);
        jobsReady_.notify_all();
    }

    // The piece from the last cut down to `cut` leaves the rows held for
    // an encoder; the painting thread encodes it itself when the encoders
    // are busy and enough pieces wait.
    void HandOver(int cut) {
        const int top = r_.cuts.empty() ? 0 : r_.cuts.back();
        r_.cuts.push_back(cut);
        const std::size_t rowPixels = static_cast<std::size_t>(width_);
        const std::size_t n = static_cast<std::size_t>(cut - top) * rowPixels;
        Job job{pieceCount_++, top, Raster{width_, cut - top, {}}};
        job.piece.pixels.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
        std::unique_lock<std::mutex> lock(jobsLock_);
        jobs_.push_back(std::move(job));
        jobsReady_.notify_one();
        while (jobs_.size() > room_ && !Halted()) {
            Job mine = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            Encode(encoder_, mine);
            lock.lock();
        }
    }

    struct Job {
        std::size_t index = 0;
        int top = 0;
        Raster piece;
    };

    // Takes the pieces waiting until there are no more (or, for the
    // painting thread at the end, until none waits), then returns.
    void EncodeWaiting(PieceEncoder& encoder, bool painter) {
        try {
            for (;;) {
                Job job;
                {
                    std::unique_lock<std::mutex> lock(jobsLock_);
                    // A cancel comes from another thread without a word: look again now and then.
                    while (jobs_.empty() && !noMoreJobs_ && !Halted())
                        jobsReady_.wait_for(lock, std::chrono::milliseconds(50));
                    if (jobs_.empty() || Halted()) return;
                    job = std::move(jobs_.front());
                    jobs_.pop_front();
                }
                Encode(encoder, job);
                if (painter) Progress(PackStage::Encoding, EncodedShare());
            }
        } catch (const std::bad_alloc&) {
            Failed("内存不够，没能画完或编码完所有图片");
        }
    }

    double EncodedShare() {
        std::lock_guard<std::mutex> lock(jobsLock_);
        return pieceCount_ ? static_cast<double>(encoded_) / static_cast<double>(pieceCount_) : 1.0;
    }

    void Encode(PieceEncoder& encoder, const Job& job) {
        std::string why;
        const auto encoded = EncodePiece(encoder, job.piece, choice_, o_.rules.maxBytes, o_.bestQuality, why);
        if (!encoded) return Failed("第 " + std::to_string(job.index + 1) + " 张图：" + why);
        // Two digits at least; more are given at the end, when the count is known.
        PieceInfo info{PieceName(job.index, 0, encoded->format), job.top, job.piece.width, job.piece.height,
                       encoded->bytes.size(), encoded->format, encoded->quality};
        if (!WriteWholeFile(JoinPath(temp_, info.file), encoded->bytes))
            return Failed("写不进文件“" + info.file + "”（磁盘满了，或没有写入权限？）");
        std::lock_guard<std::mutex> lock(jobsLock_);
        if (r_.pieces.size() <= job.index) r_.pieces.resize(job.index + 1);
        r_.pieces[job.index] = std::move(info);
        ++encoded_;
    }

    // With a hundred pieces or more, every name takes as many digits, so
    // that the names sort in the pieces' order.
    bool Number() {
        const std::size_t count = r_.pieces.size();
        for (std::size_t i = 0; i < count; ++i) {
            PieceInfo& p = r_.pieces[i];
            const std::string name = PieceName(i, count, p.format);
            if (name == p.file) continue;
            if (!RenameFile(JoinPath(temp_, p.file), JoinPath(temp_, name)))
                return Error("无法给图片“" + p.file + "”改名");
            p.file = name;
        }
        return true;
    }

    // The sheet is worth having but never worth failing for.
    void MakeSheet() {
        try {
            sheet_ = o_.contactSheet(ContactSheetInput{painter_, r_.cuts, encoder_});
        } catch (const std::bad_alloc&) {
            sheet_.reset();
        }
    }

    bool Texts() {
        Progress(PackStage::Writing, 0);
        HotAreaPlan hot = MapHotAreas(o_.geometry.links, r_.cuts, width_, height_);
        r_.areas = std::move(hot.pieces);
        r_.leftOut = std::move(hot.leftOut);
        if (!WriteWholeFile(JoinPath(temp_, "热区.json"), HotAreasJson(r_.pieces, r_.areas)))
            return Error("写不进文件“热区.json”（磁盘满了，或没有写入权限？）");
        if (!WriteWholeFile(JoinPath(temp_, "说明.txt"), NotesText(r_, o_.rules)))
            return Error("写不进文件“说明.txt”（磁盘满了，或没有写入权限？）");
        return true;
    }

    bool Sheet() {
        if (!o_.contactSheet) return true;
        const bool plain = sheet_ && !sheet_->file.empty() && sheet_->file.find_first_of("/\\:") == std::string::npos &&
                           sheet_->file != "热区.json" && sheet_->file != "说明.txt" &&
                           std::none_of(r_.pieces.begin(), r_.pieces.end(),
                                        [&](const PieceInfo& p) { return p.file == sheet_->file; });
        if (!plain) {
            r_.notes.push_back("没能生成总览图；各张图片不受影响");
            return true;
        }
        if (!WriteWholeFile(JoinPath(temp_, sheet_->file), sheet_->bytes))
            return Error("写不进文件“" + sheet_->file + "”（磁盘满了，或没有写入权限？）");
        return true;
    }

    // The finished folder takes the target's name; an old one steps aside
    // first and goes only once the new one is in place.
    bool Place() {
        std::string old;
        if (FolderExists(r_.folder)) {
            for (int n = 1; n < 100 && old.empty(); ++n) {
                const std::string name = r_.folder + ".旧" + (n > 1 ? std::to_string(n) : std::string());
                if (!FolderExists(name) && !FileSize(name)) old = name;
            }
            if (old.empty() || !RenameSoon(r_.folder, old))
                return Error("无法替换原有的文件夹“" + r_.folder + "”（里面的文件是否正被打开？）");
        }
        if (!RenameSoon(temp_, r_.folder)) {
            if (!old.empty()) RenameSoon(old, r_.folder);
            return Error("无法把生成的图片放进“" + r_.folder + "”");
        }
        made_ = false;
        if (!old.empty() && !RemoveFolderOfFiles(old))
            r_.notes.push_back("原来的文件夹改名为“" + old + "”留在旁边：里面有墨笺没有删除的文件夹或文件");
        return true;
    }

    PagePainter& painter_;
    PieceEncoder& encoder_;
    const PackOptions& o_;
    std::optional<ContactSheetFile> sheet_;
    PackResult r_;
    int width_ = 0, height_ = 0, maxHeight_ = 0;
    FormatChoice choice_ = FormatChoice::Auto;
    std::string temp_;
    std::vector<std::uint32_t> pending_;  // painted rows from the last cut down
    std::mutex jobsLock_;                 // guards what follows, and r_.pieces while encoding
    std::condition_variable jobsReady_;
    std::deque<Job> jobs_;
    std::size_t room_ = 1;  // pieces that may wait before the painting thread encodes one
    bool noMoreJobs_ = false;
    std::atomic<bool> failed_{false};
    std::string error_;
    std::size_t pieceCount_ = 0, encoded_ = 0;
    bool made_ = false;
};

}  // namespace

std::vector<float> RowUniformity(const Raster& band) {
    std::vector<float> out(static_cast<std::size_t>(std::max(0, band.height)), 1.0f);
    if (band.width < 2) return out;
    for (int y = 0; y < band.height; ++y) {
        const std::uint32_t* row = band.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(band.width);
        int changes = 0;
        for (int x = 1; x < band.width; ++x) changes += row[x] != row[x - 1];
        out[static_cast<std::size_t>(y)] = 1.0f - static_cast<float>(changes) / static_cast<float>(band.width - 1);
    }
    return out;
}

bool LooksFlat(const Raster& piece, std::size_t maxColours) {
    // An open-addressed set of the colours seen, stopped as soon as there are
    // too many: a photograph is found out within its first rows.
    std::size_t slots = 64;
    while (slots < maxColours * 2) slots *= 2;
    std::vector<std::uint32_t> seen(slots, 0);
    std::vector<std::uint8_t> used(slots, 0);
    std::size_t colours = 0;
    std::uint32_t last = 0;
    bool any = false;
    for (const std::uint32_t c : piece.pixels) {
        if (any && c == last) continue;  // runs of one colour cost nothing
        any = true;
        last = c;
        std::size_t at = (c * 2654435761u) & (slots - 1);
        while (used[at] && seen[at] != c) at = (at + 1) & (slots - 1);
        if (used[at]) continue;
        if (++colours > maxColours) return false;
        used[at] = 1;
        seen[at] = c;
    }
    return true;
}

std::optional<Encoded> EncodePiece(PieceEncoder& encoder, const Raster& piece, FormatChoice choice,
                                   std::uint64_t maxBytes, int bestQuality, std::string& error) {
    const std::string limit = SizeText(maxBytes);
    std::optional<Encoded> png;
    const auto tryPng = [&]() -> bool {
        auto bytes = encoder.Encode(piece, Format::Png, 0);
        if (!bytes) return false;
        png = Encoded{std::move(*bytes), Format::Png, 0};
        return true;
    };
    if (choice == FormatChoice::Png) {
        if (!tryPng()) {
            error = "PNG 编码失败";
            return std::nullopt;
        }
        if (png->bytes.size() > maxBytes) {
            error = "PNG 图片有 " + SizeText(png->bytes.size()) + "，超过 " + limit + "；请改用 JPG 或自动选择格式";
            return std::nullopt;
        }
        return png;
    }
    // The largest quality that fits, bytes growing with quality: the best
    // quality first (most pieces fit at once), then a binary search below it.
    std::optional<Encoded> jpeg;
    bool failed = false;
    const auto tryJpeg = [&](int q) {
        auto bytes = encoder.Encode(piece, Format::Jpeg, q);
        if (!bytes) failed = true;
        if (!bytes || bytes->size() > maxBytes) return false;
        jpeg = Encoded{std::move(*bytes), Format::Jpeg, q};
        return true;
    };
    const int best = std::clamp(bestQuality, 1, 100);
    if (!tryJpeg(best) && !failed) {
        for (int lo = 1, hi = best - 1; lo <= hi && !failed;) {
            const int q = (lo + hi) / 2;
            if (tryJpeg(q)) lo = q + 1;
            else hi = q - 1;
        }
    }
    if (failed) {
        error = "JPG 编码失败";
        return std::nullopt;
    }
    // PNG only wins on flat graphics (text, fills, drawn shapes) and is slow
    // to encode: a piece of photographs is not tried unless no JPEG fits.
    if (choice == FormatChoice::Auto && (!jpeg || LooksFlat(piece)) && tryPng() && png->bytes.size() <= maxBytes &&
        (!jpeg || png->bytes.size() < jpeg->bytes.size()))
        return png;
    if (!jpeg) {
        error = "即使用最低画质，JPG 图片也超过 " + limit + (choice == FormatChoice::Auto ? "，PNG 也放不下" : "");
        return std::nullopt;
    }
    return jpeg;
}

std::string HotAreasJson(const std::vector<PieceInfo>& pieces, const std::vector<std::vector<HotArea>>& areas) {
    OrderedJson list = OrderedJson::array();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        OrderedJson a = OrderedJson::array();
        if (i < areas.size())
            for (const HotArea& h : areas[i]) a.push_back({{"x", h.x}, {"y", h.y}, {"w", h.w}, {"h", h.h}, {"href", h.href}});
        list.push_back({{"file", pieces[i].file}, {"width", pieces[i].width}, {"height", pieces[i].height}, {"areas", a}});
    }
    const OrderedJson root = {{"format", "mojian-mobile-hot-areas"}, {"version", 1}, {"pictures", list}};
    // An address that is not valid UTF-8 is written with U+FFFD rather than failing the folder.
    return root.dump(2, ' ', false, OrderedJson::error_handler_t::replace) + "\n";
}

std::string NotesText(const PackResult& result, const MobileRules& rules) {
    std::string t = "墨笺 · 手机详情图片\n\n";
    t += "共 " + std::to_string(result.pieces.size()) + " 张，从上到下依次拼成整页：\n";
    std::size_t areaCount = 0;
    for (std::size_t i = 0; i < result.pieces.size(); ++i) {
        const PieceInfo& p = result.pieces[i];
        const std::size_t areas = i < result.areas.size() ? result.areas[i].size() : 0;
        areaCount += areas;
        t += "  " + p.file + "  " + std::to_string(p.width) + "×" + std::to_string(p.height) + " 像素  " +
             SizeText(p.bytes) + "  " +
             (p.format == Format::Jpeg ? "JPG 画质 " + std::to_string(p.quality) : std::string("PNG"));
        if (areas) t += "  热区 " + std::to_string(areas) + " 个";
        t += "\n";
    }
    t += "\n热区（链接）共 " + std::to_string(areaCount) +
         " 个，记在 热区.json 里：每张图片的 areas 列出各个热区，x、y 是左上角，w、h 是宽和高，"
         "都按图片的宽高计（0 到 1），href 是链接地址。\n";
    if (!result.leftOut.empty()) {
        t += "\n以下链接没有做成热区：\n";
        for (const LeftOutLink& l : result.leftOut) t += "  " + l.href + " —— " + l.reason + "\n";
    }
    if (!result.notes.empty()) {
        t += "\n请留意：\n";
        for (const std::string& n : result.notes) t += "  " + n + "\n";
    }
    t += "\n放进手机详情编辑器：\n"
         "  1. 打开宝贝的编辑页，进入手机端描述，删掉不要的旧内容。\n"
         "  2. 按文件名的顺序（01、02、03……）依次添加图片，中间不要插入别的内容，图片就会无缝拼成整页。\n"
         "  3. 在有热区的图片上添加热区：照 热区.json 里的位置画出矩形（比例乘以图片在编辑器里的宽高），填上对应的链接。\n"
         "  4. 保存前用手机预览，看看顺序和链接是否都对。\n";
    t += "\n所依据的规则（" + (rules.sources.empty() ? std::string("墨笺内置") : "核对于 " + rules.sources.front().checked) +
         "）：宽 " + std::to_string(rules.minWidth) + "–" + std::to_string(rules.maxWidth) + " 像素（建议 " +
         std::to_string(rules.recommendedWidth) + "），高不超过 " + std::to_string(rules.maxHeight) + " 像素，每张不超过 " +
         SizeText(rules.maxBytes) + "。这些数字来自卖家工具公开的说明，不是淘宝的官方页面；以编辑器实际的提示为准。\n";
    return WindowsText(t);
}

std::string DefaultFolder(const std::string& projectPath) {
    const std::size_t slash = projectPath.find_last_of("/\\");
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    std::size_t end = projectPath.find_last_of('.');
    if (end == std::string::npos || end <= name) end = projectPath.size();
    if (end == name) return {};
    return projectPath.substr(0, end) + "-手机详情";
}

PackResult Pack(PagePainter& painter, PieceEncoder& encoder, const PackOptions& options) {
    return Packer(painter, encoder, options).Run();
}

}  // namespace mojian::mobile

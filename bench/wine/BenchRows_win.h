// What both Wine harnesses share: QueryPerformanceCounter time, medians,
// the table's rows as TSV (figure, value, bound, ratio, target, met) and
// their command-line options.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mojian::bench {

inline double TicksToMs(LONGLONG ticks) {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(ticks) * 1000.0 / frequency;
}

inline double NowMs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return TicksToMs(t.QuadPart);
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

inline std::string Fixed(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

// ---- The table's rows -----------------------------------------------------------

struct Row {
    std::string figure, value, bound, ratio, target;
    bool met = false;
};

class Rows {
public:
    void Add(Row row) {
        std::printf("%s: %s%s\n", row.figure.c_str(), row.value.c_str(),
                    row.target == "-" ? "" : row.met ? " (met)" : " (missed)");
        std::fflush(stdout);
        rows_.push_back(std::move(row));
    }
    // A time that must stay under `boundMs`.
    void Time(const std::string& figure, const std::vector<double>& ms, double boundMs) {
        const double median = Median(ms);
        Add({figure + " (median of " + std::to_string(ms.size()) + ", worst " + Fixed(Max(ms), 1) + " ms)",
             Fixed(median, 2) + " ms", Fixed(boundMs, 0) + " ms", Fixed(median / boundMs, 2), "< 1",
             median < boundMs});
    }
    void Failure(const std::string& figure, const std::string& why) { Add({figure, "failed: " + why, "-", "-", "-", false}); }
    bool Write(const std::wstring& path) const {
        FILE* f = _wfopen(path.c_str(), L"wb");
        if (!f) return false;
        for (const Row& r : rows_)
            std::fprintf(f, "%s\t%s\t%s\t%s\t%s\t%s\n", r.figure.c_str(), r.value.c_str(), r.bound.c_str(),
                         r.ratio.c_str(), r.target.c_str(), r.target == "-" ? "-" : r.met ? "met" : "missed");
        return std::fclose(f) == 0;
    }
    bool AllMet() const {
        return std::all_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.met; });
    }

private:
    std::vector<Row> rows_;
};

inline std::optional<std::wstring> Option(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (wcscmp(argv[i], name) == 0) return std::wstring(argv[i + 1]);
    return std::nullopt;
}

}  // namespace mojian::bench

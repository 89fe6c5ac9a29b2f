#include "html/TableLayout.h"

#include <algorithm>
#include <vector>

#include "html/BlockLayout.h"

namespace mojian::html {

namespace {

// Places every cell in the grid once: rows, columns and spans.
void BuildGrid(Box& t) {
    if (!t.cells.empty() || t.rows.empty()) return;
    std::vector<std::vector<bool>> taken(t.rows.size());
    int columns = 0;
    // Spans are honoured up to a budget of grid slots, so that a crafted
    // table cannot make the layout quadratic in its size.
    long long budget = 4'000'000;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        int c = 0;
        for (Box* cell : t.rows[r]) {
            while (static_cast<std::size_t>(c) < taken[r].size() && taken[r][static_cast<std::size_t>(c)]) ++c;
            if (c >= kMaxColumns) break;  // beyond any real table; such cells are not shown
            int colSpan = std::min(cell->style->colSpan, kMaxColumns - c);
            int rowSpan = std::min<int>(cell->style->rowSpan, static_cast<int>(t.rows.size() - r));
            if (static_cast<long long>(colSpan) * rowSpan > budget) colSpan = rowSpan = 1;
            budget -= static_cast<long long>(colSpan) * rowSpan;
            for (int rr = 0; rr < rowSpan; ++rr) {
                auto& row = taken[r + static_cast<std::size_t>(rr)];
                if (row.size() < static_cast<std::size_t>(c + colSpan)) row.resize(static_cast<std::size_t>(c + colSpan), false);
                for (int cc = 0; cc < colSpan; ++cc) row[static_cast<std::size_t>(c + cc)] = true;
            }
            t.cells.push_back({cell, static_cast<int>(r), c, rowSpan, colSpan});
            c += colSpan;
            columns = std::max(columns, c);
        }
    }
    t.columns = columns;
}

// The space between cells: none when the table collapses its borders.
float Spacing(const Style& s) { return s.collapseBorders ? 0.0f : s.cellSpacing; }

// What each column asks for, as CSS tables measure columns: its narrowest
// width (min), its preferred one (max), the percentage of the table a cell
// gives it, and whether a cell gives it a width in pixels (constrained);
// border-box widths of the cells.
struct TableColumns {
    std::vector<float> min, max, percent;
    std::vector<bool> constrained, hasCells;
    float spacing = 0;  // total horizontal spacing, padding and borders
    float minTotal = 0, maxTotal = 0;  // the table's border box
};

TableColumns Columns(LayoutContext& ctx, Box& t) {
    BuildGrid(t);
    const Style& s = *t.style;
    TableColumns tc;
    const auto n = static_cast<std::size_t>(t.columns);
    tc.min.assign(n, 0);
    tc.max.assign(n, 0);
    tc.percent.assign(n, 0);
    tc.constrained.assign(n, false);
    tc.hasCells.assign(n, false);
    const float spacing = Spacing(s);
    std::vector<const Cell*> spanning;
    // A cell's outer widths: its content's, within its own min-width, and
    // its width when the column is constrained.
    auto outerMin = [](const Box& cell) {
        const Style& cs = *cell.style;
        float mn = cell.minW;
        if (cs.minWidth.unit == Length::Px) mn = std::max(mn, cs.minWidth.value + (cs.borderBox ? 0 : cs.PaddingH()));
        return mn;
    };
    auto fixedWidth = [](const Box& cell) {
        const Style& cs = *cell.style;
        return cs.width.unit == Length::Px ? std::max(cs.width.value + (cs.borderBox ? 0 : cs.PaddingH()), cs.PaddingH())
                                           : -1.0f;
    };
    for (const Cell& c : t.cells) {
        Intrinsic(ctx, *c.box);
        tc.hasCells[static_cast<std::size_t>(c.col)] = true;
        if (c.colSpan > 1) {
            spanning.push_back(&c);
            continue;
        }
        const auto k = static_cast<std::size_t>(c.col);
        const Style& cs = *c.box->style;
        if (fixedWidth(*c.box) >= 0) tc.constrained[k] = true;
        if (cs.width.unit == Length::Percent) tc.percent[k] = std::max(tc.percent[k], cs.width.value);
    }
    for (const Cell& c : t.cells) {
        if (c.colSpan > 1) continue;
        const auto k = static_cast<std::size_t>(c.col);
        const float mn = outerMin(*c.box);
        const float fixed = fixedWidth(*c.box);
        tc.min[k] = std::max(tc.min[k], mn);
        // In a constrained column the given width stands for the content's preference.
        const float mx = tc.constrained[k] ? std::max(mn, fixed) : std::max(mn, c.box->maxW);
        tc.max[k] = std::max(tc.max[k], mx);
    }
    // Cells spanning several columns, the narrowest spans first: what they
    // need beyond the columns' own widths is shared out as CSS tables share it.
    std::stable_sort(spanning.begin(), spanning.end(), [](const Cell* a, const Cell* b) { return a->colSpan < b->colSpan; });
    for (const Cell* c : spanning) {
        const auto k0 = static_cast<std::size_t>(c->col);
        const auto k1 = std::min(n, k0 + static_cast<std::size_t>(c->colSpan));
        const float inner = spacing * static_cast<float>(k1 - k0 - 1);
        const float fixed = fixedWidth(*c->box);
        const float cellMin = outerMin(*c->box);
        const float cellMax = fixed >= 0 ? std::max(cellMin, fixed) : std::max(cellMin, c->box->maxW);
        float baseMin = 0, baseMax = 0, basePercent = 0;
        for (std::size_t k = k0; k < k1; ++k) {
            baseMin += tc.min[k];
            baseMax += tc.max[k];
            basePercent += tc.percent[k];
        }
        std::vector<float> newMin(tc.min.begin() + static_cast<std::ptrdiff_t>(k0), tc.min.begin() + static_cast<std::ptrdiff_t>(k1));
        std::vector<float> newMax(tc.max.begin() + static_cast<std::ptrdiff_t>(k0), tc.max.begin() + static_cast<std::ptrdiff_t>(k1));
        const float count = static_cast<float>(k1 - k0);
        for (std::size_t k = k0; k < k1; ++k) {
            const std::size_t i = k - k0;
            const float maxShare = baseMax > 0 ? tc.max[k] / baseMax : 1.0f / count;
            const float spread = baseMax - baseMin;
            const float towardsMax = std::clamp(cellMin - baseMin - inner, 0.0f, spread);
            newMin[i] = tc.min[k] + (spread > 0 ? (tc.max[k] - tc.min[k]) / spread : 0.0f) * towardsMax +
                        maxShare * std::max(0.0f, cellMin - baseMax - inner);
            newMax[i] = tc.max[k] + maxShare * std::max(0.0f, cellMax - baseMax - inner);
        }
        for (std::size_t k = k0; k < k1; ++k) {
            tc.min[k] = std::max(tc.min[k], newMin[k - k0]);
            tc.max[k] = std::max({tc.max[k], newMax[k - k0], tc.min[k]});
        }
        const Style& cs = *c->box->style;
        if (cs.width.unit == Length::Percent && basePercent == 0) {
            float weight = 0;
            for (std::size_t k = k0; k < k1; ++k) weight += tc.max[k];
            for (std::size_t k = k0; k < k1; ++k)
                tc.percent[k] = cs.width.value * (weight > 0 ? tc.max[k] / weight : 1.0f / count);
        }
    }
    // The percentages of all columns together stop at 100%.
    float percentLeft = 100;
    for (std::size_t k = 0; k < n; ++k) {
        tc.percent[k] = std::min(tc.percent[k], percentLeft);
        percentLeft -= tc.percent[k];
        tc.max[k] = std::max(tc.max[k], tc.min[k]);
    }
    tc.spacing = n ? spacing * static_cast<float>(n + 1) + s.PaddingH() : s.PaddingH();
    float minSum = 0, maxSum = 0, nonPercentMax = 0, percentSum = 0, percentMax = 0;
    for (std::size_t k = 0; k < n; ++k) {
        minSum += tc.min[k];
        maxSum += tc.max[k];
        if (tc.percent[k] > 0) {
            percentSum += tc.percent[k];
            percentMax = std::max(percentMax, tc.max[k] * 100 / tc.percent[k]);
        } else {
            nonPercentMax += tc.max[k];
        }
    }
    // A table of auto width grows so that its percentage columns get their share.
    if (percentSum > 0) {
        maxSum = std::max(maxSum, percentMax);
        if (percentSum < 100) maxSum = std::max(maxSum, nonPercentMax * 100 / (100 - percentSum));
        else if (nonPercentMax > 0) maxSum = std::max(maxSum, 1000000.0f);
    }
    tc.minTotal = minSum + tc.spacing;
    tc.maxTotal = std::max(maxSum, minSum) + tc.spacing;
    return tc;
}

// The widths of the columns for `assignable` pixels (the table's width
// without spacing, padding and borders): between the four guesses CSS
// tables define, or beyond the widest, the excess shared out by its rules.
std::vector<float> DistributeWidths(const TableColumns& tc, float assignable) {
    const std::size_t n = tc.min.size();
    std::vector<float> guesses[4];
    for (auto& g : guesses) g.assign(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const float percentWidth = std::max(tc.min[k], tc.percent[k] * assignable / 100);
        const bool percent = tc.percent[k] > 0;
        guesses[0][k] = tc.min[k];
        guesses[1][k] = percent ? percentWidth : tc.min[k];
        guesses[2][k] = percent ? percentWidth : tc.constrained[k] ? tc.max[k] : tc.min[k];
        guesses[3][k] = percent ? percentWidth : tc.max[k];
    }
    float sums[4] = {0, 0, 0, 0};
    for (int g = 0; g < 4; ++g)
        for (float w : guesses[g]) sums[g] += w;
    if (assignable <= sums[0]) return guesses[0];
    for (int g = 0; g < 3; ++g) {
        if (assignable > sums[g + 1]) continue;
        const float span = sums[g + 1] - sums[g];
        const float f = span > 0 ? (assignable - sums[g]) / span : 1.0f;
        std::vector<float> out(n);
        for (std::size_t k = 0; k < n; ++k) out[k] = guesses[g][k] + (guesses[g + 1][k] - guesses[g][k]) * f;
        return out;
    }
    // More room than every column wants.
    std::vector<float> out = guesses[3];
    const float excess = assignable - sums[3];
    auto grow = [&](auto allowed, auto weightOf) {
        float weight = 0;
        std::size_t count = 0;
        for (std::size_t k = 0; k < n; ++k)
            if (allowed(k)) {
                weight += weightOf(k);
                ++count;
            }
        if (count == 0) return false;
        for (std::size_t k = 0; k < n; ++k)
            if (allowed(k)) out[k] += weight > 0 ? excess * weightOf(k) / weight : excess / static_cast<float>(count);
        return true;
    };
    auto byMax = [&](std::size_t k) { return tc.max[k]; };
    auto equally = [](std::size_t) { return 0.0f; };
    if (grow([&](std::size_t k) { return !tc.constrained[k] && tc.percent[k] == 0 && tc.hasCells[k] && tc.max[k] > 0; }, byMax)) return out;
    if (grow([&](std::size_t k) { return !tc.constrained[k] && tc.percent[k] == 0 && tc.hasCells[k]; }, equally)) return out;
    if (grow([&](std::size_t k) { return tc.constrained[k] && tc.percent[k] == 0 && tc.max[k] > 0; }, byMax)) return out;
    if (grow([&](std::size_t k) { return tc.percent[k] > 0; }, [&](std::size_t k) { return tc.percent[k]; })) return out;
    if (grow([&](std::size_t k) { return tc.hasCells[k]; }, equally)) return out;
    grow([](std::size_t) { return true; }, equally);
    return out;
}

// Where a cell's baseline is, from its top: its first line's, or the bottom
// of its content box when it has no line.
float CellBaseline(const Box& cell) {
    if (cell.firstBaseline >= 0) return cell.firstBaseline;
    return cell.contentH - cell.style->padding[2] - cell.style->border[2].width;
}

}  // namespace

TableWidths TableContentWidths(LayoutContext& ctx, Box& t) {
    const TableColumns cols = Columns(ctx, t);
    return {cols.minTotal, cols.maxTotal};
}

void LayoutTable(LayoutContext& ctx, Box& t, float cbWidth) {
    const Style& s = *t.style;
    const TableColumns tc = Columns(ctx, t);
    const auto n = static_cast<std::size_t>(t.columns);
    const float ml = MarginPx(t, 3, cbWidth), mr = MarginPx(t, 1, cbWidth);
    float width;
    if (!s.width.IsAuto()) width = std::max(s.width.Resolve(cbWidth), tc.minTotal);
    else width = std::max(tc.minTotal, std::min(tc.maxTotal, cbWidth - ml - mr));
    if (s.maxWidth.unit == Length::Px) width = std::max(tc.minTotal, std::min(width, s.maxWidth.value));
    else if (s.maxWidth.unit == Length::Percent) width = std::max(tc.minTotal, std::min(width, s.maxWidth.Resolve(cbWidth)));
    if (!s.minWidth.IsAuto()) width = std::max(width, s.minWidth.Resolve(cbWidth));
    const std::vector<float> col = DistributeWidths(tc, std::max(0.0f, width - tc.spacing));
    const float spacing = Spacing(s);
    std::vector<float> colX(n + 1, 0);
    colX[0] = s.border[3].width + s.padding[3] + spacing;
    for (std::size_t k = 0; k < n; ++k) colX[k + 1] = colX[k] + col[k] + spacing;

    // Rows: the tallest cell, a row's own height, then spanning cells.
    const std::size_t rows = t.rows.size();
    std::vector<float> rowH(rows, 0);
    std::vector<bool> sized(rows, false);  // a height given to the row or one of its cells
    std::vector<float> above(rows, 0), below(rows, 0);  // cells aligned on their baselines
    for (std::size_t r = 0; r < rows; ++r)
        if (t.rowStyles[r]->height.unit == Length::Px) {
            rowH[r] = t.rowStyles[r]->height.value;
            sized[r] = true;
        }
    for (const Cell& c : t.cells) {
        Box& cb = *c.box;
        const auto k0 = static_cast<std::size_t>(c.col), k1 = k0 + static_cast<std::size_t>(c.colSpan);
        cb.w = colX[std::min(k1, n)] - colX[k0] - spacing;
        cb.forcedWidth = true;
        LayoutBlock(ctx, cb, cb.w, false);
        // A cell's height, like its width, is its content's: padding and borders come on top.
        // In percent it is a share of the table's own height, padding and borders included.
        const Length& ch = cb.style->height;
        if (ch.unit == Length::Px) cb.h = std::max(cb.h, ch.value + cb.style->PaddingV());
        const bool share = ch.unit == Length::Percent && s.height.unit == Length::Px;
        if (share) cb.h = std::max(cb.h, ch.Resolve(s.height.value));
        const auto r = static_cast<std::size_t>(c.row);
        if (c.rowSpan == 1) {
            rowH[r] = std::max(rowH[r], cb.h);
            if (ch.unit == Length::Px || share) sized[r] = true;
        }
        if (cb.style->verticalAlign == VAlign::Baseline) {
            const float base = CellBaseline(cb);
            above[r] = std::max(above[r], base);
            if (c.rowSpan == 1) below[r] = std::max(below[r], cb.h - base);
        }
    }
    for (std::size_t r = 0; r < rows; ++r) rowH[r] = std::max(rowH[r], above[r] + below[r]);
    for (const Cell& c : t.cells) {
        if (c.rowSpan == 1) continue;
        const auto r0 = static_cast<std::size_t>(c.row), r1 = r0 + static_cast<std::size_t>(c.rowSpan);
        float have = spacing * static_cast<float>(c.rowSpan - 1);
        for (std::size_t r = r0; r < r1; ++r) have += rowH[r];
        if (c.box->h > have) rowH[r1 - 1] += c.box->h - have;
    }
    const float extraV = spacing * static_cast<float>(rows + 1) + s.PaddingV();
    float total = extraV;
    for (float h : rowH) total += h;
    if (s.height.unit == Length::Px && s.height.value > total && rows > 0) {
        // Rows sized by their content take the room first, in proportion to
        // their heights; only when there are none do the sized ones.
        const float room2 = s.height.value - total;
        auto share = [&](auto takes) {
            float weight = 0;
            std::size_t count = 0;
            for (std::size_t r = 0; r < rows; ++r)
                if (takes(r)) {
                    weight += rowH[r];
                    ++count;
                }
            if (count == 0) return false;
            for (std::size_t r = 0; r < rows; ++r)
                if (takes(r)) rowH[r] += weight > 0 ? room2 * rowH[r] / weight : room2 / static_cast<float>(count);
            return true;
        };
        if (!share([&](std::size_t r) { return !sized[r] && rowH[r] > 0; })) share([](std::size_t) { return true; });
        total = s.height.value;
    }
    std::vector<float> rowY(rows + 1, 0);
    rowY[0] = s.border[0].width + s.padding[0] + spacing;
    for (std::size_t r = 0; r < rows; ++r) rowY[r + 1] = rowY[r] + rowH[r] + spacing;
    t.rowRects.assign(rows, Rect{});
    for (std::size_t r = 0; r < rows; ++r)
        t.rowRects[r] = Rect{colX[0], rowY[r], colX[n] - colX[0] - spacing, rowH[r]};
    for (const Cell& c : t.cells) {
        Box& cb = *c.box;
        const auto r0 = static_cast<std::size_t>(c.row);
        const auto r1 = r0 + static_cast<std::size_t>(c.rowSpan);
        const float contentH = cb.contentH;
        cb.x = colX[static_cast<std::size_t>(c.col)];
        cb.y = rowY[r0];
        cb.h = rowY[r1] - rowY[r0] - spacing;
        const float room2 = cb.h - contentH;
        switch (cb.style->verticalAlign) {
        case VAlign::Middle: cb.shift = room2 / 2; break;
        case VAlign::Bottom: cb.shift = room2; break;
        case VAlign::Baseline: cb.shift = above[r0] - CellBaseline(cb); break;
        default: cb.shift = 0; break;
        }
        cb.shift = std::max(0.0f, cb.shift);
    }
    t.w = width;
    t.h = total;
    // Right to left, the first column is the rightmost.
    if (s.rtl) {
        for (const Cell& c : t.cells) c.box->x = width - c.box->x - c.box->w;
        for (Rect& r : t.rowRects) r.x = width - r.x - r.w;
    }
}

}  // namespace mojian::html

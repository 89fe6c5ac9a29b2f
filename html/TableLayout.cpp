#include "html/TableLayout.h"

#include <algorithm>
#include <vector>

#include "html/BlockLayout.h"

namespace mojian::html {

namespace {

// Each column's narrowest and widest width, and its fixed and percentage
// width when a cell gives one (negative: none).
struct TableColumns {
    std::vector<float> min, max, fixed, percent;
    float minTotal = 0, maxTotal = 0;  // border box
    float extra = 0;                   // spacing and borders
};

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

TableColumns Columns(LayoutContext& ctx, Box& t) {
    BuildGrid(t);
    const Style& s = *t.style;
    TableColumns tc;
    const auto n = static_cast<std::size_t>(t.columns);
    tc.min.assign(n, 0);
    tc.max.assign(n, 0);
    tc.fixed.assign(n, -1);
    tc.percent.assign(n, -1);
    const float spacing = s.cellSpacing;
    std::vector<const Cell*> spanning;
    for (const Cell& c : t.cells) {
        Intrinsic(ctx, *c.box);
        if (c.colSpan > 1) {
            spanning.push_back(&c);
            continue;
        }
        const auto k = static_cast<std::size_t>(c.col);
        const Style& cs = *c.box->style;
        tc.min[k] = std::max(tc.min[k], c.box->minW);
        tc.max[k] = std::max(tc.max[k], c.box->maxW);
        if (cs.width.unit == Length::Px) tc.fixed[k] = std::max(tc.fixed[k], cs.width.value + cs.PaddingH());
        if (cs.width.unit == Length::Percent) tc.percent[k] = std::max(tc.percent[k], cs.width.value);
    }
    std::stable_sort(spanning.begin(), spanning.end(), [](const Cell* a, const Cell* b) { return a->colSpan < b->colSpan; });
    for (const Cell* c : spanning) {
        const auto k0 = static_cast<std::size_t>(c->col), k1 = k0 + static_cast<std::size_t>(c->colSpan);
        const float inner = spacing * static_cast<float>(c->colSpan - 1);
        // Fixed columns count at their width: a spanning cell only widens
        // the columns when it needs more than they give together.
        auto spread = [&](std::vector<float>& v, float need) {
            float have = inner, weight = 0;
            for (std::size_t k = k0; k < k1; ++k) {
                have += std::max(v[k], tc.fixed[k]);
                weight += std::max(tc.max[k], 0.0f);
            }
            if (need <= have) return;
            const float extra = need - have;
            for (std::size_t k = k0; k < k1; ++k) {
                const float share = weight > 0 ? std::max(tc.max[k], 0.0f) / weight
                                               : 1.0f / static_cast<float>(c->colSpan);
                v[k] = std::max({v[k], tc.fixed[k], 0.0f}) + extra * share;
            }
        };
        spread(tc.min, c->box->minW);
        spread(tc.max, c->box->maxW);
        const Style& cs = *c->box->style;
        if (cs.width.unit == Length::Px) {
            bool anyFixed = false;
            for (std::size_t k = k0; k < k1; ++k) anyFixed = anyFixed || tc.fixed[k] >= 0;
            if (!anyFixed) {
                float weight = 0;
                for (std::size_t k = k0; k < k1; ++k) weight += tc.max[k];
                const float total = cs.width.value + cs.PaddingH() - inner;
                for (std::size_t k = k0; k < k1; ++k)
                    tc.fixed[k] = weight > 0 ? total * tc.max[k] / weight : total / static_cast<float>(c->colSpan);
            }
        }
    }
    tc.extra = spacing * static_cast<float>(n + 1) + s.PaddingH();
    if (n == 0) tc.extra = s.PaddingH();
    for (std::size_t k = 0; k < n; ++k) {
        if (tc.fixed[k] >= 0) tc.max[k] = std::max(tc.min[k], tc.fixed[k]);
        tc.minTotal += tc.min[k];
        tc.maxTotal += tc.max[k];
    }
    tc.minTotal += tc.extra;
    tc.maxTotal += tc.extra;
    return tc;
}

}  // namespace

TableWidths TableContentWidths(LayoutContext& ctx, Box& t) {
    const TableColumns cols = Columns(ctx, t);
    return {cols.minTotal, cols.maxTotal};
}

void LayoutTable(LayoutContext& ctx, Box& t, float cbWidth) {
    const Style& s = *t.style;
    TableColumns tc = Columns(ctx, t);
    const auto n = static_cast<std::size_t>(t.columns);
    const float ml = MarginPx(t, 3, cbWidth), mr = MarginPx(t, 1, cbWidth);
    float width;
    if (!s.width.IsAuto()) width = std::max(s.width.Resolve(cbWidth), tc.minTotal);
    else width = std::max(tc.minTotal, std::min(tc.maxTotal, cbWidth - ml - mr));
    const float avail = std::max(0.0f, width - tc.extra);
    // Column widths: percentages and fixed widths first, then the rest by content.
    std::vector<float> col(n, 0);
    float used = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (tc.percent[k] >= 0) col[k] = std::max(tc.min[k], avail * tc.percent[k] / 100);
        else if (tc.fixed[k] >= 0) col[k] = std::max(tc.min[k], tc.fixed[k]);
        else col[k] = tc.min[k];
        used += col[k];
    }
    float room = avail - used;
    if (room > 0.01f) {
        std::vector<std::size_t> autos;
        for (std::size_t k = 0; k < n; ++k)
            if (tc.percent[k] < 0 && tc.fixed[k] < 0) autos.push_back(k);
        if (!autos.empty()) {
            float grow = 0;
            for (std::size_t k : autos) grow += tc.max[k] - col[k];
            if (grow > 0) {
                const float f = std::min(1.0f, room / grow);
                for (std::size_t k : autos) {
                    const float add = (tc.max[k] - col[k]) * f;
                    col[k] += add;
                    room -= add;
                }
            }
            if (room > 0.01f) {
                float weight = 0;
                for (std::size_t k : autos) weight += col[k];
                for (std::size_t k : autos)
                    col[k] += weight > 0 ? room * col[k] / weight : room / static_cast<float>(autos.size());
            }
        } else {
            float weight = 0;
            for (std::size_t k = 0; k < n; ++k) weight += col[k];
            for (std::size_t k = 0; k < n; ++k)
                col[k] += weight > 0 ? room * col[k] / weight : room / static_cast<float>(n);
        }
    } else if (room < -0.01f) {
        float shrinkable = 0;
        for (std::size_t k = 0; k < n; ++k) shrinkable += col[k] - tc.min[k];
        if (shrinkable > 0) {
            const float f = std::min(1.0f, -room / shrinkable);
            for (std::size_t k = 0; k < n; ++k) col[k] -= (col[k] - tc.min[k]) * f;
        }
    }
    const float spacing = s.cellSpacing;
    std::vector<float> colX(n + 1, 0);
    colX[0] = s.border[3].width + s.padding[3] + spacing;
    for (std::size_t k = 0; k < n; ++k) colX[k + 1] = colX[k] + col[k] + spacing;

    // Rows: the tallest cell, a row's own height, then spanning cells.
    const std::size_t rows = t.rows.size();
    std::vector<float> rowH(rows, 0);
    for (std::size_t r = 0; r < rows; ++r)
        if (t.rowStyles[r]->height.unit == Length::Px) rowH[r] = t.rowStyles[r]->height.value;
    for (const Cell& c : t.cells) {
        Box& cb = *c.box;
        const auto k0 = static_cast<std::size_t>(c.col), k1 = k0 + static_cast<std::size_t>(c.colSpan);
        cb.w = colX[std::min(k1, n)] - colX[k0] - spacing;
        cb.forcedWidth = true;
        LayoutBlock(ctx, cb, cb.w, false);
        // A cell's height, like its width, is its content's: padding and borders come on top.
        if (cb.style->height.unit == Length::Px) cb.h = std::max(cb.h, cb.style->height.value + cb.style->PaddingV());
        if (c.rowSpan == 1) rowH[static_cast<std::size_t>(c.row)] = std::max(rowH[static_cast<std::size_t>(c.row)], cb.h);
    }
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
        float weight = 0;
        for (float h : rowH) weight += h;
        const float room2 = s.height.value - total;
        for (float& h : rowH) h += weight > 0 ? room2 * h / weight : room2 / static_cast<float>(rows);
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
        default: cb.shift = 0; break;
        }
        cb.shift = std::max(0.0f, cb.shift);
    }
    t.w = width;
    t.h = total;
}

}  // namespace mojian::html

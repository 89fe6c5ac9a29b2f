#include "html/PictureLayout.h"

#include <algorithm>
#include <limits>

#include "base/Utf.h"

namespace mojian::html {

namespace {

constexpr float kNone = std::numeric_limits<float>::infinity();

bool IsInline(const Style& s) { return s.display == Display::Inline && s.floating == Float::None; }

// The width and height CSS gives a replaced element with natural size
// (w, h) under min- and max- constraints, proportions kept where it can.
std::pair<float, float> Constrain(float w, float h, float minW, float maxW, float minH, float maxH) {
    maxW = std::max(minW, maxW);
    maxH = std::max(minH, maxH);
    if (w <= 0 || h <= 0) return {std::clamp(w, minW, maxW), std::clamp(h, minH, maxH)};
    const bool wideOver = w > maxW, wideUnder = w < minW, highOver = h > maxH, highUnder = h < minH;
    if (wideOver && highOver) {
        if (maxW / w <= maxH / h) return {maxW, std::max(minH, maxW * h / w)};
        return {std::max(minW, maxH * w / h), maxH};
    }
    if (wideUnder && highUnder) {
        if (minW / w <= minH / h) return {std::min(maxW, minH * w / h), minH};
        return {minW, std::min(maxH, minW * h / w)};
    }
    if (wideUnder && highOver) return {minW, maxH};
    if (wideOver && highUnder) return {maxW, minH};
    if (wideOver) return {maxW, std::max(maxW * h / w, minH)};
    if (wideUnder) return {minW, std::min(minW * h / w, maxH)};
    if (highOver) return {std::max(maxH * w / h, minW), maxH};
    if (highUnder) return {std::min(minH * w / h, maxW), minH};
    return {w, h};
}

}  // namespace

PicturePlan PlanPicture(LayoutContext& ctx, const Node& img, Style& s) {
    PicturePlan plan;
    const std::string* src = img.Attr("src");
    const std::string* alt = img.Attr("alt");
    const bool hasSrc = src && src->find_first_not_of(" \t\r\n\f") != std::string::npos;
    const bool hasAlt = alt && !alt->empty();
    const bool quirks = ctx.GetCompat() == Compat::Quirks;
    // Both sides given, or one and the attributes' proportions for the other.
    auto bothSides = [&] {
        const bool w = !s.width.IsAuto(), h = !s.height.IsAuto();
        return (w && h) || (s.aspectRatio > 0 && (w || h));
    };
    // With both sides given and nothing to show in its place, the box is the
    // same whether the picture loads, arrives or fails.
    if (hasSrc) plan.info = ctx.QueryPicture(*src, !(bothSides() && (quirks || !hasAlt)));
    // Without an address and without words to show in its place, a picture
    // is an empty box of whatever size the page gives, like one that is loading.
    if (!hasSrc && !hasAlt) plan.info = PictureInfo{PictureInfo::State::Loading, 0, 0};
    if (plan.info.state != PictureInfo::State::Failed) return plan;

    // It cannot be shown. Old documents make a broken picture with one side
    // given square; every document keeps a broken picture with both sides
    // given as a framed box of that size when it has no alt text (or always,
    // in quirks mode); otherwise the alt text stands in its place.
    if (quirks) {
        if (!s.width.IsAuto() && s.height.IsAuto()) s.height = s.width;
        else if (!s.height.IsAuto() && s.width.IsAuto()) s.width = s.height;
    }
    if (bothSides() && (quirks || !hasAlt)) {
        plan.broken = true;
        return plan;
    }
    plan.show = PicturePlan::Show::Fallback;
    plan.icon = !alt || hasAlt;  // alt="" shows nothing at all
    if (hasAlt) plan.alt = Utf8ToUtf16(*alt);
    // Inline, the fallback is as wide as its words whatever size the page
    // gave; otherwise it keeps the page's size and clips what does not fit.
    if (IsInline(s)) {
        s.width = s.height = Length{};
        s.aspectRatio = 0;
    } else {
        s.overflowHidden = true;
    }
    return plan;
}

std::pair<float, float> PictureSize(const Box& b, float cbWidth, float cbHeight) {
    const Style& s = *b.style;
    const float extraW = s.PaddingH(), extraH = s.PaddingV();
    auto widthOf = [&](const Length& l, float ifAuto) {
        if (l.IsAuto() || (l.unit == Length::Percent && cbWidth < 0)) return ifAuto;
        const float v = l.Resolve(cbWidth);
        return s.borderBox ? std::max(0.0f, v - extraW) : v;
    };
    auto heightOf = [&](const Length& l, float ifAuto) {
        if (l.IsAuto() || (l.unit == Length::Percent && cbHeight < 0)) return ifAuto;
        const float v = l.Resolve(cbHeight);
        return s.borderBox ? std::max(0.0f, v - extraH) : v;
    };
    const float minW = widthOf(s.minWidth, 0), maxW = widthOf(s.maxWidth, kNone);
    const float minH = heightOf(s.minHeight, 0), maxH = heightOf(s.maxHeight, kNone);
    const float givenW = widthOf(s.width, -1), givenH = heightOf(s.height, -1);

    const PictureInfo& p = b.picture;
    const bool natural = p.state == PictureInfo::State::Ready && p.width > 0 && p.height > 0;
    // A picture's own size is in CSS pixels.
    const float nw = natural ? static_cast<float>(p.width) * s.zoom : 0, nh = natural ? static_cast<float>(p.height) * s.zoom : 0;
    const float ratio = natural ? nw / nh : s.aspectRatio;

    float w, h;
    if (givenW >= 0 && givenH >= 0) {
        w = std::clamp(givenW, minW, std::max(minW, maxW));
        h = std::clamp(givenH, minH, std::max(minH, maxH));
    } else if (givenW >= 0) {
        w = std::clamp(givenW, minW, std::max(minW, maxW));
        h = std::clamp(ratio > 0 ? w / ratio : nh, minH, std::max(minH, maxH));
    } else if (givenH >= 0) {
        h = std::clamp(givenH, minH, std::max(minH, maxH));
        w = std::clamp(ratio > 0 ? h * ratio : nw, minW, std::max(minW, maxW));
    } else if (natural) {
        std::tie(w, h) = Constrain(nw, nh, minW, maxW, minH, maxH);
    } else {
        w = std::clamp(0.0f, minW, std::max(minW, maxW));
        h = std::clamp(ratio > 0 ? w / ratio : 0.0f, minH, std::max(minH, maxH));
    }
    return {w + extraW, h + extraH};
}

std::u16string AltText(const Box& b) {
    const std::string* alt = b.node ? b.node->Attr("alt") : nullptr;
    return alt ? Utf8ToUtf16(*alt) : std::u16string();
}

}  // namespace mojian::html

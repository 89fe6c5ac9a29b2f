#include "import/Match.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <queue>
#include <set>
#include <tuple>

#include "catalogue/Catalogue.h"

namespace mojian::import {

namespace {

// Stretches are compared by a polynomial hash over the bytes (modulo 2^64)
// before their bytes are: with the hash of the text up to every cut, the
// hash of any stretch between two cuts costs two multiplications, so
// matching ninety blocks at every cut stays in proportion to the page.
constexpr std::uint64_t kBase = 0x100000001B3ull;

std::uint64_t HashOf(std::string_view s) {
    std::uint64_t h = 0;
    for (const char c : s) h = h * kBase + static_cast<unsigned char>(c);
    return h;
}

std::uint64_t Power(std::uint64_t base, std::size_t exponent) {
    std::uint64_t result = 1;
    for (; exponent; exponent >>= 1, base *= base)
        if (exponent & 1) result *= base;
    return result;
}

bool IsBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; });
}

// What a stretch may become, as one number that orders them: the built-in
// blocks by kind and style, then the seller's blocks in the order given.
// Where one stretch is several of them the lowest wins, so a built-in block
// beats a seller's block of the same text: its line follows the block as
// edited in the run, and the page needs no copy of it to stay whole on a PC
// without the seller's folder.
constexpr std::size_t kFirstMine = static_cast<std::size_t>(kKindCount) * kMaxStyles;

std::size_t RankOf(BlockId id) { return static_cast<std::size_t>(id.kind) * kMaxStyles + static_cast<std::size_t>(id.style); }

Segment SegmentOf(std::size_t begin, std::size_t end, std::size_t rank) {
    if (rank >= kFirstMine) return {begin, end, std::nullopt, rank - kFirstMine};
    return {begin, end, BlockId{static_cast<int>(rank / kMaxStyles), static_cast<int>(rank % kMaxStyles)}, std::nullopt};
}

struct Candidate {
    std::uint64_t hash;
    std::size_t rank;
    std::string_view text;
};

struct Match {
    std::size_t from, to;  // cut indexes
    std::size_t rank;
    bool IsMine() const { return rank >= kFirstMine; }
};

std::vector<Match> FindMatches(std::string_view text, const std::vector<std::size_t>& cuts,
                               const BlockTextSource& blockText, const std::vector<MineBlock>& mine) {
    // The blocks by length; a block is hashed only once a stretch of its
    // length turns up between two cuts.
    std::map<std::size_t, std::vector<Candidate>> byLength;
    for (int k = 0; k < kKindCount; ++k) {
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) {
            const std::string_view block = blockText(k, s);
            if (block.empty() || block.size() > text.size()) continue;
            byLength[block.size()].push_back({0, RankOf({k, s}), block});
        }
    }
    // A page holds one copy per name: a second block of a name already
    // taken (a file copied by hand into the folder) could not come back
    // byte for byte, so only the first of a name counts. A block of blank
    // space alone would take every empty line between paragraphs.
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        const MineBlock& block = mine[i];
        if (block.name.empty() || !names.insert(block.name).second) continue;
        if (IsBlank(block.html) || block.html.size() > text.size()) continue;
        byLength[block.html.size()].push_back({0, kFirstMine + i, block.html});
    }
    std::vector<std::uint64_t> prefix;

    std::vector<Match> matches;
    for (auto& [length, candidates] : byLength) {
        bool hashed = false;
        std::uint64_t shift = 0;
        std::size_t j = 0;
        for (std::size_t i = 0; i < cuts.size() && cuts[i] + length <= text.size(); ++i) {
            const std::size_t want = cuts[i] + length;
            while (j < cuts.size() && cuts[j] < want) ++j;
            if (j == cuts.size()) break;
            if (cuts[j] != want) continue;
            if (prefix.empty()) {
                prefix.resize(cuts.size());
                std::uint64_t h = 0;
                for (std::size_t c = 0, pos = 0; c < cuts.size(); ++c) {
                    for (; pos < cuts[c]; ++pos) h = h * kBase + static_cast<unsigned char>(text[pos]);
                    prefix[c] = h;
                }
            }
            if (!hashed) {
                for (Candidate& c : candidates) c.hash = HashOf(c.text);
                std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
                    return std::tie(a.hash, a.rank) < std::tie(b.hash, b.rank);
                });
                shift = Power(kBase, length);
                hashed = true;
            }
            const std::uint64_t stretch = prefix[j] - prefix[i] * shift;
            auto c = std::lower_bound(candidates.begin(), candidates.end(), stretch,
                                      [](const Candidate& a, std::uint64_t v) { return a.hash < v; });
            for (; c != candidates.end() && c->hash == stretch; ++c)
                if (text.compare(cuts[i], length, c->text) == 0) matches.push_back({i, j, c->rank});
        }
    }
    std::sort(matches.begin(), matches.end(),
              [](const Match& a, const Match& b) { return std::tie(a.from, a.rank) < std::tie(b.from, b.rank); });
    return matches;
}

// The best choice from each cut on: the most bytes in blocks, then the
// fewest lines, then the fewest of the seller's blocks (built-in ones need
// no copy in the page).
struct Choice {
    std::size_t covered = 0;
    std::size_t lines = 0;
    std::size_t mines = 0;
    const Match* match = nullptr;  // nothing: the piece up to the next cut is custom
    bool Beats(const Choice& other) const {
        return std::tuple(other.covered, lines, mines) < std::tuple(covered, other.lines, other.mines);
    }
};

std::vector<Segment> BestSegments(const std::vector<std::size_t>& cuts, const std::vector<Match>& matches) {
    const std::size_t m = cuts.size() - 1;  // pieces
    std::vector<Choice> best(cuts.size());
    std::size_t next = matches.size();  // matches are sorted by their first cut; walked from the back
    for (std::size_t i = m; i-- > 0;) {
        Choice choice{best[i + 1].covered, best[i + 1].lines + 1, best[i + 1].mines, nullptr};
        std::size_t first = next;
        while (first > 0 && matches[first - 1].from == i) --first;
        for (std::size_t k = first; k < next; ++k) {
            const Match& match = matches[k];
            const Choice taken{best[match.to].covered + (cuts[match.to] - cuts[i]), best[match.to].lines + 1,
                               best[match.to].mines + (match.IsMine() ? 1 : 0), &match};
            if (taken.Beats(choice)) choice = taken;
        }
        next = first;
        best[i] = choice;
    }
    std::vector<Segment> segments;
    for (std::size_t i = 0; i < m;) {
        if (const Match* match = best[i].match) {
            segments.push_back(SegmentOf(cuts[i], cuts[match->to], match->rank));
            i = match->to;
        } else {
            segments.push_back({cuts[i], cuts[i + 1], std::nullopt, std::nullopt});
            ++i;
        }
    }
    return segments;
}

// A blank custom piece (an empty line between paragraphs) is no source of
// its own: it joins the custom piece before it, or else the one after it.
std::vector<Segment> JoinBlankPieces(std::string_view text, std::vector<Segment> segments) {
    std::vector<Segment> joined;
    joined.reserve(segments.size());
    for (std::size_t s = 0; s < segments.size(); ++s) {
        const Segment& seg = segments[s];
        if (seg.IsCustom() && IsBlank(text.substr(seg.begin, seg.end - seg.begin))) {
            if (!joined.empty() && joined.back().IsCustom()) {
                joined.back().end = seg.end;
                continue;
            }
            if (s + 1 < segments.size() && segments[s + 1].IsCustom()) {
                segments[s + 1].begin = seg.begin;
                continue;
            }
        }
        joined.push_back(seg);
    }
    return joined;
}

// Merges neighbouring custom sources until no more than `limit` remain
// (at least 1): the pair with the fewest blocks between first, then the
// smallest; blocks between a merged pair go into its text.
std::vector<Segment> MergeCustoms(std::vector<Segment> segments, std::size_t limit) {
    struct Run {
        std::size_t first, last;  // segment indexes the custom source spans
        std::size_t prev, next;   // neighbouring runs, or kNoRun
        unsigned version = 0;
        bool alive = true;
    };
    constexpr std::size_t kNoRun = SIZE_MAX;
    std::vector<Run> runs;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        if (!segments[s].IsCustom()) continue;
        const std::size_t index = runs.size();
        runs.push_back({s, s, index == 0 ? kNoRun : index - 1, kNoRun});
        if (index > 0) runs[index - 1].next = index;
    }
    std::size_t count = runs.size();
    if (count <= limit) return segments;

    struct Pair {
        std::size_t blocks, bytes, left, right;
        unsigned leftVersion, rightVersion;
        bool operator>(const Pair& o) const {
            return std::tie(blocks, bytes, left) > std::tie(o.blocks, o.bytes, o.left);
        }
    };
    std::priority_queue<Pair, std::vector<Pair>, std::greater<>> pairs;
    const auto push = [&](std::size_t left) {
        if (left == kNoRun || runs[left].next == kNoRun) return;
        const Run& a = runs[left];
        const Run& b = runs[a.next];
        pairs.push({b.first - a.last - 1, segments[b.last].end - segments[a.first].begin, left, a.next, a.version,
                    b.version});
    };
    for (std::size_t r = 0; r + 1 < runs.size(); ++r) push(r);
    while (count > limit && !pairs.empty()) {
        const Pair p = pairs.top();
        pairs.pop();
        Run& a = runs[p.left];
        Run& b = runs[p.right];
        if (!a.alive || !b.alive || a.version != p.leftVersion || b.version != p.rightVersion || a.next != p.right)
            continue;
        a.last = b.last;
        a.next = b.next;
        if (b.next != kNoRun) runs[b.next].prev = p.left;
        b.alive = false;
        ++a.version;
        --count;
        push(a.prev);
        push(p.left);
    }

    std::vector<Segment> merged;
    std::size_t s = 0;
    for (const Run& run : runs) {
        if (!run.alive) continue;
        for (; s < run.first; ++s) merged.push_back(segments[s]);
        merged.push_back({segments[run.first].begin, segments[run.last].end, std::nullopt, std::nullopt});
        s = run.last + 1;
    }
    for (; s < segments.size(); ++s) merged.push_back(segments[s]);
    return merged;
}

}  // namespace

std::optional<Segmentation> ChooseSegments(std::string_view text, const std::vector<std::size_t>& cuts,
                                           const BlockTextSource& blockText, std::size_t customLimit,
                                           const std::vector<MineBlock>& mine) {
    Segmentation result;
    if (cuts.size() < 2) return result;
    std::vector<Segment> segments =
        JoinBlankPieces(text, BestSegments(cuts, FindMatches(text, cuts, blockText, mine)));
    const bool needsCustom = std::any_of(segments.begin(), segments.end(), [](const Segment& s) { return s.IsCustom(); });
    if (needsCustom && customLimit == 0) return std::nullopt;
    const auto count = [](const std::vector<Segment>& of, bool mines) {
        return static_cast<std::size_t>(std::count_if(of.begin(), of.end(), [mines](const Segment& s) {
            return mines ? s.mine.has_value() : s.block.has_value();
        }));
    };
    const std::size_t blocks = count(segments, false), mines = count(segments, true);
    result.segments = MergeCustoms(std::move(segments), customLimit);
    result.absorbedBlocks = blocks - count(result.segments, false);
    result.absorbedMine = mines - count(result.segments, true);
    return result;
}

}  // namespace mojian::import

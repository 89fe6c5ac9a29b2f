#include "fill/Fill.h"

#include <algorithm>
#include <map>

namespace mojian::fill {

namespace {

Spaces SpacesOf(const Field& f) {
    if (f.kind != FieldKind::Text) return Spaces::Keep;
    return f.keepsLineBreaks ? Spaces::Lines : Spaces::Collapse;
}

// The whole value of `f` written as `value` would be.
std::string Written(const Field& f, std::string_view value) {
    return f.kind == FieldKind::Text ? std::string(value) : AddressAsWritten(value);
}

SourceEdit WholeEdit(const Field& f, std::string_view written) {
    if (f.kind == FieldKind::Text) return {f.range, EscapeText(written, f.keepsLineBreaks)};
    if (f.missingAttribute) return {f.range, " src" + EscapeAttribute(written, html::Quote::None)};
    return {f.range, EscapeAttribute(written, f.quote)};
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Folded(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Fold(c);
    return out;
}

// The edits replacing the matches inside one field.
void ReplaceInField(std::string_view html, const Field& f, std::span<const FieldMatch> matches,
                    std::string_view replacement, std::vector<SourceEdit>& edits) {
    if (matches.empty()) return;
    const std::string piece =
        f.kind == FieldKind::Text ? std::string(replacement) : AddressAsWritten(replacement, f.localFile);
    // The value as it will read, for writing the field whole.
    std::string whole;
    std::size_t at = 0;
    for (const FieldMatch& m : matches) {
        whole.append(f.value, at, m.begin - at);
        whole += piece;
        at = m.end;
    }
    whole.append(f.value, at);

    // A match may start or end inside a character reference or a run of
    // white space; the replacement then takes in the whole of it. Where two
    // matches would take in the same bytes, or the value cannot be mapped
    // back, the field is written whole.
    const DecodedText decoded = DecodeText(html, f.range, SpacesOf(f));
    std::vector<SourceEdit> own;
    bool wholeNeeded = decoded.text != f.value || f.missingAttribute || f.quote == html::Quote::None;
    std::size_t rawEnd = f.range.begin;
    for (const FieldMatch& m : matches) {
        if (wholeNeeded) break;
        std::string head, tail;
        const html::SourceRange raw = decoded.RawRange(m.begin, m.end, &head, &tail);
        if (raw.begin < rawEnd || raw.end < raw.begin) {
            wholeNeeded = true;
            break;
        }
        rawEnd = raw.end;
        const std::string text = head + piece + tail;
        if (f.kind == FieldKind::Text) own.push_back({raw, EscapeText(text, f.keepsLineBreaks)});
        else own.push_back({raw, EscapeAttribute(text, f.quote == html::Quote::Single ? html::Quote::Single
                                                                                        : html::Quote::Double)});
    }
    if (!wholeNeeded && f.quote == html::Quote::Unquoted && f.kind != FieldKind::Text) {
        // The value stays unquoted only if what it becomes can.
        std::string raw;
        std::size_t from = f.range.begin;
        for (const SourceEdit& e : own) {
            raw.append(html.substr(from, e.range.begin - from));
            raw += e.text;
            from = e.range.end;
        }
        raw.append(html.substr(from, f.range.end - from));
        if (!SafeUnquoted(raw)) wholeNeeded = true;
    }
    if (wholeNeeded) {
        edits.push_back(WholeEdit(f, whole));
        return;
    }
    edits.insert(edits.end(), own.begin(), own.end());
}

}  // namespace

std::vector<SourceEdit> FillEdits(const FieldSet& set, std::span<const FieldValue> values) {
    std::map<std::size_t, std::string_view> latest;
    for (const FieldValue& v : values)
        if (v.field < set.fields.size()) latest[v.field] = v.value;
    std::vector<SourceEdit> edits;
    edits.reserve(latest.size());
    for (const auto& [index, value] : latest) {
        const Field& f = set.fields[index];
        const std::string written = Written(f, value);
        if (written == f.value) continue;
        if (f.missingAttribute && written.empty()) continue;
        edits.push_back(WholeEdit(f, written));
    }
    return edits;
}

std::string FillFields(std::string_view html, const FieldSet& set, std::span<const FieldValue> values) {
    return ApplyEdits(html, FillEdits(set, values));
}

std::vector<FieldMatch> MatchFields(const FieldSet& set, const FindQuery& query) {
    std::vector<FieldMatch> matches;
    if (query.text.empty()) return matches;
    const std::string needle = query.matchCase ? query.text : Folded(query.text);
    for (std::size_t i = 0; i < set.fields.size(); ++i) {
        const Field& f = set.fields[i];
        if (f.kind != query.kind || f.value.size() < needle.size()) continue;
        const std::string folded = query.matchCase ? std::string() : Folded(f.value);
        const std::string_view hay = query.matchCase ? std::string_view(f.value) : std::string_view(folded);
        for (std::size_t at = hay.find(needle); at != std::string_view::npos; at = hay.find(needle, at + needle.size()))
            matches.push_back({i, at, at + needle.size()});
    }
    return matches;
}

std::vector<SourceEdit> ReplaceEdits(std::string_view html, const FieldSet& set,
                                     std::span<const FieldMatch> matches, std::string_view replacement) {
    std::vector<SourceEdit> edits;
    std::size_t i = 0;
    while (i < matches.size()) {
        std::size_t j = i;
        while (j < matches.size() && matches[j].field == matches[i].field) ++j;
        if (matches[i].field < set.fields.size())
            ReplaceInField(html, set.fields[matches[i].field], matches.subspan(i, j - i), replacement, edits);
        i = j;
    }
    return edits;
}

}  // namespace mojian::fill

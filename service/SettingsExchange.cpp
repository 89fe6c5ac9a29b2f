#include "service/SettingsExchange.h"

#include <charconv>

#include "base/Gbk.h"
#include "base/Utf.h"

namespace mojian {

namespace {

constexpr char kJoin = 'A';
constexpr int kUnencodable = '?';

// The code of one character, given as UTF-8.
int CharCode(std::string_view oneChar) {
    const std::string gbk = Utf8ToGbk(oneChar);
    const auto* b = reinterpret_cast<const unsigned char*>(gbk.data());
    if (gbk.size() == 1) return b[0];
    if (gbk.size() == 2) return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] << 8 | b[1]));
    return kUnencodable;  // written as a character reference: no GBK code
}

std::vector<std::string_view> Split(std::string_view text, std::string_view sep) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(sep, from);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(from));
            return parts;
        }
        parts.push_back(text.substr(from, at - from));
        from = at + sep.size();
    }
}

}  // namespace

std::string EncodeField(std::string_view utf8) {
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        NextCodePoint(utf8, pos);
        if (!out.empty()) out += kJoin;
        out += std::to_string(CharCode(utf8.substr(start, pos - start)));
    }
    return out;
}

std::string EncodeField(long long number) { return EncodeField(std::to_string(number)); }

std::optional<std::string> DecodeFieldToGbk(std::string_view encoded) {
    std::string bytes;
    if (encoded.empty()) return bytes;
    for (const std::string_view piece : Split(encoded, std::string_view(&kJoin, 1))) {
        // from_chars takes a leading minus but no plus, blanks or other junk;
        // six characters are enough for any code and stop absurd numbers early.
        if (piece.empty() || piece.size() > 6) return std::nullopt;
        int value = 0;
        const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (ec != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
        if (piece.size() > 1 && (piece[0] == '0' || (piece[0] == '-' && piece[1] == '0'))) return std::nullopt;
        if (value >= 0 && value <= 255) {
            bytes += static_cast<char>(value);
        } else if (value >= -32768 && value < 0) {
            const auto code = static_cast<std::uint16_t>(value);
            const auto lead = static_cast<unsigned char>(code >> 8);
            const auto trail = static_cast<unsigned char>(code & 0xFF);
            if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail == 0x7F || trail == 0xFF) return std::nullopt;
            bytes += static_cast<char>(lead);
            bytes += static_cast<char>(trail);
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::string SettingsRequestBody() {
    return "zc=" + EncodeField(1) + "&sql=" + EncodeField(kSettingsStatement);
}

std::vector<std::string> ParseSettingsAnswer(std::string_view answer) {
    const auto records = Split(answer, kRecordSeparator);
    if (records.size() < 2 || records[1].empty()) return {};
    std::vector<std::string> fields;
    for (const std::string_view f : Split(records[1], kFieldSeparator)) fields.emplace_back(f);
    return fields;
}

RequestVerdict JudgeRequestBody(std::string_view body) {
    std::optional<std::string_view> zc, sql;
    for (const std::string_view pair : Split(body, "&")) {
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos) return RequestVerdict::Malformed;
        const std::string_view key = pair.substr(0, eq);
        if (key != "zc" && key != "sql") return RequestVerdict::Malformed;
        auto& slot = key == "zc" ? zc : sql;
        if (slot) return RequestVerdict::Malformed;  // a field given twice
        slot = pair.substr(eq + 1);
    }
    if (!zc || !sql) return RequestVerdict::Malformed;
    const auto number = DecodeFieldToGbk(*zc);
    const auto statement = DecodeFieldToGbk(*sql);
    if (!number || !statement) return RequestVerdict::Malformed;
    if (*number != "1" || *statement != Utf8ToGbk(kSettingsStatement)) return RequestVerdict::Refused;
    return RequestVerdict::SystemSettings;
}

std::string FormatSettingsAnswer(const std::vector<std::string>& fields) {
    std::string out = "ok";
    out += kRecordSeparator;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += kFieldSeparator;
        out += fields[i];
    }
    return out;
}

bool IsStorableFieldValue(std::string_view utf8) {
    if (utf8.size() > 2000) return false;
    if (utf8.find(kFieldSeparator) != std::string_view::npos) return false;
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x20) return false;  // control characters have no place in an address
    }
    // Every character must survive the trip through GBK unchanged (one that
    // GBK cannot hold comes back as a character reference).
    return GbkToUtf8(Utf8ToGbk(utf8)) == utf8;
}

}  // namespace mojian

#include "myblocks/BlockScan.h"

#include <cstdint>

namespace mojian::myblocks {

namespace {

// Deeper than ours are, and shallow enough that the full parser's own limit
// is never in play.
constexpr int kMaxScanDepth = 8;
// Whole numbers this short are whole numbers to every reader; anything
// longer, with a fraction or an exponent, goes to the full parser.
constexpr std::size_t kMaxDigits = 9;

class Scanner {
public:
    explicit Scanner(std::string_view text) : s_(text) {}

    std::optional<ScannedBlock> Block() {
        SkipSpace();
        if (!Take('{')) return std::nullopt;
        ScannedBlock block;
        SkipSpace();
        if (!Take('}')) {
            for (;;) {
                std::string key;
                SkipSpace();
                if (!String(&key)) return std::nullopt;
                SkipSpace();
                if (!Take(':')) return std::nullopt;
                SkipSpace();
                if (!Member(key, block)) return std::nullopt;
                SkipSpace();
                if (Take(',')) continue;
                if (Take('}')) break;
                return std::nullopt;
            }
        }
        SkipSpace();
        if (pos_ != s_.size()) return std::nullopt;
        return block;
    }

private:
    bool Member(const std::string& key, ScannedBlock& block) {
        std::optional<std::string>* field = key == "format" ? &block.format
                                            : key == "name"   ? &block.name
                                            : key == "saved"  ? &block.saved
                                            : key == "source" ? &block.source
                                            : key == "html"   ? &block.html
                                                              : nullptr;
        if (field) {
            if (field->has_value() || Peek() != '"') return false;
            std::string& text = field->emplace();
            if (field == &block.html) text.reserve(s_.size() - pos_);  // the most of the file, in one piece
            return String(&text);
        }
        if (key == "version") {
            if (seenVersion_) return false;
            seenVersion_ = true;
            return Integer(block.version);
        }
        return Value(1);
    }

    char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
    bool Take(char c) {
        if (Peek() != c || pos_ >= s_.size()) return false;
        ++pos_;
        return true;
    }
    void SkipSpace() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    unsigned char Byte(std::size_t at) const { return at < s_.size() ? static_cast<unsigned char>(s_[at]) : 0; }

    bool Value(int depth) {
        if (depth > kMaxScanDepth) return false;
        const char c = Peek();
        if (c == '"') return String(nullptr);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++pos_;
            SkipSpace();
            if (Take(close)) return true;
            for (;;) {
                SkipSpace();
                if (c == '{') {
                    if (!String(nullptr)) return false;
                    SkipSpace();
                    if (!Take(':')) return false;
                    SkipSpace();
                }
                if (!Value(depth + 1)) return false;
                SkipSpace();
                if (Take(',')) continue;
                return Take(close);
            }
        }
        for (const std::string_view word : {"true", "false", "null"})
            if (s_.substr(pos_, word.size()) == word) {
                pos_ += word.size();
                return true;
            }
        std::optional<long long> ignored;
        return Integer(ignored);
    }

    // -?(0|[1-9][0-9]*) of at most kMaxDigits digits, and nothing of a
    // fraction or exponent after it.
    bool Integer(std::optional<long long>& out) {
        const bool negative = Take('-');
        const std::size_t first = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
        const std::size_t digits = pos_ - first;
        if (digits == 0 || digits > kMaxDigits || (digits > 1 && s_[first] == '0')) return false;
        const char after = Peek();
        if (after == '.' || after == 'e' || after == 'E') return false;
        long long value = 0;
        for (std::size_t i = first; i < pos_; ++i) value = value * 10 + (s_[i] - '0');
        out = negative ? -value : value;
        return true;
    }

    int Hex4() {
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = Peek();
            int digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else return -1;
            value = value * 16 + digit;
            ++pos_;
        }
        return value;
    }

    static void Append(std::string* out, char32_t cp) {
        if (!out) return;
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | (cp >> 6));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += static_cast<char>(0xE0 | (cp >> 12));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (cp >> 18));
            *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // The length of a well-formed UTF-8 sequence at pos_ (RFC 3629: no
    // overlong forms, no surrogates, nothing past U+10FFFF), or 0.
    std::size_t Utf8Length() const {
        const unsigned char c = Byte(pos_);
        const auto in = [this](std::size_t at, unsigned char lo, unsigned char hi) {
            const unsigned char b = Byte(at);
            return b >= lo && b <= hi;
        };
        if (c >= 0xC2 && c <= 0xDF) return in(pos_ + 1, 0x80, 0xBF) ? 2 : 0;
        if (c >= 0xE0 && c <= 0xEF) {
            const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
            return in(pos_ + 1, lo, hi) && in(pos_ + 2, 0x80, 0xBF) ? 3 : 0;
        }
        if (c >= 0xF0 && c <= 0xF4) {
            const unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
            return in(pos_ + 1, lo, hi) && in(pos_ + 2, 0x80, 0xBF) && in(pos_ + 3, 0x80, 0xBF) ? 4 : 0;
        }
        return 0;
    }

    // A string at pos_, into `out` when given.
    bool String(std::string* out) {
        if (!Take('"')) return false;
        for (;;) {
            // a run of characters as they stand at once: most of a block's HTML
            const std::size_t run = pos_;
            while (pos_ < s_.size()) {
                const auto c = static_cast<unsigned char>(s_[pos_]);
                if (c < 0x80) {
                    if (c < 0x20 || c == '"' || c == '\\') break;
                    ++pos_;
                    continue;
                }
                const std::size_t length = Utf8Length();
                if (length == 0) return false;
                pos_ += length;
            }
            if (out) out->append(s_.data() + run, pos_ - run);
            if (pos_ >= s_.size()) return false;
            const auto c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20) return false;
            ++pos_;  // the backslash
            const char e = Peek();
            ++pos_;
            switch (e) {
            case '"': Append(out, '"'); break;
            case '\\': Append(out, '\\'); break;
            case '/': Append(out, '/'); break;
            case 'b': Append(out, '\b'); break;
            case 'f': Append(out, '\f'); break;
            case 'n': Append(out, '\n'); break;
            case 'r': Append(out, '\r'); break;
            case 't': Append(out, '\t'); break;
            case 'u': {
                const int unit = Hex4();
                // U+0000 and lone or broken surrogate halves: the full parser's to judge
                if (unit <= 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    if (!Take('\\') || !Take('u')) return false;
                    const int low = Hex4();
                    if (low < 0xDC00 || low > 0xDFFF) return false;
                    Append(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                    (static_cast<char32_t>(low) - 0xDC00));
                } else {
                    Append(out, static_cast<char32_t>(unit));
                }
                break;
            }
            default: return false;
            }
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    bool seenVersion_ = false;
};

}  // namespace

std::optional<ScannedBlock> ScanBlockFile(std::string_view text) { return Scanner(text).Block(); }

}  // namespace mojian::myblocks

// The exchange with the maker's settings service, both ends of it: how the
// program encodes its query and reads the answer, and how the service checks
// a request and writes its answer. Portable, so both sides are tested here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mojian {

// The only path the service answers queries on.
inline constexpr std::string_view kServicePath = "/asp/kwel/index.asp";

// The one statement the program ever sends, and the service ever accepts.
inline constexpr std::string_view kSettingsStatement = "select * from \xE7\xB3\xBB\xE7\xBB\x9F\xE7\xAE\xA1\xE7\x90\x86";  // 系统管理

// "いゼ" between records, "い" between the fields of one record (UTF-8).
inline constexpr std::string_view kRecordSeparator = "\xE3\x81\x84\xE3\x82\xBC";
inline constexpr std::string_view kFieldSeparator = "\xE3\x81\x84";

// Fields of the system-settings record that the program reads.
inline constexpr std::size_t kVersionField = 0;
inline constexpr std::size_t kDownloadField = 2;
inline constexpr std::size_t kContactField = 4;
inline constexpr std::size_t kRecordFieldCount = 5;

// Each character's GBK code in decimal, joined by "A": one-byte characters
// give their byte, two-byte ones lead * 256 + trail as a signed 16-bit number
// (so always negative). A character GBK cannot hold counts as "?", as the
// ANSI conversion would have made it. Empty text gives empty text.
std::string EncodeField(std::string_view utf8);
std::string EncodeField(long long number);

// The inverse, as the service needs it: the GBK bytes the codes stand for, or
// nothing when the text is not a well-formed encoding (empty pieces, stray
// characters, numbers out of range, a two-byte code that is no GBK lead).
std::optional<std::string> DecodeFieldToGbk(std::string_view encoded);

// zc=49&sql=<the encoded statement>
std::string SettingsRequestBody();

// The first record of an answer as its fields; empty when there is none.
std::vector<std::string> ParseSettingsAnswer(std::string_view answer);

// How the service judges a request body.
enum class RequestVerdict {
    SystemSettings,  // exactly the system-settings query
    Malformed,       // not a form body the program could have sent
    Refused,         // well-formed, but some other statement or number
};
RequestVerdict JudgeRequestBody(std::string_view body);

// The answer text for a record: a short lead-in, "いゼ", the fields joined by
// "い" (UTF-8; the service sends it as GBK).
std::string FormatSettingsAnswer(const std::vector<std::string>& fields);

// False when a value could not travel in an answer: it holds a separator or
// a character GBK cannot hold, or is unreasonably long.
bool IsStorableFieldValue(std::string_view utf8);

}  // namespace mojian

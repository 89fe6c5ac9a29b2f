// CSS as browsers read it: the tokens of CSS Syntax and the declarations of
// a style attribute. The view styles pages from these declarations and the
// publish check judges the same ones, so a page is drawn as it is checked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::html::css {

struct Token {
    enum class Kind : std::uint8_t {
        Ident, Function, AtKeyword, Hash, String, BadString, Url, BadUrl, Delim, Number, Percentage, Dimension,
        Whitespace, Colon, Semicolon, Comma, OpenSquare, CloseSquare, OpenParen, CloseParen, OpenCurly, CloseCurly,
        Cdo, Cdc
    };
    Kind kind = Kind::Delim;
    // Escapes decoded: the name of an ident, function, at-keyword or hash;
    // the contents of a string or url (a bad url's up to its ")"); the character of a delim; the number
    // as written for numbers, percentages and dimensions.
    std::string text;
    std::string unit;  // a dimension's unit
    char quote = '"';  // the quote a string was written with
};

// The tokens of `css`. Comments separate like white space: each one is a
// Whitespace token (a value reads "1px/**/2px" as two lengths either way).
std::vector<Token> Tokenize(std::string_view css);

// A token written back as CSS, escapes needed inside strings and urls kept.
std::string Serialize(const Token& token);

struct Declaration {
    std::string property;  // lower case (custom properties as written), escapes decoded
    std::string value;     // the tokens written back, comments and "!important" dropped, white space one space
    bool important = false;
};

// The declarations of a style attribute (its decoded value), in order. As
// in browsers, a declaration without a name and colon, or whose value holds
// a bad string, a bad url or a closing bracket nothing opened, is dropped up
// to the next ";" outside brackets and strings; the others stay. A bracket
// left open runs to the end, as it does in browsers.
std::vector<Declaration> ParseDeclarations(std::string_view css);

// The address of every url() in `css`, a whole style attribute or one value:
// unquoted, escapes decoded, surrounding white space dropped. A url browsers
// reject ("url(a b)") is there too, up to its ")": what judges addresses for
// scripts must not miss one because it is malformed.
std::vector<std::string> Urls(std::string_view css);

// A declaration's value split into words at white space and commas outside
// brackets and strings: "1px solid rgb(1, 2, 3)" is three words.
std::vector<std::string_view> Words(std::string_view value);

}  // namespace mojian::html::css

// Why a description could not be imported: a kind the window and the command
// line both turn into the same Chinese message, and where it went wrong.
#pragma once

#include <string>
#include <string_view>

namespace mojian::import {

enum class ImportErrorKind {
    CannotRead,       // missing, locked, no permission
    TooLarge,         // over kMaxImportBytes
    Empty,            // nothing but white space
    NotText,          // a picture, an archive, another program's file
    NulCharacter,     // text holding a NUL, which no page, edit box or clipboard keeps
    Truncated,        // the last character is cut short
    InvalidText,      // bytes that are neither UTF-8 nor GBK
    TooManyLines,     // more lines than the composition list holds
    NoCustomNumbers,  // the run has no custom-source number left for it
};

struct ImportError {
    ImportErrorKind kind = ImportErrorKind::InvalidText;
    std::string detail;  // where and what, in Chinese; may be empty
};

// The kind's message alone.
std::string_view ImportErrorText(ImportErrorKind kind);
// What the window shows: the kind's message, then the detail on a line of its own.
std::string ImportErrorMessage(const ImportError& error);

}  // namespace mojian::import

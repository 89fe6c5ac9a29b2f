// Which engine shows the preview, from the small settings file in the
// user's own folder (preview.ini): our HTML view unless the file asks for
// the system's HTML engine. The file is plain text, one "name=value" a line:
//
//   ; the preview: builtin (our view, the default) or system (the Windows HTML engine)
//   engine=system
//
// Lines that cannot be read are ignored, so a damaged file never stops the
// program; the built-in view is what it falls back to.
#pragma once

#include <string_view>

namespace mojian {

enum class PreviewEngine { BuiltIn, System };

inline constexpr char kPreviewSettingsFile[] = "preview.ini";

// The engine the settings text asks for (UTF-8, any line ends, a byte-order mark allowed).
PreviewEngine PreviewEngineFromSettings(std::string_view text);

}  // namespace mojian

// mojian on Windows: wide-character arguments, so file names in any language
// arrive whole; a console is written in UTF-16 (WriteConsoleW shows Chinese
// whatever its code page), a redirected stream gets UTF-8 with CR LF, and
// bytes such as a GBK page go out as they are.
#include <windows.h>

#include <string>
#include <vector>

#include "base/Utf_win.h"
#include "cli/Cli.h"

namespace {

class ConsoleOutput : public mojian::cli::Output {
public:
    void Text(std::string_view utf8) override { WriteText(GetStdHandle(STD_OUTPUT_HANDLE), utf8); }
    void Error(std::string_view utf8) override { WriteText(GetStdHandle(STD_ERROR_HANDLE), utf8); }
    void Bytes(std::string_view bytes, std::string_view utf8) override {
        const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
        if (IsConsole(handle)) WriteWide(handle, utf8);
        else WriteBytes(handle, bytes);
    }

private:
    static bool IsConsole(HANDLE handle) {
        DWORD mode = 0;
        return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
    }

    static void WriteText(HANDLE handle, std::string_view utf8) {
        if (IsConsole(handle)) {
            WriteWide(handle, utf8);
            return;
        }
        std::string text;
        text.reserve(utf8.size() + utf8.size() / 16);
        for (const char c : utf8) {
            if (c == '\n') text += '\r';
            text += c;
        }
        WriteBytes(handle, text);
    }

    static void WriteWide(HANDLE handle, std::string_view utf8) {
        const std::wstring wide = mojian::Wide(utf8);
        // A console takes a limited amount in one call.
        constexpr std::size_t kChunk = 8192;
        for (std::size_t at = 0; at < wide.size(); at += kChunk) {
            const auto count = static_cast<DWORD>(std::min(kChunk, wide.size() - at));
            DWORD written = 0;
            if (!WriteConsoleW(handle, wide.data() + at, count, &written, nullptr)) return;
        }
    }

    static void WriteBytes(HANDLE handle, std::string_view bytes) {
        while (!bytes.empty()) {
            DWORD written = 0;
            const auto count = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
            if (!WriteFile(handle, bytes.data(), count, &written, nullptr) || written == 0) return;
            bytes.remove_prefix(written);
        }
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(mojian::Narrow(argv[i]));
    }
    ConsoleOutput out;
    return mojian::cli::RunCli(args, out);
}

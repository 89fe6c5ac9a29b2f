// The mojian command: the same portable core as the window, for people who
// prepare pages in batches and for scripts. Each command is one file and
// one row of the table in Commands.cpp; RunCli picks the row, answers
// --help for every command and reports misuse.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::cli {

// Where a command writes. Text is UTF-8 with "\n" line ends; each platform
// shows it its own way (a Windows console gets UTF-16, a redirected stream
// UTF-8 with CR LF).
class Output {
public:
    virtual ~Output() = default;
    virtual void Text(std::string_view utf8) = 0;   // standard output
    virtual void Error(std::string_view utf8) = 0;  // standard error
    // Bytes for standard output as they are (a page in GBK); a console,
    // which cannot show them as such, shows `utf8` instead.
    virtual void Bytes(std::string_view bytes, std::string_view utf8) = 0;
};

// Exit statuses.
inline constexpr int kSuccess = 0;
inline constexpr int kFailed = 1;    // the input could not be used
inline constexpr int kMisused = 2;   // wrong arguments

struct Command {
    std::string_view name;
    std::string_view summary;  // one line for the list of commands
    std::string_view usage;    // what --help shows: the synopsis, then what it does
    int (*run)(const std::vector<std::string>& args, Output& out);
};

const std::vector<Command>& Commands();

// `args` are the program's arguments after its name, in UTF-8.
int RunCli(const std::vector<std::string>& args, Output& out);

// The arguments of one command: the options that take a value (such as
// "-o"), given as "-o VALUE" or "-o=VALUE", the options that stand alone
// (such as "--json", held with an empty value), and the rest in order.
struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::string error;  // what is wrong with them, in Chinese; empty when nothing
    bool Has(std::string_view option) const { return values.count(std::string(option)) != 0; }
};
Arguments ParseArguments(const std::vector<std::string>& args, std::initializer_list<std::string_view> valueOptions,
                         std::initializer_list<std::string_view> flagOptions = {});

// "mojian: " and the message, on standard error; returns `status`.
int Fail(Output& out, int status, std::string_view message);

// The window's messages end lines with CR LF; the command's output with "\n".
std::string WithLineFeeds(std::string_view text);

}  // namespace mojian::cli

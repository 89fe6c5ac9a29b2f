#include "cli/Cli.h"

#include <algorithm>

namespace mojian::cli {

namespace {

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }

std::string CommandList() {
    std::string text = "用法：mojian 命令 [参数]\n\n命令：\n";
    for (const Command& c : Commands()) {
        text += "  ";
        text += c.name;
        text += std::string(10 - std::min<std::size_t>(c.name.size(), 9), ' ');
        text += c.summary;
        text += "\n";
    }
    text += "\n每个命令都可以加 --help 查看它的用法。\n";
    return text;
}

}  // namespace

std::string WithLineFeeds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

int Fail(Output& out, int status, std::string_view message) {
    std::string line = "mojian: ";
    line += WithLineFeeds(message);
    line += "\n";
    out.Error(line);
    return status;
}

Arguments ParseArguments(const std::vector<std::string>& args, std::initializer_list<std::string_view> valueOptions,
                         std::initializer_list<std::string_view> flagOptions) {
    Arguments parsed;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const bool flag = std::find(flagOptions.begin(), flagOptions.end(), name) != flagOptions.end();
        if (!flag && std::find(valueOptions.begin(), valueOptions.end(), name) == valueOptions.end()) {
            parsed.error = "不认识的选项：" + arg;
            return parsed;
        }
        if (parsed.Has(name)) {
            parsed.error = "选项 " + name + " 给了两次";
            return parsed;
        }
        if (flag) {
            if (equals != std::string::npos) {
                parsed.error = "选项 " + name + " 不带值";
                return parsed;
            }
            parsed.values[name];
        } else if (equals != std::string::npos) {
            parsed.values[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            parsed.values[name] = args[++i];
        } else {
            parsed.error = "选项 " + name + " 后面缺少值";
            return parsed;
        }
    }
    return parsed;
}

int RunCli(const std::vector<std::string>& args, Output& out) {
    if (args.empty()) {
        out.Error(CommandList());
        return kMisused;
    }
    if (IsHelp(args[0])) {
        out.Text(CommandList());
        return kSuccess;
    }
    const auto& commands = Commands();
    const auto command = std::find_if(commands.begin(), commands.end(), [&](const Command& c) { return c.name == args[0]; });
    if (command == commands.end())
        return Fail(out, kMisused, "没有“" + args[0] + "”这个命令。用 mojian --help 查看所有命令。");
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    // --help anywhere before "--" (after it, "-h" may be a file's name)
    const auto optionsEnd = std::find(rest.begin(), rest.end(), "--");
    if (std::any_of(rest.begin(), optionsEnd, [](const std::string& a) { return IsHelp(a); })) {
        out.Text(std::string(command->usage));
        return kSuccess;
    }
    return command->run(rest, out);
}

}  // namespace mojian::cli

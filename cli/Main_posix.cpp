// mojian on Linux: UTF-8 in and out.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace {

class StdOutput : public mojian::cli::Output {
public:
    void Text(std::string_view utf8) override { Write(stdout, utf8); }
    void Error(std::string_view utf8) override { Write(stderr, utf8); }
    void Bytes(std::string_view bytes, std::string_view) override { Write(stdout, bytes); }

private:
    static void Write(std::FILE* stream, std::string_view s) {
        std::fwrite(s.data(), 1, s.size(), stream);
        std::fflush(stream);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    StdOutput out;
    return mojian::cli::RunCli(args, out);
}

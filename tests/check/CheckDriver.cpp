// Runs the publish check on files natively and prints what it finds, as the
// `mojian check` command will:
//   check_driver [--rules FILE] [--json] [--pictures WxH | --no-pictures] FILE...
// A FILE ending in ".page" is a page in the tests' case format (CasePage.h);
// any other file is HTML, one composition line named after the file. The
// pages of all FILEs are checked one after another. Exit status: 0 without
// errors, 1 with errors, 2 on bad input. Pictures are sized as the tests
// size them (an address with "_WxH." in it); with --pictures, every address
// counts as a picture of that natural size; with --no-pictures, none loads.
// With --lines it checks nothing and prints each page's lines as JSON
// ([{"entry": ..., "html": ... or null}, ...], one array a line of output).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/File.h"
#include "check/Check.h"
#include "check/Report.h"
#include "html/Layout.h"
#include "tests/check/CasePage.h"
#include "tests/check/CheckSupport.h"

namespace {

class AllPictures final : public mojian::html::PictureSource {
public:
    AllPictures(int w, int h) : w_(w), h_(h) {}
    mojian::html::PictureInfo Query(std::string_view) override {
        return {mojian::html::PictureInfo::State::Ready, w_, h_};
    }
    std::shared_ptr<const mojian::html::Picture> Pixels(std::string_view) override { return nullptr; }

private:
    int w_, h_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace mojian;
    std::optional<check::RuleSet> loaded;
    bool json = false;
    int pw = 0, ph = 0;
    bool noPictures = false, linesOnly = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--lines") {
            linesOnly = true;
        } else if (a == "--no-pictures") {
            noPictures = true;
        } else if (a == "--rules" && i + 1 < argc) {
            std::string error;
            loaded = check::RuleSet::FromFile(argv[++i], &error);
            if (!loaded) {
                std::cerr << error << "\n";
                return 2;
            }
        } else if (a == "--pictures" && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &pw, &ph) == 2) {
            ++i;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::cerr << "用法：check_driver [--rules 规则文件] [--json] [--pictures 宽x高 | --no-pictures] 文件...\n";
        return 2;
    }
    const check::RuleSet& rules = loaded ? *loaded : check::RuleSet::BuiltIn();
    html::FixedMeasurer measurer;
    testing::SizedPictures sized;
    AllPictures all(pw, ph);
    html::NoPictures none;
    html::PictureSource& pictures = noPictures ? static_cast<html::PictureSource&>(none)
                                    : pw > 0   ? static_cast<html::PictureSource&>(all)
                                               : sized;
    bool errors = false;
    for (const std::string& file : files) {
        const auto bytes = ReadWholeFile(file);
        if (!bytes) {
            std::cerr << "读不到文件：" << file << "\n";
            return 2;
        }
        std::vector<check::PageLine> lines;
        if (file.size() > 5 && file.substr(file.size() - 5) == ".page") lines = check::LinesOf(testing::CasePage(*bytes));
        else lines.push_back({file.substr(file.find_last_of('/') + 1), *bytes});
        if (linesOnly) {
            auto out = nlohmann::json::array();
            for (const auto& l : lines) out.push_back({{"entry", l.entry}, {"html", l.html ? nlohmann::json(*l.html) : nlohmann::json()}});
            std::cout << out.dump() << "\n";
            continue;
        }
        check::Checker checker(rules, measurer, pictures);
        const auto findings = checker.CheckPage(lines);
        if (files.size() > 1 && !json) std::cout << "== " << file << "\n";
        std::cout << (json ? check::ReportJson(findings, lines, rules) : check::ReportText(findings, lines, rules));
        const auto s = check::Summarise(findings, 0);
        errors = errors || s.errors > 0;
    }
    return errors ? 1 : 0;
}

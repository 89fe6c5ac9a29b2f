// While it lives, the program's message boxes, save questions and file
// dialogs are answered from the test's script instead of the screen: no
// modal loop runs, and every question asked is kept for the test to read.
#pragma once

#include <windows.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/WinText_win.h"
#include "app/env/Environment.h"

namespace mojian::testing {

struct AskedBox {
    std::string text, title;
    UINT style = 0;
};

class ScriptedEnvironment {
public:
    ScriptedEnvironment() : saved_(CurrentEnvironment()) {
        Environment& env = CurrentEnvironment();
        env.messageBox = [this](HWND, const std::wstring& text, const std::wstring& title, UINT style) {
            boxes.push_back({Narrow(text), Narrow(title), style});
            return Next(boxAnswers, defaultBoxAnswer);
        };
        env.askToSave = [this](HWND, const std::wstring& text, const std::wstring&) {
            saveQuestions.push_back(Narrow(text));
            return Next(saveAnswers, SaveAnswer::Cancel);
        };
        env.chooseFile = [this](HWND, const FileQuestion& question) {
            fileQuestions.push_back(question);
            return Next(files, std::optional<std::string>());
        };
        env.chooseFolder = [this](HWND, const std::wstring&, const std::string&) {
            return Next(folders, std::optional<std::string>());
        };
        env.openAddress = [](const std::string&) {};
        env.openFolder = [this](const std::string& folder) { openedFolders.push_back(folder); };
    }
    ~ScriptedEnvironment() { CurrentEnvironment() = saved_; }
    ScriptedEnvironment(const ScriptedEnvironment&) = delete;
    ScriptedEnvironment& operator=(const ScriptedEnvironment&) = delete;

    // Answers in the order the questions come; when none is left, the default.
    std::deque<int> boxAnswers;
    int defaultBoxAnswer = IDOK;
    std::deque<SaveAnswer> saveAnswers;  // none left: 取消
    std::deque<std::optional<std::string>> files;  // none left: the dialog cancelled
    std::deque<std::optional<std::string>> folders;  // none left: the picker cancelled

    std::vector<AskedBox> boxes;
    std::vector<std::string> saveQuestions;
    std::vector<FileQuestion> fileQuestions;
    std::vector<std::string> openedFolders;

private:
    template <typename T>
    static T Next(std::deque<T>& answers, T otherwise) {
        if (answers.empty()) return otherwise;
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }

    Environment saved_;
};

}  // namespace mojian::testing

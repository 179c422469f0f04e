#include "scripted_window.h"

#include <stdexcept>

namespace velloran::fakes {

int ScriptedWindow::messageBox(const std::string &t, int style, const std::string &title) {
    boxes.push_back({t, style, title});
    events.push_back("box:" + t);
    if (answers.empty())
        return style == kStyleYesNo ? kAnswerYes : kAnswerOk;
    const int a = answers.front();
    answers.pop_front();
    return a;
}

std::string ScriptedWindow::inputBox(const std::string &prompt, const std::string &title,
                                     const std::string &defaultAnswer) {
    inputPrompts.push_back(prompt + "|" + title + "|" + defaultAnswer);
    events.push_back("input");
    if (inputAnswers.empty())
        return {};
    std::string a = inputAnswers.front();
    inputAnswers.pop_front();
    return a;
}

std::vector<std::string> ScriptedWindow::openFiles(const OpenFileRequest &request) {
    openRequests.push_back(request);
    events.push_back("open");
    if (openAnswers.empty())
        return {};
    auto a = openAnswers.front();
    openAnswers.pop_front();
    return a;
}

std::string ScriptedWindow::browseForFolder(const std::string &prompt, const std::string &start) {
    folderPrompts.push_back(prompt + "|" + start);
    events.push_back("folder");
    if (folderAnswers.empty())
        return {};
    std::string a = folderAnswers.front();
    folderAnswers.pop_front();
    return a;
}

void ScriptedWindow::setPointer(int p) {
    pointerSetting = p;
    pointerHistory.push_back(p);
    events.push_back("pointer:" + std::to_string(p));
}

void ScriptedWindow::processEvents() {
    ++processEventsCalls;
    if (onProcessEvents)
        onProcessEvents();
}

void ScriptedWindow::appendRows(const std::vector<std::string> &paths) {
    appendSizes.push_back(paths.size());
    rows.insert(rows.end(), paths.begin(), paths.end());
}

void ScriptedWindow::removeRow(std::size_t index) {
    if (index < 1 || index > rows.size())
        throw std::out_of_range("Index out of bounds");
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index - 1));
}

void ScriptedWindow::setOutputFolder(const std::string &f) {
    if (f == folder)
        return;
    folder = f;
    if (onFolderChange)
        onFolderChange();
}

void ScriptedWindow::setCaption(const std::string &caption) {
    captions.push_back(caption);
    events.push_back("caption:" + caption);
}

void ScriptedWindow::openInShell(const std::string &pathOrAddress) {
    shellOpened.push_back(pathOrAddress);
    events.push_back("shell:" + pathOrAddress);
}

std::vector<std::string> ScriptedWindow::boxTexts() const {
    std::vector<std::string> out;
    for (const auto &b : boxes)
        out.push_back(b.text);
    return out;
}

} // namespace velloran::fakes

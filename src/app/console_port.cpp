#include "app/console_port.h"

#include <stdexcept>

namespace velloran {

namespace {

[[noreturn]] void notInBatch(const char *what) {
    throw std::logic_error(std::string(what) + " is not available in the command-line batch");
}

} // namespace

std::string WithConsoleLineBreaks(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

int ConsoleFormPort::msgBox(const std::string &text, int style, const std::string &) {
    // A blank line after each one keeps consecutive reports apart.
    *m_messages << WithConsoleLineBreaks(text) << "\n\n";
    m_messages->flush();
    // The style's low bits choose the buttons; the high bits only pick an icon.
    return (style & 7) == kStyleYesNo ? kAnswerYes : kAnswerOk;
}

std::string ConsoleFormPort::inputBox(const std::string &, const std::string &,
                                      const std::string &) {
    notInBatch("An input box");
}
std::vector<std::string> ConsoleFormPort::showOpen(const OpenFileRequest &) {
    notInBatch("The open-file dialog");
}
std::string ConsoleFormPort::browseForFolder(const std::string &) {
    notInBatch("The folder picker");
}
void ConsoleFormPort::appendRows(const std::vector<std::string> &) {
    notInBatch("The file list");
}
std::size_t ConsoleFormPort::rowCount() const {
    notInBatch("The file list");
}
std::string ConsoleFormPort::rowText(std::size_t) const {
    notInBatch("The file list");
}
std::optional<std::size_t> ConsoleFormPort::selectedRow() const {
    notInBatch("The file list");
}
void ConsoleFormPort::removeRow(std::size_t) {
    notInBatch("The file list");
}
void ConsoleFormPort::clearRows() {
    notInBatch("The file list");
}
void ConsoleFormPort::openInShell(const std::string &) {
    notInBatch("Opening in the shell");
}
void ConsoleFormPort::centerForm() {
    notInBatch("Centring the window");
}
void ConsoleFormPort::applySkin(const std::string &) {
    notInBatch("The skin");
}
void ConsoleFormPort::loadHandPointer(const std::string &) {
    notInBatch("The hand pointer");
}
void ConsoleFormPort::setIcon() {
    notInBatch("The window icon");
}
void ConsoleFormPort::createListColumn() {
    notInBatch("The file list");
}

} // namespace velloran

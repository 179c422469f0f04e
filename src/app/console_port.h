#pragma once

#include <ostream>
#include <string>
#include <utility>

#include "core/form_port.h"

namespace velloran {

// The window as the command line plays it: the output folder and the
// extension choice come from the command line, message boxes are printed,
// and nothing is ever stored in the settings.
class ConsoleFormPort final : public FormPort {
public:
    // Message boxes are written to `messages`.
    ConsoleFormPort(std::string outputFolder, bool useHtm, std::ostream &messages)
        : m_text1(std::move(outputFolder)), m_useHtm(useHtm), m_messages(&messages) {}

    // Where later message boxes go.
    void setMessageStream(std::ostream &messages) { m_messages = &messages; }

    // Prints the text (its CR, LF and CR LF as line breaks) and answers OK,
    // or Yes for a yes/no question: a batch has nobody to ask.
    int msgBox(const std::string &text, int style, const std::string &title) override;

    // Nothing in a batch asks for these; a call is a programming error and
    // throws std::logic_error.
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultAnswer) override;
    std::vector<std::string> showOpen(const OpenFileRequest &request) override;
    std::string browseForFolder(const std::string &prompt) override;
    void appendRows(const std::vector<std::string> &paths) override;
    std::size_t rowCount() const override;
    std::string rowText(std::size_t index) const override;
    std::optional<std::size_t> selectedRow() const override;
    void removeRow(std::size_t index) override;
    void clearRows() override;
    void openInShell(const std::string &pathOrAddress) override;
    void centerForm() override;
    void applySkin(const std::string &skinFile) override;
    void loadHandPointer(const std::string &cursorFile) override;
    void setIcon() override;
    void createListColumn() override;

    // Window cosmetics have no console counterpart and are ignored.
    int mousePointer() const override { return m_pointer; }
    void setMousePointer(int pointer) override { m_pointer = pointer; }
    void doEvents() override {}
    void setCaption(const std::string &) override {}

    std::string text1() const override { return m_text1; }
    // Changes the folder for this run only; the stored setting is never touched.
    void setText1(const std::string &text) override { m_text1 = text; }
    bool option1() const override { return m_useHtm; }

private:
    std::string m_text1;
    bool m_useHtm;
    std::ostream *m_messages;
    int m_pointer = kPointerDefault;
};

// The text with CR LF, lone CR and lone LF each turned into one "\n".
std::string WithConsoleLineBreaks(const std::string &text);

} // namespace velloran

#include "core/main_window_logic.h"

#include <cmath>
#include <stdexcept>

#include "core/add_folder.h"
#include "core/error_report.h"
#include "core/export.h"
#include "core/path_rules.h"

namespace velloran {

namespace {

std::string_view locationOf(Command command) {
    return buttonName(command).location;
}

} // namespace

std::string MainWindowLogic::programPath(const char *relative) const {
    const char sep = kNativePaths.separator;
    std::string path = withTrailingSeparator(m_c.programFolder) + relative;
    for (auto &c : path)
        if (c == '/' || c == '\\')
            c = sep;
    return path;
}

std::string MainWindowLogic::desktopFolder() const {
    return desktopFolderOf(m_c.desktopPath(), m_c.homePath());
}

void MainWindowLogic::load() {
    WindowChrome &chrome = m_c.ui.chrome;
    chrome.centre();

    const std::string skin = programPath(kSkinFile);
    if (m_c.fs.isNormalFile(skin))
        chrome.applySkin(skin);

    const std::string cursor = programPath(kHandCursorFile);
    if (m_c.fs.fileExists(cursor))
        chrome.loadHandPointer(cursor);

    const int draw = static_cast<int>(std::floor(m_c.random01() * 100)) + 1;
    if (draw == 7 && !m_c.homePage.empty())
        m_c.ui.dialogs.openInShell(m_c.homePage);

    chrome.setCaption(kAppTitle);
    chrome.setIcon();
    chrome.createListColumn();

    m_c.ui.output.setOutputFolder(m_c.settings.get(kOutputFolderKey).value_or(desktopFolder()));

    checkOfficeInstalled(m_c.automation, m_c.ui.dialogs);
}

void MainWindowLogic::outputFolderEdited() {
    m_c.settings.save(kOutputFolderKey, m_c.ui.output.outputFolder());
}

void MainWindowLogic::run(Command command) {
    switch (command) {
    case Command::ShowHelp:
        return showHelp();
    case Command::ClearList:
        return clearList();
    case Command::AddFiles:
        return addFiles();
    case Command::AddSamples:
        return addSamples();
    case Command::ChooseOutputFolder:
        return chooseOutputFolder();
    case Command::AddFolderTree:
        return addFolderTree();
    case Command::ExportAll:
        return exportAll();
    }
}

void MainWindowLogic::showHelp() {
    ReportingProcedure proc(m_c.ui.dialogs, locationOf(Command::ShowHelp));
    proc.step(100, [&] {
        m_c.ui.dialogs.messageBox("This program works with PowerPoint Presentations like .ppt "
                                  "and .pptx but not PowerPoint Shows like .pps",
                                  kStyleOkOnly, kAppTitle);
    });
}

void MainWindowLogic::clearList() {
    ReportingProcedure proc(m_c.ui.dialogs, locationOf(Command::ClearList));
    proc.step(100, [&] { m_c.ui.files.clearRows(); });
}

void MainWindowLogic::addFiles() {
    ReportingProcedure proc(m_c.ui.dialogs, locationOf(Command::AddFiles));
    OpenFileRequest request;
    std::vector<std::string> picked;
    proc.step(102, [&] {
        request.title = "Add File(s) - Hold Ctrl to select multiple files";
        request.filters = {{"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}};
        request.multiSelect = true;
    });
    proc.step(104, [&] { picked = m_c.ui.dialogs.openFiles(request); });
    if (picked.empty())
        return;
    proc.step(106, [&] {
        // A pick in a root folder must not come out with a doubled separator.
        for (auto &path : picked)
            path = collapseRootSeparator(path);
        m_c.ui.files.appendRows(picked);
    });
}

void MainWindowLogic::addSamples() {
    ReportingProcedure proc(m_c.ui.dialogs, locationOf(Command::AddSamples));
    const std::string folder = programPath(kSamplesFolder);
    std::vector<std::string> names;
    proc.step(102, [&] {
        try {
            names = listFilesInFolder(folder, "*.*", m_c.fs);
        } catch (const std::exception &) {
            // A missing sample folder simply lists nothing.
        }
    });
    proc.step(104, [&] {
        std::vector<std::string> rows;
        rows.reserve(names.size());
        for (const auto &name : names)
            rows.push_back(folder + kNativePaths.separator + name);
        if (!rows.empty())
            m_c.ui.files.appendRows(rows);
    });
    int answer = kAnswerNo;
    proc.step(106, [&] {
        answer = m_c.ui.dialogs.messageBox(
            "Would you like this software to open the folder where these sample files are "
            "stored (so that you can view them before working with them)?",
            kStyleYesNo, kAppTitle);
    });
    if (answer == kAnswerYes)
        proc.step(108, [&] { m_c.ui.dialogs.openInShell(folder + kNativePaths.separator); });
}

void MainWindowLogic::chooseOutputFolder() {
    ReportingProcedure proc(m_c.ui.dialogs, locationOf(Command::ChooseOutputFolder));
    std::string folder;
    proc.step(102, [&] {
        folder = m_c.ui.dialogs.browseForFolder("Please select folder:", desktopFolder());
    });
    if (folder.empty())
        return;
    proc.step(104, [&] { m_c.ui.output.setOutputFolder(withTrailingSeparator(folder)); });
}

void MainWindowLogic::addFolderTree() {
    ReportingProcedure proc(m_c.ui.dialogs, locationOf(Command::AddFolderTree));
    std::string extension, folder;
    proc.step(102, [&] {
        extension = m_c.ui.dialogs.inputBox(
            "Enter file extension to load:\n\n(* for all files, txt for all txt files, doc for "
            "all doc files, etc.)",
            kAppTitle, "ppt");
    });
    if (extension.empty())
        return;
    proc.step(104, [&] {
        folder = m_c.ui.dialogs.browseForFolder("Please select folder:", desktopFolder());
    });
    if (folder.empty())
        return;
    proc.step(106, [&] { m_c.ui.chrome.setPointer(kPointerBusy); });
    std::vector<std::string> unreadable;
    proc.step(108, [&] {
        EventPump pump([&] { m_c.ui.chrome.processEvents(); });
        const auto rows = treeFiles(folder, "*." + extension, true, m_c.fs, pump, &unreadable);
        if (!rows.empty())
            m_c.ui.files.appendRows(rows);
    });
    if (!unreadable.empty())
        proc.step(110, [&] { throw std::runtime_error(unreadableFoldersText(unreadable)); });
    proc.step(140, [&] { m_c.ui.chrome.setPointer(kPointerDefault); });
}

void MainWindowLogic::exportAll() {
    Dialogs &dialogs = m_c.ui.dialogs;
    WindowChrome &chrome = m_c.ui.chrome;
    ReportingProcedure proc(dialogs, locationOf(Command::ExportAll));
    m_exporting = true;
    proc.step(102, [&] { chrome.setPointer(kPointerBusy); });
    bool go = true;
    proc.step(104, [&] {
        if (m_c.ui.files.rowCount() == 0) {
            go = false;
            dialogs.messageBox("No files added.", kStyleOkOnly, kAppTitle);
        }
    });
    if (go)
        proc.step(106, [&] {
            if (warnIfPowerPointOpen(m_c.automation, dialogs)) {
                go = false;
                dialogs.messageBox("Make sure PowerPoint is closed first.", kStyleOkOnly,
                                   kAppTitle);
            }
        });
    if (go) {
        PresentationExporter exporter(m_c.automation, dialogs);
        std::size_t count = 0;
        proc.step(108, [&] { count = m_c.ui.files.rowCount(); });
        for (std::size_t i = 1; i <= count; ++i) {
            std::string path;
            proc.step(110, [&] { chrome.setPointer(kPointerBusy); });
            proc.step(112, [&] { path = m_c.ui.files.rowText(i); });
            proc.step(114, [&] {
                chrome.setPointer(kPointerBusy);
                chrome.setCaption(std::string(kAppTitle) + " - " + std::to_string(i) + " of " +
                                  std::to_string(count) + " - " + fileNameOf(path));
            });
            proc.step(116, [&] {
                // The output controls are read for every file, as they stand at that moment.
                const ExportTarget target{m_c.ui.output.outputFolder(),
                                          m_c.ui.output.useHtmExtension()};
                exporter.exportPresentation(path, target);
            });
            proc.step(118, [&] { chrome.setPointer(kPointerBusy); });
        }
        proc.step(120, [&] { chrome.setCaption(kAppTitle); });
        proc.step(122, [&] { dialogs.messageBox("Done.", kStyleOkOnly, kAppTitle); });
    }
    proc.step(126, [&] { chrome.setPointer(kPointerDefault); });
    m_exporting = false;
}

void MainWindowLogic::removeSelectedRow() {
    try {
        if (const auto row = m_c.ui.files.selectedRow())
            m_c.ui.files.removeRow(*row);
    } catch (...) {
        // Removal never reports anything.
    }
}

void MainWindowLogic::listKeyPressed(int keyCode, int /*shift*/) {
    if (keyCode == kDeleteKey)
        removeSelectedRow();
}

void MainWindowLogic::listDoubleClicked() {
    removeSelectedRow();
}

void MainWindowLogic::dropItems(const std::vector<std::string> &paths) {
    EventPump pump([&] { m_c.ui.chrome.processEvents(); });
    const auto rows = expandDroppedItems(paths, m_c.fs, pump);
    if (!rows.empty())
        m_c.ui.files.appendRows(rows);
}

void MainWindowLogic::pointerOverButton() {
    if (m_c.ui.chrome.pointer() != kPointerBusy)
        m_c.ui.chrome.setPointer(kPointerCustom);
}

void MainWindowLogic::pointerOverSurface() {
    if (m_c.ui.chrome.pointer() != kPointerBusy)
        m_c.ui.chrome.setPointer(kPointerDefault);
}

} // namespace velloran

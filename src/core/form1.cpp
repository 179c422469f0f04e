#include "core/form1.h"

#include <cmath>

#include "core/add_folder.h"
#include "core/error_report.h"
#include "core/path_rules.h"
#include "core/powerpoint.h"

namespace velloran {

std::string Form1::programPath(const char *relative) const {
    std::string path = WithTrailingSeparator(m_c.programFolder) + relative;
    for (auto &c : path)
        if (c == '/' || c == '\\')
            c = kSep;
    return path;
}

void Form1::Form1_Load() {
    m_c.ui.centerForm();

    const std::string skin = programPath(kSkinFile);
    if (m_c.fs.isNormalFile(skin))
        m_c.ui.applySkin(skin);

    const std::string cursor = programPath(kHandCursorFile);
    if (m_c.fs.fileExists(cursor))
        m_c.ui.loadHandPointer(cursor);

    const int draw = static_cast<int>(std::floor(m_c.random01() * 100)) + 1;
    if (draw == 7 && !m_c.homePage.empty())
        m_c.ui.openInShell(m_c.homePage);

    m_c.ui.setCaption(kAppTitle);
    m_c.ui.setIcon();
    m_c.ui.createListColumn();

    const std::string fallback = GetDesktopFolder(m_c.desktopPath(), m_c.homePath());
    m_c.ui.setText1(m_c.settings.get(kText1Key).value_or(fallback));

    CheckPowerPointInstalled(m_c.automation, m_c.ui);
}

void Form1::Text1_Change() {
    m_c.settings.save(kText1Key, m_c.ui.text1());
}

void Form1::PushButton1_Click() {
    ReportingProcedure proc(m_c.ui, location::kHelp);
    proc.step(100, [&] {
        m_c.ui.msgBox("This program works with PowerPoint Presentations like .ppt and .pptx but "
                      "not PowerPoint Shows like .pps",
                      kStyleOkOnly, kAppTitle);
    });
}

void Form1::PushButton2_Click() {
    ReportingProcedure proc(m_c.ui, location::kClearList);
    proc.step(100, [&] { m_c.ui.clearRows(); });
}

void Form1::PushButton3_Click() {
    ReportingProcedure proc(m_c.ui, location::kAddFiles);
    OpenFileRequest request;
    std::vector<std::string> picked;
    proc.step(102, [&] {
        request.title = "Add File(s) - Hold Ctrl to select multiple files";
        request.filters = {{"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}};
        request.multiSelect = true;
    });
    proc.step(104, [&] { picked = m_c.ui.showOpen(request); });
    if (picked.empty())
        return;
    proc.step(106, [&] {
        // A pick in a root folder must not come out with a doubled separator.
        for (auto &path : picked)
            path = CollapseRootSeparator(path);
        m_c.ui.appendRows(picked);
    });
}

void Form1::PushButton4_Click() {
    ReportingProcedure proc(m_c.ui, location::kSamples);
    const std::string folder = programPath(kSamplesFolder);
    std::vector<std::string> names;
    proc.step(102, [&] {
        try {
            names = ListFilesInFolder(folder, "*.*", m_c.fs);
        } catch (const std::exception &) {
            // A missing sample folder simply lists nothing.
        }
    });
    proc.step(104, [&] {
        std::vector<std::string> rows;
        rows.reserve(names.size());
        for (const auto &name : names)
            rows.push_back(folder + kSep + name);
        if (!rows.empty())
            m_c.ui.appendRows(rows);
    });
    int answer = kAnswerNo;
    proc.step(106, [&] {
        answer = m_c.ui.msgBox("Would you like this software to open the folder where these "
                               "sample files are stored (so that you can view them before working "
                               "with them)?",
                               kStyleYesNo, kAppTitle);
    });
    if (answer == kAnswerYes)
        proc.step(108, [&] { m_c.ui.openInShell(folder + kSep); });
}

void Form1::PushButton5_Click() {
    ReportingProcedure proc(m_c.ui, location::kOutputFolder);
    std::string folder;
    proc.step(102, [&] { folder = m_c.ui.browseForFolder("Please select folder:"); });
    if (folder.empty())
        return;
    proc.step(104, [&] { m_c.ui.setText1(WithTrailingSeparator(folder)); });
}

void Form1::PushButton6_Click() {
    ReportingProcedure proc(m_c.ui, location::kAddFolder);
    std::string extension, folder;
    proc.step(102, [&] {
        extension = m_c.ui.inputBox("Enter file extension to load:\n\n(* for all files, txt for "
                                    "all txt files, doc for all doc files, etc.)",
                                    kAppTitle, "ppt");
    });
    if (extension.empty())
        return;
    proc.step(104, [&] { folder = m_c.ui.browseForFolder("Please select folder:"); });
    if (folder.empty())
        return;
    proc.step(106, [&] { m_c.ui.setMousePointer(kPointerBusy); });
    proc.step(108, [&] {
        EventPump pump([&] { m_c.ui.doEvents(); });
        AddTreeFiles(folder, "*." + extension, true, m_c.fs, pump,
                     [&](const std::vector<std::string> &rows) { m_c.ui.appendRows(rows); });
    });
    proc.step(140, [&] { m_c.ui.setMousePointer(kPointerDefault); });
}

void Form1::PushButton7_Click() {
    ReportingProcedure proc(m_c.ui, location::kExportRun);
    m_exporting = true;
    proc.step(102, [&] { m_c.ui.setMousePointer(kPointerBusy); });
    bool go = true;
    proc.step(104, [&] {
        if (m_c.ui.rowCount() == 0) {
            go = false;
            m_c.ui.msgBox("No files added.", kStyleOkOnly, kAppTitle);
        }
    });
    if (go)
        proc.step(106, [&] {
            if (WarnIfPowerPointOpen(m_c.automation, m_c.ui)) {
                go = false;
                m_c.ui.msgBox("Make sure PowerPoint is closed first.", kStyleOkOnly, kAppTitle);
            }
        });
    if (go) {
        std::size_t count = 0;
        proc.step(108, [&] { count = m_c.ui.rowCount(); });
        for (std::size_t i = 1; i <= count; ++i) {
            std::string path;
            proc.step(110, [&] { m_c.ui.setMousePointer(kPointerBusy); });
            proc.step(112, [&] { path = m_c.ui.rowText(i); });
            proc.step(114, [&] {
                m_c.ui.setMousePointer(kPointerBusy);
                m_c.ui.setCaption(std::string(kAppTitle) + " - " + std::to_string(i) + " of " +
                                  std::to_string(count) + " - " + FileNameFromPath(path));
            });
            proc.step(116, [&] { DoItByFile(path, m_c.ui, m_c.automation); });
            proc.step(118, [&] { m_c.ui.setMousePointer(kPointerBusy); });
        }
        proc.step(120, [&] { m_c.ui.setCaption(kAppTitle); });
        proc.step(122, [&] { m_c.ui.msgBox("Done.", kStyleOkOnly, kAppTitle); });
    }
    proc.step(126, [&] { m_c.ui.setMousePointer(kPointerDefault); });
    m_exporting = false;
}

void Form1::removeSelectedRow() {
    try {
        if (const auto row = m_c.ui.selectedRow())
            m_c.ui.removeRow(*row);
    } catch (...) {
        // Removal never reports anything.
    }
}

void Form1::ListView1_KeyDown(int keyCode, int /*shift*/) {
    if (keyCode == kDeleteKey)
        removeSelectedRow();
}

void Form1::ListView1_DblClick() {
    removeSelectedRow();
}

void Form1::ListView1_OLEDragDrop(const std::vector<std::string> &paths) {
    EventPump pump([&] { m_c.ui.doEvents(); });
    ExpandDroppedItems(paths, m_c.fs, pump,
                       [&](const std::vector<std::string> &rows) { m_c.ui.appendRows(rows); });
}

void Form1::ButtonMouseMove() {
    if (m_c.ui.mousePointer() != kPointerBusy)
        m_c.ui.setMousePointer(kPointerCustom);
}

void Form1::SurfaceMouseMove() {
    if (m_c.ui.mousePointer() != kPointerBusy)
        m_c.ui.setMousePointer(kPointerDefault);
}

} // namespace velloran

#pragma once

#include <QCoreApplication>
#include <QCursor>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "core/main_window_logic.h"
#include "core/window_layout.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace velloran {

class FileListModel;

// What the window is built from; tests hand in stand-ins.
struct WindowServices {
    Dialogs &dialogs;
    SettingsStore &settings;
    FileSystem &fs;
    AutomationRegistry &automation;
    QString programFolder;
    std::function<double()> random01;
    QString homePage;
    // Ends the program; closing the window during a folder walk calls it.
    std::function<void()> endProgram = [] { QCoreApplication::exit(0); };
};

// The main window: fixed-size, laid out in twips like its original form,
// forwarding every event to the window logic and serving it as its file
// list, output choice and window mechanics.
class MainWindow final : public QWidget, public FileList, public OutputChoice, public WindowChrome {
    Q_OBJECT
public:
    explicit MainWindow(WindowServices services, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Runs the start-up sequence; call once before show().
    void load();
    // Adds paths to the list as a drop of them does.
    void openPaths(const std::vector<std::string> &paths);

    MainWindowLogic &logic() { return *m_logic; }
    QPushButton *button(Command command) const { return m_buttons.at(command); }
    QTreeView *listView() const { return m_list; }
    FileListModel *listModel() const { return m_model; }
    int twipsToPixels(int twips) const;

    // FileList
    void appendRows(const std::vector<std::string> &paths) override;
    std::size_t rowCount() const override;
    std::string rowText(std::size_t index) const override;
    std::optional<std::size_t> selectedRow() const override;
    void removeRow(std::size_t index) override;
    void clearRows() override;
    // OutputChoice
    std::string outputFolder() const override;
    void setOutputFolder(const std::string &folder) override;
    bool useHtmExtension() const override;
    // WindowChrome
    int pointer() const override { return m_pointer; }
    void setPointer(int pointer) override;
    void processEvents() override;
    void setCaption(const std::string &caption) override;
    void centre() override;
    void applySkin(const std::string &skinFile) override;
    void loadHandPointer(const std::string &cursorFile) override;
    void setIcon() override;
    void createListColumn() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void place(QWidget *w, const window_layout::Rect &r);
    // The list view itself or one of its parts (rows, header).
    bool isListPart(const QObject *watched) const;
    // Runs a handler of the logic; when the user closed the window meanwhile,
    // the handler has unwound and the program ends.
    void handle(const std::function<void()> &handler);

    WindowServices m_services;
    std::unique_ptr<MainWindowLogic> m_logic;
    FileListModel *m_model = nullptr;
    QTreeView *m_list = nullptr;
    QGroupBox *m_extensionFrame = nullptr;
    QGroupBox *m_outputFrame = nullptr;
    QLineEdit *m_outputFolder = nullptr;
    QRadioButton *m_htmOption = nullptr;
    QRadioButton *m_htmlOption = nullptr;
    std::map<Command, QPushButton *> m_buttons;
    int m_pointer = kPointerDefault;
    bool m_closed = false;
    std::optional<QCursor> m_handCursor;
};

// The paths among the program's arguments (the toolkit has taken its own
// options out already): every argument after the program name that does not
// begin with "-", and every one after "--", made absolute.
std::vector<std::string> pathsToOpen(const QStringList &arguments);

} // namespace velloran

#pragma once

#include <QCursor>
#include <QWidget>
#include <memory>
#include <optional>

#include "core/form1.h"
#include "core/form_port.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace velloran {

class Dialogs;
class FileListModel;

// What the window is built from; tests hand in stand-ins.
struct Form1Services {
    Dialogs &dialogs;
    SettingsStore &settings;
    FileSystem &fs;
    AutomationRegistry &automation;
    QString programFolder;
    std::function<double()> random01;
    QString homePage;
};

// The main window: fixed-size, laid out in twips like its original form,
// forwarding every event to the Form1 logic and serving it as its FormPort.
class Form1Window final : public QWidget, public FormPort {
    Q_OBJECT
public:
    explicit Form1Window(Form1Services services, QWidget *parent = nullptr);
    ~Form1Window() override;

    // Runs the start-up sequence; call once before show().
    void load();

    Form1 &logic() { return *m_logic; }
    QTreeView *listView() const { return m_list; }
    FileListModel *listModel() const { return m_model; }
    int twipsToPixels(int twips) const;

    // FormPort
    int msgBox(const std::string &text, int style, const std::string &title) override;
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultAnswer) override;
    std::vector<std::string> showOpen(const OpenFileRequest &request) override;
    std::string browseForFolder(const std::string &prompt) override;
    int mousePointer() const override { return m_pointer; }
    void setMousePointer(int pointer) override;
    void doEvents() override;
    void appendRows(const std::vector<std::string> &paths) override;
    std::size_t rowCount() const override;
    std::string rowText(std::size_t index) const override;
    std::optional<std::size_t> selectedRow() const override;
    void removeRow(std::size_t index) override;
    void clearRows() override;
    std::string text1() const override;
    void setText1(const std::string &text) override;
    bool option1() const override;
    void setCaption(const std::string &caption) override;
    void openInShell(const std::string &pathOrAddress) override;
    void centerForm() override;
    void applySkin(const std::string &skinFile) override;
    void loadHandPointer(const std::string &cursorFile) override;
    void setIcon() override;
    void createListColumn() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QPushButton *makeButton(const char *name, const QString &caption, QWidget *parent, int left,
                            int top, int width, int height);
    void place(QWidget *w, int left, int top, int width, int height);

    Form1Services m_services;
    std::unique_ptr<Form1> m_logic;
    FileListModel *m_model = nullptr;
    QTreeView *m_list = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QGroupBox *m_frame2 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    QPushButton *m_buttons[8] = {};
    int m_pointer = kPointerDefault;
    std::optional<QCursor> m_handCursor;
};

} // namespace velloran

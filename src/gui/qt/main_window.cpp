#include "gui/qt/main_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>
#include <QtMath>

#include "core/path_rules.h"
#include "core/window_layout.h"
#include "gui/qt/file_list_model.h"
#include "gui/qt/hand_cursor.h"

namespace velloran {

namespace {

namespace layout = window_layout;

QString qs(const std::string &s) {
    return QString::fromStdString(s);
}
std::string ss(const QString &s) {
    return s.toStdString();
}

QFont arialBold(qreal points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// An option button fills its background from the Button role, every other
// control from the Window role: both take the colour.
void setBackground(QWidget *w, const QColor &color) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, color);
    if (qobject_cast<QRadioButton *>(w))
        pal.setColor(QPalette::Button, color);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

// Some styles (Fusion among them) draw a frame as a tinted panel, which
// hides the frame's own background; this draws a plain line around it.
class PlainFrameStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override {
        if (element != PE_FrameGroupBox)
            return QProxyStyle::drawPrimitive(element, option, painter, widget);
        // Below the caption, where the style's own frame would begin.
        const int top = option->fontMetrics.height();
        painter->save();
        painter->setPen(option->palette.color(QPalette::Mid));
        painter->drawRect(option->rect.adjusted(0, top, -1, -1));
        painter->restore();
    }
};

// Only a list of local files may be dropped on the list.
std::optional<std::vector<std::string>> droppedFiles(const QMimeData *data) {
    if (!data || !data->hasUrls())
        return std::nullopt;
    std::vector<std::string> paths;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            return std::nullopt;
        paths.push_back(ss(QDir::toNativeSeparators(url.toLocalFile())));
    }
    if (paths.empty())
        return std::nullopt;
    return paths;
}

} // namespace

MainWindow::MainWindow(WindowServices services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_services(std::move(services)) {
    setObjectName(QString::fromLatin1(object_name::kWindow));
    setFont(arialBold(layout::kWindowFontPoints));
    setBackground(this, Qt::white);
    setFixedSize(twipsToPixels(layout::kClientWidth), twipsToPixels(layout::kClientHeight));

    const auto makeButton = [this](const layout::ButtonLayout &b, QWidget *parent) {
        auto *button = new QPushButton(QString::fromLatin1(b.caption), parent);
        button->setObjectName(QString::fromLatin1(buttonName(b.command).objectName.data()));
        button->setFont(arialBold(layout::kButtonFontPoints));
        button->setAutoDefault(false);
        button->setMouseTracking(true);
        button->installEventFilter(this);
        place(button, b.rect);
        connect(button, &QPushButton::clicked, this,
                [this, command = b.command] { handle([&] { m_logic->run(command); }); });
        m_buttons[b.command] = button;
    };

    // Controls in the order the original form creates them.
    m_outputFrame = new QGroupBox(QString::fromLatin1(layout::kOutputFrameCaption), this);
    m_outputFrame->setObjectName(QString::fromLatin1(object_name::kOutputFrame));
    place(m_outputFrame, layout::kOutputFrame);
    m_outputFolder = new QLineEdit(m_outputFrame);
    m_outputFolder->setObjectName(QString::fromLatin1(object_name::kOutputFolderBox));
    place(m_outputFolder, layout::kOutputFolderBox);
    makeButton(layout::kButtons[0], m_outputFrame);
    makeButton(layout::kButtons[1], this);
    m_extensionFrame = new QGroupBox(QString::fromLatin1(layout::kExtensionFrameCaption), this);
    m_extensionFrame->setObjectName(QString::fromLatin1(object_name::kExtensionFrame));
    place(m_extensionFrame, layout::kExtensionFrame);
    m_htmlOption =
        new QRadioButton(QString::fromLatin1(layout::kHtmlOptionCaption), m_extensionFrame);
    m_htmlOption->setObjectName(QString::fromLatin1(object_name::kHtmlOption));
    place(m_htmlOption, layout::kHtmlOption);
    m_htmOption =
        new QRadioButton(QString::fromLatin1(layout::kHtmOptionCaption), m_extensionFrame);
    m_htmOption->setObjectName(QString::fromLatin1(object_name::kHtmOption));
    place(m_htmOption, layout::kHtmOption);
    m_htmOption->setChecked(true);

    m_model = new FileListModel(this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QString::fromLatin1(object_name::kFileList));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->header()->setStretchLastSection(false);
    // The whole list takes drops: its rows, its header and its scroll bars.
    for (QWidget *w : {static_cast<QWidget *>(m_list), m_list->viewport(),
                       static_cast<QWidget *>(m_list->header()), m_list->header()->viewport()})
        w->setAcceptDrops(true);
    m_list->setDropIndicatorShown(false);
    m_list->setToolTip(QString::fromLatin1(layout::kFileListHint));
    place(m_list, layout::kFileList);

    for (std::size_t i = 2; i < layout::kButtons.size(); ++i)
        makeButton(layout::kButtons[i], this);

    for (QWidget *w :
         {static_cast<QWidget *>(m_extensionFrame), static_cast<QWidget *>(m_outputFrame),
          static_cast<QWidget *>(m_htmOption), static_cast<QWidget *>(m_htmlOption)})
        setBackground(w, Qt::white);
    auto *frameStyle = new PlainFrameStyle;
    frameStyle->setParent(this);
    m_extensionFrame->setStyle(frameStyle);
    m_outputFrame->setStyle(frameStyle);

    // Keyboard order: the list first, then as the original tab indexes run.
    QWidget *order[] = {m_list,
                        button(Command::AddFiles),
                        button(Command::AddFolderTree),
                        m_htmOption,
                        m_htmlOption,
                        button(Command::ExportAll),
                        button(Command::ShowHelp),
                        button(Command::ClearList),
                        button(Command::AddSamples),
                        m_outputFolder,
                        button(Command::ChooseOutputFolder)};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    // Mouse moves drive the pointer rules, so every surface tracks the mouse.
    setMouseTracking(true);
    for (QWidget *w : {static_cast<QWidget *>(m_extensionFrame),
                       static_cast<QWidget *>(m_outputFrame), m_list->viewport()}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    m_list->installEventFilter(this);
    m_list->header()->installEventFilter(this);
    m_list->header()->viewport()->installEventFilter(this);

    WindowContext context{{m_services.dialogs, *this, *this, *this},
                          m_services.settings,
                          m_services.fs,
                          m_services.automation,
                          ss(QDir::toNativeSeparators(m_services.programFolder)),
                          [] {
                              // Qt names ~/Desktop whether or not it exists; a missing one
                              // counts as unknown, so the home folder stands in.
                              const QString desktop =
                                  QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
                              return QFileInfo(desktop).isDir()
                                         ? ss(QDir::toNativeSeparators(desktop))
                                         : std::string();
                          },
                          [] { return ss(QDir::toNativeSeparators(QDir::homePath())); },
                          m_services.random01,
                          ss(m_services.homePage)};
    m_logic = std::make_unique<MainWindowLogic>(std::move(context));

    connect(m_outputFolder, &QLineEdit::textChanged, this,
            [this] { m_logic->outputFolderEdited(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::load() {
    m_logic->load();
    m_list->setFocus(Qt::OtherFocusReason);
}

void MainWindow::openPaths(const std::vector<std::string> &paths) {
    if (!paths.empty())
        handle([&] { m_logic->dropItems(paths); });
}

std::vector<std::string> pathsToOpen(const QStringList &arguments) {
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (optionsEnded || !arg.startsWith(u'-')) {
            paths.push_back(ss(QDir::toNativeSeparators(QFileInfo(arg).absoluteFilePath())));
        }
    }
    return paths;
}

int MainWindow::twipsToPixels(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

void MainWindow::place(QWidget *w, const window_layout::Rect &r) {
    w->setGeometry(twipsToPixels(r.left), twipsToPixels(r.top), twipsToPixels(r.width),
                   twipsToPixels(r.height));
}

void MainWindow::handle(const std::function<void()> &handler) {
    try {
        handler();
    } catch (const WindowClosed &) {
        // The user closed the window during a folder walk: end the program
        // now, without finishing the walk.
        m_services.endProgram();
    }
}

bool MainWindow::isListPart(const QObject *watched) const {
    return watched == m_list || watched == m_list->viewport() || watched == m_list->header() ||
           watched == m_list->header()->viewport();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    const bool isButton = qobject_cast<QPushButton *>(watched) != nullptr;
    switch (event->type()) {
    case QEvent::MouseMove:
        if (isButton)
            m_logic->pointerOverButton();
        else
            m_logic->pointerOverSurface();
        break;
    case QEvent::KeyPress:
        if (watched == m_list) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Delete) {
                int shift = 0;
                if (key->modifiers() & Qt::ShiftModifier)
                    shift |= 1;
                if (key->modifiers() & Qt::ControlModifier)
                    shift |= 2;
                if (key->modifiers() & Qt::AltModifier)
                    shift |= 4;
                m_logic->listKeyPressed(kDeleteKey, shift);
                return true;
            }
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == m_list->viewport()) {
            m_logic->listDoubleClicked();
            return true;
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (isListPart(watched)) {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (m_logic->acceptsDrag(droppedFiles(drag->mimeData()).has_value()))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        break;
    case QEvent::Drop:
        if (isListPart(watched)) {
            auto *drop = static_cast<QDropEvent *>(event);
            if (const auto files = droppedFiles(drop->mimeData())) {
                drop->acceptProposedAction();
                handle([&] { m_logic->dropItems(*files); });
            } else {
                drop->ignore();
            }
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event) {
    // Only the window's own background (the gaps between controls and the
    // margins) counts; moves that children pass up are theirs.
    if (!childAt(event->position().toPoint()))
        m_logic->pointerOverSurface();
    QWidget::mouseMoveEvent(event);
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // During an export the window takes no input but its modal boxes; closing
    // it then would pull the window out from under the running batch.
    if (m_logic->exporting()) {
        event->ignore();
        return;
    }
    m_closed = true;
    event->accept();
}

void MainWindow::setPointer(int pointer) {
    m_pointer = pointer;
    if (pointer == kPointerBusy)
        setCursor(Qt::WaitCursor);
    else if (pointer == kPointerCustom && m_handCursor)
        setCursor(*m_handCursor);
    else
        unsetCursor();
}

void MainWindow::processEvents() {
    QCoreApplication::processEvents();
    if (m_closed)
        throw WindowClosed();
}

void MainWindow::appendRows(const std::vector<std::string> &paths) {
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(paths.size()));
    for (const auto &p : paths)
        rows << qs(p);
    m_model->appendPaths(rows);
}

std::size_t MainWindow::rowCount() const {
    return static_cast<std::size_t>(m_model->rowCount());
}

std::string MainWindow::rowText(std::size_t index) const {
    if (index < 1 || index > rowCount())
        throw std::out_of_range("Index out of bounds");
    return ss(m_model->path(static_cast<int>(index - 1)));
}

std::optional<std::size_t> MainWindow::selectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return static_cast<std::size_t>(rows.first().row()) + 1;
}

void MainWindow::removeRow(std::size_t index) {
    if (index < 1 || index > rowCount())
        throw std::out_of_range("Index out of bounds");
    m_model->removePath(static_cast<int>(index - 1));
}

void MainWindow::clearRows() {
    m_model->clear();
}

std::string MainWindow::outputFolder() const {
    return ss(m_outputFolder->text());
}

void MainWindow::setOutputFolder(const std::string &folder) {
    m_outputFolder->setText(qs(folder));
}

bool MainWindow::useHtmExtension() const {
    return m_htmOption->isChecked();
}

void MainWindow::setCaption(const std::string &caption) {
    setWindowTitle(qs(caption));
}

void MainWindow::centre() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = frameGeometry();
    const Point p = centredPosition(screen->geometry().width(), screen->geometry().height(),
                                    frame.width(), frame.height());
    move(qFloor(p.x), qFloor(p.y));
}

void MainWindow::applySkin(const std::string &skinFile) {
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    setBackground(this, buttonFace);
    for (QWidget *w :
         {static_cast<QWidget *>(m_extensionFrame), static_cast<QWidget *>(m_outputFrame),
          static_cast<QWidget *>(m_htmOption), static_cast<QWidget *>(m_htmlOption)})
        setBackground(w, buttonFace);
    QFile file(qs(skinFile));
    if (file.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(file.readAll()));
}

void MainWindow::loadHandPointer(const std::string &cursorFile) {
    m_handCursor = loadCursorFile(qs(cursorFile));
}

void MainWindow::setIcon() {
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/velloran-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
}

void MainWindow::createListColumn() {
    m_model->setHeader(QString::fromLatin1(layout::kListColumnHeader));
    m_list->setColumnWidth(0, twipsToPixels(layout::kListColumnWidth));
}

} // namespace velloran

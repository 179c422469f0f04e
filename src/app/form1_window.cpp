#include "app/form1_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>
#include <QtMath>

#include "app/dialogs.h"
#include "app/file_list_model.h"
#include "app/hand_cursor.h"
#include "core/path_rules.h"

namespace velloran {

namespace {

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

void setBackground(QWidget *w, const QColor &color) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, color);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

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

Form1Window::Form1Window(Form1Services services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_services(std::move(services)) {
    setObjectName(QStringLiteral("Form1"));
    setFont(arialBold(9));
    setBackground(this, Qt::white);
    setFixedSize(twipsToPixels(8040), twipsToPixels(6735));

    // Controls in the order the original form creates them.
    m_frame2 = new QGroupBox(QStringLiteral("Save Results To This Folder"), this);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    place(m_frame2, 120, 5340, 7800, 765);
    m_text1 = new QLineEdit(m_frame2);
    m_text1->setObjectName(QStringLiteral("Text1"));
    place(m_text1, 240, 270, 6495, 345);
    m_buttons[5] = makeButton("PushButton5", QStringLiteral("..."), m_frame2, 6840, 270, 720, 345);
    m_buttons[1] = makeButton("PushButton1", QStringLiteral("Help"), this, 120, 90, 7800, 405);
    m_frame1 = new QGroupBox(QStringLiteral("File Extension Options"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    place(m_frame1, 120, 4230, 7800, 1040);
    m_option2 = new QRadioButton(QStringLiteral("Use 'html' as extension"), m_frame1);
    m_option2->setObjectName(QStringLiteral("Option2"));
    place(m_option2, 240, 650, 2415, 255);
    m_option1 = new QRadioButton(QStringLiteral("Use 'htm' as extension"), m_frame1);
    m_option1->setObjectName(QStringLiteral("Option1"));
    place(m_option1, 240, 300, 2295, 255);
    m_option1->setChecked(true);

    m_model = new FileListModel(this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->header()->setStretchLastSection(false);
    m_list->setAcceptDrops(true);
    m_list->viewport()->setAcceptDrops(true);
    m_list->setDropIndicatorShown(false);
    m_list->setToolTip(QStringLiteral("Drag and drop files here. Double-click item to remove it. "
                                      "Move bar to right and out of window to reveal full names."));
    place(m_list, 120, 600, 7800, 2595);

    m_buttons[3] = makeButton("PushButton3", QStringLiteral("Add PowerPoint File(s)"), this, 120,
                              3270, 3840, 405);
    m_buttons[6] = makeButton("PushButton6", QStringLiteral("Add All File(s) In Folder"), this,
                              4080, 3270, 3840, 405);
    m_buttons[7] = makeButton("PushButton7", QStringLiteral("Start Exporting To HTML"), this, 120,
                              6210, 7800, 405);
    m_buttons[2] =
        makeButton("PushButton2", QStringLiteral("Clear List"), this, 120, 3780, 3840, 405);
    m_buttons[4] = makeButton("PushButton4", QStringLiteral("Load Sample/Example Files"), this,
                              4080, 3780, 3840, 405);

    for (QWidget *w : {static_cast<QWidget *>(m_frame1), static_cast<QWidget *>(m_frame2),
                       static_cast<QWidget *>(m_option1), static_cast<QWidget *>(m_option2)})
        setBackground(w, Qt::white);

    // Keyboard order: the list first, then as the original tab indexes run.
    QWidget *order[] = {m_list,       m_buttons[3], m_buttons[6], m_option1,
                        m_option2,    m_buttons[7], m_buttons[1], m_buttons[2],
                        m_buttons[4], m_text1,      m_buttons[5]};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    // Mouse moves drive the pointer rules, so every surface tracks the mouse.
    setMouseTracking(true);
    for (QWidget *w :
         {static_cast<QWidget *>(m_frame1), static_cast<QWidget *>(m_frame2), m_list->viewport()}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    m_list->installEventFilter(this);

    Form1Context context{*this,
                         m_services.settings,
                         m_services.fs,
                         m_services.automation,
                         ss(QDir::toNativeSeparators(m_services.programFolder)),
                         [] { return std::string(); },
                         [] { return ss(QDir::toNativeSeparators(QDir::homePath())); },
                         m_services.random01,
                         ss(m_services.homePage)};
    context.desktopPath = [] {
        return ss(QDir::toNativeSeparators(
            QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)));
    };
    m_logic = std::make_unique<Form1>(std::move(context));

    connect(m_text1, &QLineEdit::textChanged, this, [this] { m_logic->Text1_Change(); });
    const std::pair<int, void (Form1::*)()> handlers[] = {
        {1, &Form1::PushButton1_Click}, {2, &Form1::PushButton2_Click},
        {3, &Form1::PushButton3_Click}, {4, &Form1::PushButton4_Click},
        {5, &Form1::PushButton5_Click}, {6, &Form1::PushButton6_Click},
        {7, &Form1::PushButton7_Click}};
    for (const auto &[index, handler] : handlers)
        connect(m_buttons[index], &QPushButton::clicked, this,
                [this, handler = handler] { (m_logic.get()->*handler)(); });
}

Form1Window::~Form1Window() = default;

void Form1Window::load() {
    m_logic->Form1_Load();
    m_list->setFocus(Qt::OtherFocusReason);
}

int Form1Window::twipsToPixels(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

void Form1Window::place(QWidget *w, int left, int top, int width, int height) {
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                   twipsToPixels(height));
}

QPushButton *Form1Window::makeButton(const char *name, const QString &caption, QWidget *parent,
                                     int left, int top, int width, int height) {
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(arialBold(11.25));
    button->setAutoDefault(false);
    button->setMouseTracking(true);
    button->installEventFilter(this);
    place(button, left, top, width, height);
    return button;
}

bool Form1Window::eventFilter(QObject *watched, QEvent *event) {
    const bool isButton = qobject_cast<QPushButton *>(watched) != nullptr;
    switch (event->type()) {
    case QEvent::MouseMove:
        if (isButton)
            m_logic->ButtonMouseMove();
        else
            m_logic->SurfaceMouseMove();
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
                m_logic->ListView1_KeyDown(kDeleteKey, shift);
                return true;
            }
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == m_list->viewport()) {
            m_logic->ListView1_DblClick();
            return true;
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (watched == m_list->viewport()) {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (m_logic->ListView1_OLEDragOver(droppedFiles(drag->mimeData()).has_value()))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        break;
    case QEvent::Drop:
        if (watched == m_list->viewport()) {
            auto *drop = static_cast<QDropEvent *>(event);
            if (const auto files = droppedFiles(drop->mimeData())) {
                drop->acceptProposedAction();
                m_logic->ListView1_OLEDragDrop(*files);
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

void Form1Window::closeEvent(QCloseEvent *event) {
    // During an export the window takes no input but its modal boxes; closing
    // it then would pull the window out from under the running batch.
    if (m_logic->exporting())
        event->ignore();
    else
        event->accept();
}

int Form1Window::msgBox(const std::string &text, int style, const std::string &title) {
    return m_services.dialogs.msgBox(this, qs(text), style, qs(title));
}

std::string Form1Window::inputBox(const std::string &prompt, const std::string &title,
                                  const std::string &defaultAnswer) {
    return ss(m_services.dialogs.inputBox(this, qs(prompt), qs(title), qs(defaultAnswer)));
}

std::vector<std::string> Form1Window::showOpen(const OpenFileRequest &request) {
    std::vector<std::string> out;
    for (const QString &path : m_services.dialogs.showOpen(this, request))
        out.push_back(ss(path));
    return out;
}

std::string Form1Window::browseForFolder(const std::string &prompt) {
    return ss(m_services.dialogs.browseForFolder(this, qs(prompt)));
}

void Form1Window::setMousePointer(int pointer) {
    m_pointer = pointer;
    if (pointer == kPointerBusy)
        setCursor(Qt::WaitCursor);
    else if (pointer == kPointerCustom && m_handCursor)
        setCursor(*m_handCursor);
    else
        unsetCursor();
}

void Form1Window::doEvents() {
    QCoreApplication::processEvents();
}

void Form1Window::appendRows(const std::vector<std::string> &paths) {
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(paths.size()));
    for (const auto &p : paths)
        rows << qs(p);
    m_model->appendPaths(rows);
}

std::size_t Form1Window::rowCount() const {
    return static_cast<std::size_t>(m_model->rowCount());
}

std::string Form1Window::rowText(std::size_t index) const {
    if (index < 1 || index > rowCount())
        throw std::out_of_range("Index out of bounds");
    return ss(m_model->path(static_cast<int>(index - 1)));
}

std::optional<std::size_t> Form1Window::selectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return static_cast<std::size_t>(rows.first().row()) + 1;
}

void Form1Window::removeRow(std::size_t index) {
    if (index < 1 || index > rowCount())
        throw std::out_of_range("Index out of bounds");
    m_model->removePath(static_cast<int>(index - 1));
}

void Form1Window::clearRows() {
    m_model->clear();
}

std::string Form1Window::text1() const {
    return ss(m_text1->text());
}

void Form1Window::setText1(const std::string &text) {
    m_text1->setText(qs(text));
}

bool Form1Window::option1() const {
    return m_option1->isChecked();
}

void Form1Window::setCaption(const std::string &caption) {
    setWindowTitle(qs(caption));
}

void Form1Window::openInShell(const std::string &pathOrAddress) {
    m_services.dialogs.openInShell(qs(pathOrAddress));
}

void Form1Window::centerForm() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = frameGeometry();
    const Point p = CenterForm(screen->geometry().width(), screen->geometry().height(),
                               frame.width(), frame.height());
    move(qFloor(p.x), qFloor(p.y));
}

void Form1Window::applySkin(const std::string &skinFile) {
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    setBackground(this, buttonFace);
    for (QWidget *w : {static_cast<QWidget *>(m_frame1), static_cast<QWidget *>(m_frame2),
                       static_cast<QWidget *>(m_option1), static_cast<QWidget *>(m_option2)})
        setBackground(w, buttonFace);
    QFile file(qs(skinFile));
    if (file.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(file.readAll()));
}

void Form1Window::loadHandPointer(const std::string &cursorFile) {
    m_handCursor = loadCursorFile(qs(cursorFile));
}

void Form1Window::setIcon() {
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/velloran-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
}

void Form1Window::createListColumn() {
    m_model->setHeader(QStringLiteral("PowerPoint File(s)"));
    m_list->setColumnWidth(0, twipsToPixels(7000));
}

} // namespace velloran

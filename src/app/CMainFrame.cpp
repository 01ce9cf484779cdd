#include "app/CMainFrame.h"
#include "app/LockKeys.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QTimerEvent>
#include <QToolBar>
#include <QUrl>

#include "app/AppArt.h"
#include "app/AppCommands.h"
#include "app/AppHooks.h"
#include "app/AppPaths.h"
#include "app/CAboutDlg.h"
#include "app/CChildFrame.h"
#include "app/CMachineDlg.h"
#include "app/CProgressBar.h"
#include "app/CSermidaDoc.h"
#include "app/CSermidaView.h"
#include "app/CShopStatusDlg.h"
#include "app/CSplashWnd.h"
#include "app/CTransferBar.h"
#include "app/WindowPlacement.h"
#include "common/SettingsFolder.h"
#include "common/StringTable.h"
#include "editor/text/TextEncoding.h"
#include "editor/view/EditCommands.h"
#include "editor/view/EditorProfile.h"
#include "editor/view/ViewCommands.h"
#include "editor/view/ViewPrinter.h"
#include "service/ServiceConfig.h"
#include "transfer/TransferMessages.h"
#include <initializer_list>

namespace {

constexpr int kStatusMs = 10;
constexpr int kSplashMs = 2000;
constexpr int kRecentFiles = 4;
constexpr int kRecentShown = 30; // characters of a path shown in the menu
const char* const kRecentSection = "Recent File List";

// The items the active view enables.
constexpr int kViewDecides[] = {
    ID_EDIT_COPY,         ID_EDIT_CUT,           ID_EDIT_PASTE,        ID_EDIT_DELETE,
    ID_EDIT_SELECT_ALL,   ID_EDIT_UNDO,          ID_EDIT_REDO,         ID_EDIT_FIND,
    ID_EDIT_FIND_NEXT,    ID_EDIT_FIND_PREVIOUS, ID_EDIT_REPLACE,      ID_EDIT_GOTO_LINE,
    ID_EDIT_READ_ONLY,    ID_COMM_SETTINGS,      ID_VIEW_ENCODING_GBK, ID_VIEW_ENCODING_UTF8,
    ID_TOGGLE_PLAIN_MARK, ID_NEXT_PLAIN_MARK,    ID_PREV_PLAIN_MARK,   ID_CLEAR_PLAIN_MARKS,
    ID_FILE_PRINT,        ID_FILE_PRINT_PREVIEW,
};

// Sets a status pane's text only when it changed: the panes are fed every
// 10 ms. True when it changed.
bool SetPaneText(QLabel* pane, const QString& text) {
    if (pane->text() == text)
        return false;
    pane->setText(text);
    return true;
}

QString ShortPath(const QString& path) {
    if (path.size() <= kRecentShown)
        return path;
    const QString name = QFileInfo(path).fileName();
    return QStringLiteral("...") + path.right(std::max<int>(kRecentShown - 3, int(name.size())));
}

} // namespace

CMainFrame::CMainFrame(Options options) {
    if (options.splash)
        ShowSplash();
    setWindowIcon(app_art::AppIcon());
    mdiArea = new QMdiArea(this);
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);
    connect(mdiArea, &QMdiArea::subWindowActivated, this, [this] {
        ApplyMenus();
        UpdateCommandUI();
        UpdateFrameTitle();
    });

    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateStatusBar();
    UpdateFrameTitle();
    setAcceptDrops(true);
    // Files are mostly dropped onto the document area.
    mdiArea->viewport()->setAcceptDrops(true);
    mdiArea->viewport()->installEventFilter(this);
    ApplyMenus();
    // Items a document would enable start disabled: there is none yet.
    UpdateCommandUI();
    UpdateRecentMenu();
    statusTimer.start(kStatusMs, this);

    PlaceOnScreen();
    // Where the operator left the toolbars last time.
    restoreState(OpenProfile()->value(QStringLiteral("Layout/ToolBars")).toByteArray());
    if (splash) {
        // The splash stays up for its time while the window already works. A
        // coarse timer (Qt's default from two seconds on) may end it 5 % early.
        QTimer::singleShot(kSplashMs, Qt::PreciseTimer, this, [this] {
            splash->HideSplash();
            splash->deleteLater();
            splash = nullptr;
        });
    }
}

// Where the operator left the window, when that still fits the screen (a
// smaller screen, or a larger scale, since); else as large as wanted, or as
// the screen allows, in its middle.
void CMainFrame::PlaceOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1100, 720);
    const QByteArray saved = OpenProfile()->value(QStringLiteral("Layout/Geometry")).toByteArray();
    if (!saved.isEmpty() && restoreGeometry(saved) &&
        (isMaximized() || available.contains(frameGeometry())))
        return;
    // Before the first show the frame is unknown: room for a title bar and
    // borders is kept.
    const QMargins frame(8, 36, 8, 8);
    setGeometry(window_placement::FitMain(QSize(1100, 720), available, frame));
}

CMainFrame::~CMainFrame() {
    statusTimer.stop();
    // Children go first: their views refer to the transfer bar.
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        delete w;
    delete splash;
}

void CMainFrame::ShowSplash() {
    auto* s = new CSplashWnd(app_art::Splash());
    splash = s;
    s->show();
}

CMainFrame* CMainFrame::FrameOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (auto* frame = qobject_cast<CMainFrame*>(const_cast<QWidget*>(w)))
            return frame;
    return nullptr;
}

// --- Actions and menus -------------------------------------------------------------

QAction* CMainFrame::AddAction(int id, const QString& text, const QString& prompt) {
    auto* action = new QAction(text, this);
    action->setData(id);
    if (!prompt.isEmpty()) {
        const QStringList parts = prompt.split(QLatin1Char('\n'));
        action->setStatusTip(parts.value(0));
        if (parts.size() > 1)
            action->setToolTip(parts.value(1));
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    actions.insert(id, action);
    return action;
}

void CMainFrame::CreateActions() {
    const auto S = [](const char* s) { return QString::fromUtf8(s); };
    AddAction(ID_FILE_NEW, S("新建(&N)\tCtrl+N"), S("建立新文档\n新建"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    AddAction(ID_FILE_OPEN, S("打开(&O)...\tCtrl+O"), S("打开一个现有文档\n打开"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    AddAction(ID_FILE_OPEN_LIBRARY, S("从程序库打开(&L)..."),
              S("打开 DNC 服务程序库中的程序\n从程序库打开"));
    AddAction(ID_FILE_CLOSE, S("关闭(&C)"), S("关闭活动文档\n关闭"));
    AddAction(ID_FILE_SAVE, S("保存(&S)\tCtrl+S"), S("保存活动文档\n保存"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    AddAction(ID_FILE_SAVE_AS, S("另存为(&A)..."), S("用新名称保存活动文档\n另存为"));
    AddAction(ID_FILE_PRINT, S("打印(&P)...\tCtrl+P"), S("打印活动文档\n打印"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    AddAction(ID_FILE_PRINT_PREVIEW, S("打印预览(&V)"), S("显示整页\n打印预览"));
    AddAction(ID_FILE_PRINT_SETUP, S("打印设置(&R)..."), S("更改打印机和打印选项\n打印设置"));
    AddAction(ID_APP_EXIT, S("退出(&X)"), S("退出应用程序；提示保存文档\n退出"));

    AddAction(ID_EDIT_COPY, S("复制(&C)\tCtrl+C"), S("复制选定内容并将其放到剪贴板上\n复制"));
    AddAction(ID_EDIT_CUT, S("剪切(&T)\tCtrl+X"), S("剪切选定内容并将其放到剪贴板上\n剪切"));
    AddAction(ID_EDIT_PASTE, S("粘贴(&P)\tCtrl+V"), S("插入剪贴板内容\n粘贴"));
    AddAction(ID_EDIT_DELETE, S("删除(&D)\tDel"), S("删除选定内容\n删除"));
    AddAction(ID_EDIT_SELECT_ALL, S("选定所有(&L)\tCtrl+A"), S("选定整个文档\n选定所有"));
    AddAction(ID_EDIT_UNDO, S("撤消(&U)\tCtrl+Z"), S("撤消最后一步操作\n撤消"));
    AddAction(ID_EDIT_REDO, S("重复(&R)\tCtrl+Y"), S("重新执行先前已撤消的操作\n重复"));
    AddAction(ID_EDIT_FIND, S("查找(&F)...\tCtrl+F"), S("查找指定的文本\n查找"));
    AddAction(ID_EDIT_FIND_NEXT, S("查找下一个(&N)\tF3"), S("查找下一个\n查找下一个"));
    AddAction(ID_EDIT_FIND_PREVIOUS, S("查找前一个(&V)\tShift+F3"), S("查找前一个\n查找前一个"));
    AddAction(ID_EDIT_REPLACE, S("替换(&E)...\tCtrl+H"), S("用不同的文本替换特定的文本\n替换"));
    AddAction(ID_EDIT_GOTO_LINE, S("转到行(&G)...\tCtrl+G"), S("转到指定的行或程序段\n转到行"));
    AddAction(ID_EDIT_READ_ONLY, S("文档只读"), S("设置正编辑的文件为只读\n文件只读"))
        ->setCheckable(true);
    AddAction(ID_COMM_SETTINGS, S("设置(&T)"), S("设置通信参数"));
    AddAction(ID_MACHINES, S("机床配置(&M)..."), S("查看、新建和修改机床配置\n机床配置"));
    AddAction(ID_SHOP_STATUS, S("车间机床状态(&W)..."),
              S("查看车间代理报告的各台机床的状态\n车间机床状态"));

    AddAction(ID_VIEW_TOOLBAR, S("工具栏(&T)"), S("显示或隐藏工具栏\n显隐工具栏"))
        ->setCheckable(true);
    AddAction(ID_VIEW_STATUS_BAR, S("状态栏(&S)"), S("显示或隐藏状态栏\n显隐状态栏"))
        ->setCheckable(true);
    QAction* lineNumbers = AddAction(ID_VIEW_LINE_NUMBERS, S("行号"), S("显示或隐藏行号\n行号"));
    lineNumbers->setCheckable(true);
    lineNumbers->setChecked(LoadLineNumbersShown());
    // How the active document's bytes are shown; choosing one changes no byte.
    auto* encodings = new QActionGroup(this);
    encodings->addAction(
        AddAction(ID_VIEW_ENCODING_GBK, S("GBK 编码"), S("按 GBK 编码显示活动文档\nGBK 编码")));
    encodings->addAction(AddAction(ID_VIEW_ENCODING_UTF8, S("UTF-8 编码"),
                                   S("按 UTF-8 编码显示活动文档\nUTF-8 编码")));
    for (QAction* a : encodings->actions())
        a->setCheckable(true);
    AddAction(ID_WINDOW_NEW, S("新建窗口(&N)"), S("为活动文档打开另一个窗口\n新建窗口"));
    AddAction(ID_WINDOW_CASCADE, S("层叠(&C)"), S("以重叠方式排列窗口\n层叠窗口"));
    AddAction(ID_WINDOW_TILE_HORZ, S("平铺(&T)"), S("以非重叠方式排列窗口\n平铺窗口"));
    AddAction(ID_WINDOW_ARRANGE, S("排列图标(&A)"), S("在窗口底部排列图标\n排列图标"));
    AddAction(ID_HELP, S("帮助\tF1"), S("显示帮助\n帮助"))->setShortcut(QKeySequence(Qt::Key_F1));
    AddAction(ID_APP_ABOUT, S("关于 Sermida(&A)..."), S("显示程序信息、版本号和版权\n关于"));

    // Bookmarks on the toolbar: their prompts are the editor's, kept once in
    // the string table.
    const auto P = [](int id) { return QString::fromUtf8(LoadString(id)); };
    AddAction(ID_TOGGLE_PLAIN_MARK, S("设置书签"), P(ID_TOGGLE_PLAIN_PROMPT));
    AddAction(ID_NEXT_PLAIN_MARK, S("下一个书签"), P(ID_NEXT_PLAIN_PROMPT));
    AddAction(ID_PREV_PLAIN_MARK, S("前一个书签"), P(ID_PREV_PLAIN_PROMPT));
    AddAction(ID_CLEAR_PLAIN_MARKS, S("清除所有书签"), P(ID_CLEAR_PLAIN_PROMPT));
}

void CMainFrame::CreateMenus() {
    const auto S = [](const char* s) { return QString::fromUtf8(s); };
    auto fileMenu = [&](bool doc) {
        auto* m = new QMenu(S("文件(&F)"), this);
        m->addAction(actions[ID_FILE_NEW]);
        m->addAction(actions[ID_FILE_OPEN]);
        m->addAction(actions[ID_FILE_OPEN_LIBRARY]);
        if (doc) {
            m->addAction(actions[ID_FILE_CLOSE]);
            m->addAction(actions[ID_FILE_SAVE]);
            m->addAction(actions[ID_FILE_SAVE_AS]);
            m->addSeparator();
            m->addAction(actions[ID_FILE_PRINT]);
            m->addAction(actions[ID_FILE_PRINT_PREVIEW]);
        } else {
            m->addSeparator();
        }
        m->addAction(actions[ID_FILE_PRINT_SETUP]);
        m->addSeparator();
        // Recent files are inserted before this separator.
        recentMenus[doc ? 1 : 0] = m;
        m->addSeparator()->setObjectName(QStringLiteral("recentEnd"));
        m->addAction(actions[ID_APP_EXIT]);
        return m;
    };
    fileMenuEmpty = fileMenu(false);
    fileMenuDoc = fileMenu(true);

    editMenu = new QMenu(S("编辑(&E)"), this);
    for (int id : std::initializer_list<int>{ID_EDIT_COPY, ID_EDIT_CUT, int(ID_EDIT_PASTE),
                                             int(ID_EDIT_DELETE), ID_EDIT_SELECT_ALL})
        editMenu->addAction(actions[id]);
    editMenu->addSeparator();
    editMenu->addAction(actions[ID_EDIT_UNDO]);
    editMenu->addAction(actions[ID_EDIT_REDO]);
    editMenu->addSeparator();
    for (int id :
         std::initializer_list<int>{ID_EDIT_FIND, ID_EDIT_FIND_NEXT, int(ID_EDIT_FIND_PREVIOUS),
                                    int(ID_EDIT_REPLACE), ID_EDIT_GOTO_LINE})
        editMenu->addAction(actions[id]);
    editMenu->addSeparator();
    editMenu->addAction(actions[ID_EDIT_READ_ONLY]);
    connect(editMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

    commMenu = new QMenu(S("通信设置(&S)"), this);
    commMenu->addAction(actions[ID_COMM_SETTINGS]);
    commMenu->addAction(actions[ID_MACHINES]);
    commMenu->addAction(actions[ID_SHOP_STATUS]);

    viewMenu = new QMenu(S("查看(&V)"), this);
    viewMenu->addAction(actions[ID_VIEW_TOOLBAR]);
    viewMenu->addAction(actions[ID_VIEW_STATUS_BAR]);
    viewMenu->addSeparator();
    viewMenu->addAction(actions[ID_VIEW_LINE_NUMBERS]);
    viewMenu->addSeparator();
    viewMenu->addAction(actions[ID_VIEW_ENCODING_GBK]);
    viewMenu->addAction(actions[ID_VIEW_ENCODING_UTF8]);
    connect(viewMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

    windowMenu = new QMenu(S("窗口(&W)"), this);
    for (int id : {ID_WINDOW_NEW, ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE})
        windowMenu->addAction(actions[id]);

    helpMenu = new QMenu(S("帮助(&H)"), this);
    helpMenu->addAction(actions[ID_HELP]);
    helpMenu->addAction(actions[ID_APP_ABOUT]);
}

void CMainFrame::ApplyMenus() {
    const bool docs = !mdiArea->subWindowList().isEmpty();
    if (docs == documentMenus && !menuBar()->actions().isEmpty())
        return;
    documentMenus = docs;
    menuBar()->clear();
    if (docs) {
        for (QMenu* m : {fileMenuDoc, editMenu, commMenu, viewMenu, windowMenu, helpMenu})
            menuBar()->addMenu(m);
    } else {
        for (QMenu* m : {fileMenuEmpty, viewMenu, helpMenu})
            menuBar()->addMenu(m);
    }
}

void CMainFrame::CreateToolBars() {
    standardBar = addToolBar(QStringLiteral("标准"));
    standardBar->setObjectName(QStringLiteral("standard"));
    standardBar->setIconSize(QSize(16, 16));
    const int ids[] = {ID_FILE_NEW,
                       ID_FILE_OPEN,
                       ID_FILE_SAVE,
                       ID_FILE_PRINT,
                       0,
                       ID_EDIT_CUT,
                       ID_EDIT_COPY,
                       ID_EDIT_PASTE,
                       ID_EDIT_UNDO,
                       ID_EDIT_REDO,
                       0,
                       ID_EDIT_FIND,
                       ID_EDIT_FIND_NEXT,
                       ID_EDIT_FIND_PREVIOUS,
                       ID_EDIT_REPLACE,
                       0,
                       ID_TOGGLE_PLAIN_MARK,
                       ID_NEXT_PLAIN_MARK,
                       ID_PREV_PLAIN_MARK,
                       ID_CLEAR_PLAIN_MARKS};
    for (int id : ids) {
        if (id == 0) {
            standardBar->addSeparator();
            continue;
        }
        actions[id]->setIcon(app_art::ToolIcon(id));
        standardBar->addAction(actions[id]);
    }
    addToolBarBreak();
    transferBand = addToolBar(QStringLiteral("传送"));
    transferBand->setObjectName(QStringLiteral("transfer"));
    transferBar = new CTransferBar(*this, transferBand);
    transferBand->addWidget(transferBar);

    actions[ID_VIEW_TOOLBAR]->setChecked(true);
    actions[ID_VIEW_STATUS_BAR]->setChecked(true);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    // The message pane: "就绪", or the transfer's figures and how it ended.
    figuresPane = new QLabel(QStringLiteral("就绪"), bar);
    figuresPane->setMinimumWidth(170);
    bar->addWidget(figuresPane, 1);
    timePane = new QLabel(QStringLiteral("操作时间 00:00:00"), bar);
    timePane->setMinimumWidth(100);
    bar->addPermanentWidget(timePane);
    progress = new CProgressBar(bar);
    progress->setMinimumWidth(200);
    progress->setMaximumHeight(16);
    progress->SetRange(0, 100);
    progress->SetBarColour(QColor(255, 0, 0));
    bar->addPermanentWidget(progress);
    positionPane = new QLabel(QStringLiteral("行    0  列    0"), bar);
    positionPane->setMinimumWidth(100);
    bar->addPermanentWidget(positionPane);
    const QFontMetrics fm(bar->font());
    auto indicator = [&](const char* text) {
        auto* label = new QLabel(bar);
        label->setMinimumWidth(fm.horizontalAdvance(QString::fromUtf8(text)) + 6);
        label->setAlignment(Qt::AlignCenter);
        bar->addPermanentWidget(label);
        return label;
    };
    encodingPane = indicator("UTF-8");
    readOnlyPane = indicator(" 文档只读 ");
    overwritePane = indicator("改写");
    lockPanes[0] = indicator("大写");
    lockPanes[1] = indicator("数字");
    lockPanes[2] = indicator("滚动");
}

// Each light is a round trip to the X server: four times a second will do.
void CMainFrame::UpdateLockKeys() {
    if (statusTicks++ % 25 != 0)
        return;
    const LockKeys keys = QueryLockKeys();
    const bool on[3] = {keys.caps, keys.num, keys.scroll};
    const char* texts[3] = {"大写", "数字", "滚动"};
    for (int i = 0; i < 3; ++i)
        SetPaneText(lockPanes[i], on[i] ? QString::fromUtf8(texts[i]) : QString());
}

void CMainFrame::UpdateCommandUI() {
    CSermidaView* view = ActiveView();
    for (int id : kViewDecides)
        actions[id]->setEnabled(view && view->IsCommandEnabled(id));
    for (int id : {ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_WINDOW_NEW})
        actions[id]->setEnabled(view != nullptr);
    for (int id : {ID_VIEW_ENCODING_GBK, ID_VIEW_ENCODING_UTF8})
        actions[id]->setChecked(view && view->IsCommandChecked(id));
    if (view) {
        actions[ID_EDIT_READ_ONLY]->setChecked(view->GetDocument()->Buffer().IsWriteProtected());
        actions[ID_EDIT_UNDO]->setText(view->UndoMenuText());
        actions[ID_EDIT_REDO]->setText(view->RedoMenuText());
    }
}

void CMainFrame::OnCommand(int id) {
    CSermidaView* view = ActiveView();
    switch (id) {
    case ID_FILE_NEW:
        OnFileNew();
        return;
    case ID_FILE_OPEN:
        OnFileOpen();
        return;
    case ID_FILE_OPEN_LIBRARY:
        OnFileOpenLibrary();
        return;
    case ID_SHOP_STATUS:
        OnShopStatus();
        return;
    case ID_FILE_CLOSE:
        if (CChildFrame* child = ActiveChild())
            child->close();
        return;
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
        if (view)
            SaveDocument(view->GetDocument(), id == ID_FILE_SAVE_AS);
        return;
    case ID_APP_EXIT:
        // Ends the program, whatever other windows (the manual) are open.
        if (close())
            QCoreApplication::quit();
        return;
    case ID_VIEW_TOOLBAR:
        standardBar->setVisible(!standardBar->isVisible());
        transferBand->setVisible(standardBar->isVisible());
        actions[id]->setChecked(standardBar->isVisible());
        return;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(!statusBar()->isVisible());
        actions[id]->setChecked(statusBar()->isVisible());
        return;
    case ID_VIEW_LINE_NUMBERS: {
        // The item has toggled itself. Every window follows, later ones and
        // the next start too.
        const bool on = actions[id]->isChecked();
        for (CSermidaView* v : AllViews())
            v->ShowLineNumbers(on);
        SaveLineNumbersShown(on);
        return;
    }
    case ID_WINDOW_NEW:
        OnWindowNew();
        return;
    case ID_WINDOW_CASCADE:
        Cascade();
        return;
    case ID_WINDOW_TILE_HORZ:
        mdiArea->tileSubWindows();
        return;
    case ID_WINDOW_ARRANGE:
        ArrangeIcons();
        return;
    case ID_HELP:
        OnHelp();
        return;
    case ID_APP_ABOUT:
        OnAbout();
        return;
    case ID_MACHINES:
        OnMachines();
        return;
    case ID_FILE_PRINT_SETUP:
        PrinterSetup(this, app_hooks::RunModal);
        return;
    default:
        if (view) {
            view->ExecuteCommand(id);
            view->setFocus();
            UpdateCommandUI();
        }
        return;
    }
}

// --- Documents -------------------------------------------------------------------

CChildFrame* CMainFrame::AddChild(CSermidaView* view) {
    auto* child = new CChildFrame(view);
    mdiArea->addSubWindow(child);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    view->ApplyFont(font);
    view->ShowLineNumbers(actions[ID_VIEW_LINE_NUMBERS]->isChecked());
    // Inside the document area, stepped from the last one, at a size to read.
    child->setGeometry(window_placement::Cascade(int(mdiArea->subWindowList().size()) - 1,
                                                 mdiArea->viewport()->size(), CascadeStep()));
    child->show();
    view->InitialUpdate();
    view->setFocus();
    // The frame's title names the active document, also after Save As; a
    // closed window may have been the active one.
    connect(view->GetDocument(), &CSermidaDoc::TitleChanged, this, &CMainFrame::UpdateFrameTitle,
            Qt::UniqueConnection);
    connect(child, &QMdiSubWindow::windowStateChanged, this, &CMainFrame::UpdateFrameTitle);
    connect(child, &QObject::destroyed, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                ApplyMenus();
                UpdateFrameTitle();
            },
            Qt::QueuedConnection);
    });
    ApplyMenus();
    UpdateFrameTitle();
    return child;
}

CSermidaDoc* CMainFrame::OnFileNew() {
    auto* doc = new CSermidaDoc;
    if (!doc->OnNewDocument()) {
        delete doc;
        return nullptr;
    }
    AddChild(new CSermidaView(doc));
    return doc;
}

void CMainFrame::OnFileOpen() {
    // The dialog starts where the operator last picked a program.
    const QString key = QStringLiteral("Layout/OpenFolder");
    QString folder = OpenProfile()->value(key).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString path = app_hooks::openFileName(this, folder);
    if (path.isEmpty())
        return;
    OpenProfile()->setValue(key, QFileInfo(path).absolutePath());
    OpenDocumentFile(path);
}

void CMainFrame::OnFileOpenLibrary() {
    const QString config = QString::fromStdString(DefaultServiceConfigPath());
    QString folder = QString::fromStdString(DefaultServiceLibrary());
    bool configured = false;
    if (QFileInfo::exists(config)) {
        ServiceConfig service;
        std::string error;
        if (LoadServiceSettings(config.toStdString(), service, error)) {
            // Relative to the file that names it, not to wherever this program started.
            folder =
                QDir::cleanPath(QDir(QFileInfo(config).absolutePath())
                                    .absoluteFilePath(QString::fromStdString(service.library)));
            configured = folder != QDir::cleanPath(QString::fromStdString(DefaultServiceLibrary()));
        } else {
            app_hooks::ShowMessage(QStringLiteral("DNC 服务配置有误，程序库从默认位置打开：\n%1")
                                       .arg(QString::fromStdString(error)));
        }
    }
    if (!QFileInfo(folder).isDir()) {
        // The service makes its default library when it first saves there; a
        // folder the config names is not ours to make (an unmounted share).
        if (configured || !QDir().mkpath(folder)) {
            app_hooks::ShowMessage(
                QStringLiteral("程序库文件夹 %1 不存在或无法访问。").arg(folder));
            return;
        }
    }
    const QString path = app_hooks::openFileName(this, folder);
    if (path.isEmpty())
        return;
    OpenDocumentFile(path);
}

CSermidaDoc* CMainFrame::OpenDocumentFile(const QString& path) {
    // An open file comes up in its existing window.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (QMdiSubWindow* w : mdiArea->subWindowList()) {
        auto* child = static_cast<CChildFrame*>(w);
        if (child->View()->GetDocument()->PathName() == absolute) {
            mdiArea->setActiveSubWindow(child);
            return child->View()->GetDocument();
        }
    }
    if (CSermidaView* active = ActiveView(); active && active->Transmitting()) {
        app_hooks::ShowMessage(kMsgWaitForTransfer);
        return nullptr;
    }
    auto* doc = new CSermidaDoc;
    QString reason;
    if (!doc->OnOpenDocument(path, &reason)) {
        delete doc;
        app_hooks::ShowMessage(QStringLiteral("打开文件失败：%1\n%2").arg(path, reason));
        return nullptr;
    }
    AddRecentFile(doc->PathName());
    AddChild(new CSermidaView(doc));
    return doc;
}

bool CMainFrame::SaveDocument(CSermidaDoc* doc, bool saveAs) {
    QString path = doc->PathName();
    if (saveAs || path.isEmpty()) {
        path = app_hooks::saveFileName(this, path.isEmpty() ? doc->Title() : path);
        if (path.isEmpty())
            return false;
    }
    QString reason;
    if (!doc->OnSaveDocument(path, &reason)) {
        // Never a silent failure: the document stays modified and says why.
        app_hooks::ShowMessage(QStringLiteral("保存文件失败\n%1\n%2").arg(path, reason));
        return false;
    }
    AddRecentFile(doc->PathName());
    return true;
}

CChildFrame* CMainFrame::OnWindowNew() {
    CSermidaView* view = ActiveView();
    if (!view)
        return nullptr;
    CSermidaDoc* doc = view->GetDocument();
    CChildFrame* child = AddChild(new CSermidaView(doc));
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        static_cast<CChildFrame*>(w)->UpdateTitle();
    return child;
}

QStringList CMainFrame::RecentFiles() const {
    auto profile = OpenProfile();
    profile->beginGroup(QString::fromUtf8(kRecentSection));
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f = profile->value(QStringLiteral("File%1").arg(i)).toString();
        if (!f.isEmpty())
            files << f;
    }
    return files;
}

void CMainFrame::AddRecentFile(const QString& path) {
    // The demo's scratch copy is gone when the program ends: never offered.
    if (!transientFolder.isEmpty() &&
        QFileInfo(path).absoluteFilePath().startsWith(transientFolder + QLatin1Char('/')))
        return;
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    StoreRecentFiles(files);
}

void CMainFrame::OpenRecentFile(const QString& path) {
    // An entry whose file is gone would only fail again; one refused during a
    // transfer or unreadable for now stays.
    if (!OpenDocumentFile(path) && !QFileInfo::exists(path)) {
        QStringList files = RecentFiles();
        files.removeAll(path);
        StoreRecentFiles(files);
    }
}

void CMainFrame::StoreRecentFiles(QStringList files) {
    while (files.size() > kRecentFiles)
        files.removeLast();
    auto profile = OpenProfile();
    profile->beginGroup(QString::fromUtf8(kRecentSection));
    for (int i = 1; i <= kRecentFiles; ++i)
        profile->setValue(QStringLiteral("File%1").arg(i), files.value(i - 1));
    profile->endGroup();
    profile->sync();
    UpdateRecentMenu();
}

void CMainFrame::UpdateRecentMenu() {
    const QStringList files = RecentFiles();
    for (QMenu* menu : recentMenus) {
        for (QAction* a : menu->actions())
            if (a->property("recent").toBool())
                delete a;
        QAction* end = nullptr;
        for (QAction* a : menu->actions())
            if (a->objectName() == QLatin1String("recentEnd"))
                end = a;
        for (int i = 0; i < files.size(); ++i) {
            auto* a =
                new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(ShortPath(files[i])), menu);
            a->setProperty("recent", true);
            const QString file = files[i];
            connect(a, &QAction::triggered, this, [this, file] { OpenRecentFile(file); });
            menu->insertAction(end, a);
        }
    }
}

// --- Views -------------------------------------------------------------------------

CChildFrame* CMainFrame::ActiveChild() const {
    QMdiSubWindow* w = mdiArea->activeSubWindow();
    if (!w) {
        // An inactive window (no focus anywhere) still has a current child.
        w = mdiArea->currentSubWindow();
    }
    return static_cast<CChildFrame*>(w);
}

CSermidaView* CMainFrame::ActiveView() const {
    CChildFrame* child = ActiveChild();
    return child ? child->View() : nullptr;
}

std::vector<CSermidaView*> CMainFrame::AllViews() const {
    std::vector<CSermidaView*> views;
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        views.push_back(static_cast<CChildFrame*>(w)->View());
    return views;
}

int CMainFrame::ReleasePort(int portNumber) {
    std::vector<Connection*> connections;
    for (CSermidaView* v : AllViews())
        connections.push_back(&v->Connection());
    const int count = ::ReleasePort(connections, portNumber);
    if (CSermidaView* linked = transferBar->LinkedView(); linked && !linked->IsConnected())
        transferBar->SetLinkedView(nullptr);
    return count;
}

void CMainFrame::ViewGoing(CSermidaView* view) {
    if (transferBar && transferBar->LinkedView() == view)
        transferBar->SetLinkedView(nullptr);
}

void CMainFrame::UpdateFrameTitle() {
    const QString name = QString::fromUtf8(app_hooks::kAppTitle);
    CChildFrame* child = ActiveChild();
    if (child && child->isMaximized()) {
        // A maximised document window has no title bar of its own: Qt puts
        // " - [its title]" after the frame's, which then is the name alone.
        setWindowTitle(name);
        if (windowTitle() != name)
            return;
    }
    setWindowTitle(child ? name + QStringLiteral(" - ") + child->View()->GetDocument()->Title()
                         : name);
}

// --- Status ------------------------------------------------------------------------

void CMainFrame::timerEvent(QTimerEvent* e) {
    if (e->timerId() == statusTimer.timerId())
        UpdateStatus();
    else
        QMainWindow::timerEvent(e);
}

QString CMainFrame::OperationTimeText(int64_t seconds) {
    seconds = std::max<int64_t>(0, seconds);
    return QStringLiteral("操作时间 %1:%2:%3")
        .arg(seconds / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void CMainFrame::UpdateStatus() {
    UpdateLockKeys();
    CSermidaView* view = ActiveView();
    // Without a document there is no encoding to name.
    SetPaneText(encodingPane,
                view ? QString::fromLatin1(EncodingName(view->Encoding())) : QString());
    // Every view keeps its figures and follows its line, shown or not.
    for (CSermidaView* v : AllViews())
        v->TickTransfer();
    const QString figures = view ? view->TransferStatusText() : QString();
    SetPaneText(figuresPane, figures.isEmpty() ? QStringLiteral("就绪") : figures);
    if (!view)
        return;
    const Connection& connection = view->Connection();
    progress->SetRange(0, connection.TotalLines());
    progress->SetPos(connection.SentLines());
    const int64_t seconds = connection.LastOperation() == Connection::Operation::Receive
                                ? connection.ReceiveSeconds()
                                : connection.OperationSeconds();
    if (SetPaneText(timePane, OperationTimeText(seconds)))
        timePane->repaint();
    SetPaneText(positionPane, view->StatusText());
    SetPaneText(readOnlyPane, view->PaneText(37901));
    SetPaneText(overwritePane, view->PaneText(59140));
}

int CMainFrame::CascadeStep() const {
    return style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
}

// Qt's own cascade shrinks every window to its smallest; these stay readable.
void CMainFrame::Cascade() {
    int index = 0;
    const QSize area = mdiArea->viewport()->size();
    for (QMdiSubWindow* w : mdiArea->subWindowList(QMdiArea::StackingOrder)) {
        if (w->isMinimized())
            continue;
        if (w->isMaximized())
            w->showNormal();
        w->setGeometry(window_placement::Cascade(index++, area, CascadeStep()));
        w->raise();
    }
}

// Minimised document windows in a row along the bottom of the document area.
void CMainFrame::ArrangeIcons() {
    int x = 0;
    const int bottom = mdiArea->viewport()->height();
    for (QMdiSubWindow* w : mdiArea->subWindowList()) {
        if (!w->isMinimized())
            continue;
        w->move(x, bottom - w->height());
        x += w->width();
    }
}

// --- Closing, dropping, help ---------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* e) {
    // Any view, not only the active one: quitting must never cut a
    // transmission off in the middle of a program.
    for (CSermidaView* view : AllViews()) {
        if (view->Transmitting()) {
            app_hooks::ShowMessage(kMsgWaitForTransfer);
            e->ignore();
            return;
        }
    }
    // Each document asks about its changes; a Cancel keeps the program open.
    // The windows closed so far stay closed, as they would one by one.
    for (QMdiSubWindow* w : mdiArea->subWindowList()) {
        if (!static_cast<CChildFrame*>(w)->IsClosed() && !w->close()) {
            e->ignore();
            return;
        }
    }
    OpenProfile()->setValue(QStringLiteral("Layout/ToolBars"), saveState());
    OpenProfile()->setValue(QStringLiteral("Layout/Geometry"), saveGeometry());
    e->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* e) {
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile())
            OpenDocumentFile(url.toLocalFile());
    e->acceptProposedAction();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    if (watched == mdiArea->viewport()) {
        if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(e);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (e->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(e);
            if (drop->mimeData()->hasUrls()) {
                dropEvent(drop);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

QString CMainFrame::HelpFilePath() const {
    return AppDataFile(QStringLiteral("help/index.html"));
}

void CMainFrame::OnHelp() {
    const QString path = HelpFilePath();
    if (path.isEmpty()) {
        app_hooks::ShowMessage(QStringLiteral("找不到帮助文件 help/index.html。"));
        return;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    // No browser on this machine: show the manual in a window of our own.
    auto* browser = new QTextBrowser;
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setWindowTitle(QStringLiteral("帮助 - 泽朗串口通信"));
    browser->setSource(QUrl::fromLocalFile(path));
    browser->resize(800, 600);
    browser->showMaximized();
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    app_hooks::RunModal(dialog);
}

// --- Machines ------------------------------------------------------------------------

void CMainFrame::OnMachines() {
    CSermidaView* view = ActiveView();
    CMachineDlg dialog(view ? view->MachineName() : std::string(machine_choice::kClassic), this);
    connect(&dialog, &CMachineDlg::MachineSaved, this, &CMainFrame::MachineSaved);
    connect(&dialog, &CMachineDlg::MachineDeleted, this, &CMainFrame::MachineDeleted);
    app_hooks::RunModal(dialog);
}

// --- The shop's DNC service ------------------------------------------------------------

void CMainFrame::OnShopStatus() {
    const QString config = QString::fromStdString(DefaultServiceConfigPath());
    if (!QFileInfo::exists(config)) {
        app_hooks::ShowMessage(
            QStringLiteral(
                "没有配置车间代理：找不到 %1。\n请在该文件的 [broker] 一节中填写代理的地址。")
                .arg(config));
        return;
    }
    ServiceConfig service;
    std::string error;
    if (!LoadServiceSettings(config.toStdString(), service, error)) {
        app_hooks::ShowMessage(
            QStringLiteral("DNC 服务配置有误：\n%1").arg(QString::fromStdString(error)));
        return;
    }
    if (!HasBroker(service.broker)) {
        app_hooks::ShowMessage(
            QStringLiteral("没有配置车间代理：%1 中没有 [broker] 一节。").arg(config));
        return;
    }
    if (!shopStatus)
        shopStatus = new CShopStatusDlg(this);
    QString why;
    if (!shopStatus->Watch(service.broker, why)) {
        app_hooks::ShowMessage(
            QStringLiteral("%1 中的车间代理设置无法使用：\n%2").arg(config, why));
        return;
    }
    shopStatus->show();
    shopStatus->raise();
    shopStatus->activateWindow();
}

void CMainFrame::MachineSaved(const QString& name) {
    transferBar->RefreshMachines();
    for (CSermidaView* v : AllViews())
        if (v->MachineName() == name.toStdString())
            v->MachineSaved();
}

void CMainFrame::MachineDeleted(const QString& name) {
    bool anyView = false;
    for (CSermidaView* v : AllViews()) {
        if (v->MachineName() != name.toStdString())
            continue;
        anyView = true;
        v->SelectMachine(machine_choice::kClassic);
    }
    transferBar->RefreshMachines();
    if (anyView)
        app_hooks::ShowMessage(QStringLiteral("机床配置“%1”已删除，用它的窗口改用%2。")
                                   .arg(name, machine_choice::Title(machine_choice::kClassic)));
}

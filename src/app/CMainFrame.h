#pragma once
#include <QBasicTimer>
#include <QFileInfo>
#include <QMainWindow>
#include <QMap>
#include <string>
#include <vector>

class CChildFrame;
class CProgressBar;
class CSermidaDoc;
class CSermidaView;
class CTransferBar;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class CSplashWnd;
class CShopStatusDlg;

// The main window: the MDI area, the standard toolbar, the transfer bar, and
// the status bar with the operation time and the red progress of a
// transmission, fed every 10 ms from the active view.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    struct Options {
        bool splash = true;
    };
    explicit CMainFrame(Options options);
    CMainFrame() : CMainFrame(Options{}) {}
    ~CMainFrame() override;

    // The frame that holds a widget (a view, a dialog's parent), if any.
    static CMainFrame* FrameOf(const QWidget* widget);

    QMdiArea* MdiArea() const { return mdiArea; }
    CChildFrame* ActiveChild() const;
    CSermidaView* ActiveView() const;
    std::vector<CSermidaView*> AllViews() const;
    CTransferBar* TransferBar() const { return transferBar; }
    CProgressBar* Progress() const { return progress; }
    QLabel* TimePane() const { return timePane; }
    // The message pane: the active view's transfer figures, or how its last
    // transfer ended, or "就绪".
    QLabel* FiguresPane() const { return figuresPane; }
    // The active document's encoding, empty without one.
    QLabel* EncodingPane() const { return encodingPane; }
    QAction* Action(int id) const { return actions.value(id); }

    // Documents.
    CSermidaDoc* OnFileNew();
    void OnFileOpen();
    // Opens the file in a new window; refused while the active view transmits.
    CSermidaDoc* OpenDocumentFile(const QString& path);
    // Files in this folder (the demo's scratch copies) never enter the
    // recent-file list.
    void SetTransientFolder(const QString& folder) {
        transientFolder = QFileInfo(folder).absoluteFilePath();
    }
    // Saves (asking for a name when the document has none, or always with
    // saveAs); a failure is reported and leaves the document modified.
    bool SaveDocument(CSermidaDoc* doc, bool saveAs);
    CChildFrame* OnWindowNew();

    // Takes the port of that number from every view that is not transferring;
    // returns how many views held it.
    int ReleasePort(int portNumber);
    // A view is going away: it must not stay the linked view.
    void ViewGoing(CSermidaView* view);

    // "泽朗串口通信 - <document>" while a document window is active, else the
    // program's name alone.
    void UpdateFrameTitle();

    // One tick of the 10 ms status update.
    void UpdateStatus();
    // The operation-time pane's text: hours, minutes and seconds, the hours
    // counted within a day.
    static QString OperationTimeText(int64_t seconds);
    void OnHelp();
    void OnAbout();
    // "机床配置": the profiles; the transfer bar's list follows what is saved.
    void OnMachines();
    // "从程序库打开": the Open dialog in the DNC service's library (from
    // dnc.ini in the settings folder, else the service's default library).
    void OnFileOpenLibrary();
    // "车间机床状态": the machines the broker of dnc.ini reports, in a
    // non-modal dialog; a message when no broker is configured.
    void OnShopStatus();
    // The dialog, once it has been opened.
    CShopStatusDlg* ShopStatus() const { return shopStatus; }
    QString HelpFilePath() const;
    QStringList RecentFiles() const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void PlaceOnScreen();
    int CascadeStep() const;
    void Cascade();
    void ArrangeIcons();
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    void ShowSplash();
    QAction* AddAction(int id, const QString& text, const QString& prompt = {});
    void OnCommand(int id);
    void ApplyMenus();
    void UpdateCommandUI();
    void UpdateRecentMenu();
    void AddRecentFile(const QString& path);
    void OpenRecentFile(const QString& path);
    void StoreRecentFiles(QStringList files);
    CChildFrame* AddChild(CSermidaView* view);
    void UpdateLockKeys();
    void MachineSaved(const QString& name);
    void MachineDeleted(const QString& name);

    QMdiArea* mdiArea = nullptr;
    CTransferBar* transferBar = nullptr;
    CProgressBar* progress = nullptr;
    QLabel* timePane = nullptr;
    QLabel* figuresPane = nullptr;
    QString transientFolder;
    QLabel* positionPane = nullptr;
    QLabel* encodingPane = nullptr;
    QLabel* readOnlyPane = nullptr;
    QLabel* overwritePane = nullptr;
    QLabel* lockPanes[3] = {}; // Caps, Num, Scroll Lock
    int statusTicks = 0;
    QToolBar* standardBar = nullptr;
    QToolBar* transferBand = nullptr;
    QMap<int, QAction*> actions;
    QMenu* fileMenuEmpty = nullptr; // resource 128: no document open
    QMenu* fileMenuDoc = nullptr;   // resource 129
    QMenu* editMenu = nullptr;
    QMenu* commMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* windowMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QMenu* recentMenus[2] = {};
    bool documentMenus = true;
    CSplashWnd* splash = nullptr;
    CShopStatusDlg* shopStatus = nullptr;
    QBasicTimer statusTimer;
};

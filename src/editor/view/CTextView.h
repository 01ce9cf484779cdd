#pragma once
#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QFont>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/buffer/BufferView.h"
#include "editor/buffer/TextPos.h"
#include "editor/text/ColourBlock.h"
#include "editor/text/ColumnIndex.h"
#include "editor/text/CookieCache.h"
#include "editor/text/ExpandedLengthCache.h"
#include "editor/text/TextEncoding.h"
#include "editor/view/PaneGroup.h"
#include "editor/view/ViewState.h"

class CTextBuffer;
class QDialog;
class QDrag;
class QMimeData;
class CaretMotion;
class MouseSelection;
class ViewBookmarks;
class ViewPainter;
class ViewScroller;
class ViewSearch;

// Shows one CTextBuffer as a grid of fixed cells: a 20-pixel margin with mark
// icons, then one buffer line per row, tabs expanded, GBK double-byte
// characters two cells wide. Read-only: it owns the caret, the selection and
// the scroll position. Painting, caret motion, mouse selection and scrolling
// live in helper classes of their own; this class holds the state they share.
//
// Threads: the UI thread only.
class CTextView : public QAbstractScrollArea, public BufferView {
    Q_OBJECT

public:
    explicit CTextView(QWidget* parent = nullptr);
    ~CTextView() override;

    // The margin left of the text: line numbers when shown, then the 20-pixel
    // cell that holds the mark icons.
    static constexpr int kIconMarginWidth = 20;
    int MarginWidth();
    void ShowLineNumbers(bool on);
    bool LineNumbersShown() const { return lineNumbers; }

    // Binding. The view never owns the buffer.
    void BindBuffer(CTextBuffer* buffer = nullptr);
    void UnbindBuffer();
    CTextBuffer* Buffer() const { return buffer; }
    // Binds the own buffer and follows the splitter panes, once the view is placed.
    void InitialUpdate();
    virtual void ResetViewState();

    // Line queries; without a buffer the text is one empty line.
    int LineCount() const;
    int LineLength(int line) const;
    const char* LineChars(int line) const;
    std::string_view LineView(int line) const;
    uint32_t LineFlags(int line) const;
    int ExpandedLineLength(int line);
    void TextBetween(TextPos start, TextPos end, std::string& text) const;

    // Metrics, measured or computed on first use.
    int LineHeight();
    int CharWidth();
    int VisibleLines();
    int VisibleColumns();
    int LongestLineLength();
    int TabSize() const { return tabSize; }
    // How the buffer's bytes are drawn and stepped through; GBK without one.
    TextEncoding Encoding() const;
    // Where a long line's characters stand, so that steps on it start near
    // their target; null for a line short enough to walk whole.
    const ColumnIndex* ColumnsOf(int line) const;
    // The document's bytes as the operator reads them, and text the operator
    // gave (typed, or in a dialog) as the document's bytes.
    QString ShownText(std::string_view bytes) const;
    std::string DocumentBytes(const QString& text) const;

    // Conversions between window points and text positions.
    int ColumnOfChar(int line, int index) const;
    int CharAtColumn(int line, int column) const;
    TextPos PointToTextPos(QPoint point);
    QPoint TextPosToPoint(TextPos pos);
    std::string ExpandTabs(std::string_view chars, int start, int count) const;

    // Caret and selection.
    void PlaceCursor(TextPos pos);
    void PlaceAnchor(TextPos pos) { st.anchor = pos; }
    void SelectRange(TextPos start, TextPos end);
    void OrderSelection();
    bool InSelection(TextPos pos);
    bool SplitsDoubleByteChar(TextPos pos) const;
    TextPos GuardDoubleByte(TextPos pos) const;
    // Where the character that starts at p ends; p itself at the line's end.
    int CharEnd(TextPos p) const;
    TextPos Cursor() const { return st.cursor; }
    TextPos Anchor() const { return st.anchor; }
    TextPos SelStart() const { return st.selStart; }
    TextPos SelEnd() const { return st.selEnd; }
    bool HasSelection() const { return !(st.selStart == st.selEnd); }
    int IdealColumn() const { return st.idealColumn; }

    // Scrolling.
    int TopLine() const { return st.topLine; }
    int FirstColumn() const { return st.firstColumn; }
    void ScrollIntoView(TextPos pos);
    void ScrollTopTo(int line, bool redrawBar = true);
    void ScrollLeftTo(int column, bool redrawBar = true);
    void UpdateVertBar(bool positionOnly = false);
    void UpdateHorzBar(bool positionOnly = false);
    void ScrollLineUp();
    void ScrollLineDown();
    void ScrollColumnLeft();
    void ScrollColumnRight();
    void JoinPaneGroup(std::shared_ptr<PaneGroup> group, int row, int column);
    virtual void SyncSiblingScroll(bool vertical);
    virtual void FollowSiblingScroll(CTextView* source, bool vertical);

    // Painting and appearance.
    ViewPainter& Painter() { return *painter; }
    void RepaintLines(int first, int last = -1);
    void PlaceCaret();
    bool CaretShown() const { return caretShown; }
    QRect CaretRect() const { return caretRect; }
    QFont FontFor(bool italic, bool bold);
    void ApplyFont(const QFont& font);
    QFont CurrentFontDesc() const { return fontDesc; }
    void SuppressCaret();
    void AllowCaret();
    void SetKeepSelectionVisible(bool on);
    void SetLockHorzBar(bool on) { lockHorzBar = on; }

    // Colouring hooks.
    virtual QColor ColourOfIndex(int index) const;
    // Invalid colours mean: use the run colours and colour 0.
    virtual void LineColours(int line, QColor& background, QColor& text, bool& fillToEdge) const;
    virtual bool IsItalicIndex(int index) const;
    virtual bool IsBoldIndex(int index) const;
    // Splits a line into coloured runs and returns the cookie for the next line;
    // blocks is null when only the cookie is wanted. Nothing is coloured here.
    virtual uint32_t ScanLineColours(uint32_t cookie, int line, ColourBlocks* blocks);
    // The scanner state at the start of line, from the cookie cache.
    uint32_t CookieBefore(int line);
    void StoreCookie(int line, uint32_t cookie) { cookies.Store(line, cookie); }
    int KnownCookieLines() const { return cookies.ValidCount(); }

    // Commands: the movement ids, select all, copy, find, go to, bookmarks and
    // the encoding the text is shown in.
    virtual bool ExecuteCommand(int id);
    virtual bool IsCommandEnabled(int id) const;
    // The check mark of a menu item: the encoding the text is shown in.
    virtual bool IsCommandChecked(int id) const;
    void SelectAll();
    void Copy();
    // The text of status-bar pane 37903: line and byte column, both from 1.
    QString StatusText() const;

    // Find (the search flags are in TextSearch.h).
    void Find();
    void FindNext();
    void FindPrevious();
    bool LastSearchValid() const;
    uint32_t LastSearchFlags() const;
    const std::string& LastSearchText() const;
    bool Search(std::string_view text, TextPos start, uint32_t flags, bool wrap, TextPos& found);
    void SelectFound(TextPos pos, int length);

    // Bookmarks.
    bool HasPlainBookmarks() const;

    // The seams where the view blocks on the user: a modal dialog, a message
    // box (with the "信息提示" caption and an exclamation icon, or plain), and
    // a drag. Tests replace them.
    virtual int RunModal(QDialog& dialog);
    virtual void ShowMessage(const QString& text, bool exclamation);
    virtual Qt::DropAction ExecDrag(QDrag& drag, Qt::DropActions actions);

    // Clipboard and drag source. Both carry a selection's bytes, lines joined
    // by CR LF, and text for other programs beside them (ViewClipboard.h).
    // GetTextFromClipboard gives the bytes a paste inserts, joined likewise;
    // ClipboardHasText tells whether there are any.
    virtual bool ClipboardHasText() const;
    virtual bool PutTextOnClipboard(const std::string& bytes);
    virtual bool GetTextFromClipboard(std::string& bytes);
    virtual QMimeData* PackSelectionForDrag();
    virtual Qt::DropActions AllowedDropEffects() const { return Qt::CopyAction; }
    virtual void AfterDragSource(Qt::DropAction effect) { (void)effect; }

    // Where a transmission stands, 1-based: the line at which it waits (its
    // mark is set) comes into view with the caret at its start, as after
    // Home; the caret goes to the start of a line just sent, without
    // scrolling.
    void ShowWaitingLine(int n);
    void CaretToLine(int n);

    void OnBufferChanged(BufferView* source, const PositionAdjuster* adjuster, uint32_t bits,
                         int line) override;

    // Mouse selection state, for the editing view and tests.
    bool MouseSelecting() const;
    bool DraggingText() const { return st.draggingText; }
    // The dragged range, kept up to date through changes while draggingText.
    TextPos DragStart() const { return st.dragStart; }
    TextPos DragEnd() const { return st.dragEnd; }

protected:
    virtual CTextBuffer* FindOwnBuffer() { return nullptr; }

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void changeEvent(QEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    void MeasureFont();
    int DigitsForLines() const;
    void FollowGutterWidth();
    void UpdateMouseShape(QPoint point);
    void ForgetIdealColumnIfMoved(TextPos before);
    void RestartCaretBlink();
    ExpandedLengthCache::Measure LengthMeasure() const;

    ViewState st;
    std::unique_ptr<ViewPainter> painter;
    std::unique_ptr<ViewScroller> scroller;
    std::unique_ptr<CaretMotion> motion;
    std::unique_ptr<MouseSelection> mouse;
    std::unique_ptr<ViewSearch> search;
    std::unique_ptr<ViewBookmarks> bookmarks;

    int lineHeight = -1;
    int charWidth = -1;
    int tabSize = 4;
    int visibleLines = -1;
    int visibleColumns = -1;
    bool lineNumbers = false;
    int gutterDigits = 0; // digits the line-number column has room for
    QFont fontDesc;
    QFont fonts[4];
    bool fontMade[4] = {false, false, false, false};
    CookieCache cookies;
    // The column index of the last long line asked about; any change to the
    // text forgets it.
    mutable int indexedLine = -1;
    mutable ColumnIndex lineColumns;
    ExpandedLengthCache lengths;
    bool caretSuppressed = false;
    CTextBuffer* buffer = nullptr;
    bool lockHorzBar = false;

    // The caret is drawn by the painter: where, and whether it shows now.
    QRect caretRect;
    bool caretWanted = false;
    bool caretShown = false;
    QBasicTimer blinkTimer;
};

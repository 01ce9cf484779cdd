#include "editor/view/CTextView.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDrag>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "common/StringTable.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/buffer/PositionAdjuster.h"
#include "editor/text/LineGeometry.h"
#include "editor/view/CGoToDialog.h"
#include "editor/view/CaretMotion.h"
#include "editor/view/MouseSelection.h"
#include "editor/view/ViewBookmarks.h"
#include "editor/view/ViewClipboard.h"
#include "editor/view/ViewCommands.h"
#include "editor/view/ViewPainter.h"
#include "editor/view/ViewScroller.h"
#include "editor/view/ViewSearch.h"
#include "editor/view/ViewText.h"

CTextView::CTextView(QWidget* parent)
    : QAbstractScrollArea(parent), painter(std::make_unique<ViewPainter>(*this, st)),
      scroller(std::make_unique<ViewScroller>(*this, st)),
      motion(std::make_unique<CaretMotion>(*this, st)),
      mouse(std::make_unique<MouseSelection>(*this, st)),
      search(std::make_unique<ViewSearch>(*this, st)),
      bookmarks(std::make_unique<ViewBookmarks>(*this)) {
    fontDesc = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    ResetViewState();
}

CTextView::~CTextView() {
    if (buffer != nullptr)
        buffer->DetachView(this);
    if (st.paneGroup) {
        auto& panes = st.paneGroup->panes;
        std::erase_if(panes, [this](const PaneGroup::Pane& p) { return p.view == this; });
    }
}

// ---------------------------------------------------------------------------
// Binding and state

void CTextView::ResetViewState() {
    st.topLine = st.firstColumn = 0;
    lineHeight = charWidth = visibleLines = visibleColumns = st.idealColumn = -1;
    tabSize = 4;
    st.anchor = TextPos{};
    painter->DropIcons();
    for (bool& made : fontMade)
        made = false;
    cookies.Reset();
    lengths.Reset();
    indexedLine = -1;
    st.cursor = st.selStart = st.selEnd = TextPos{};
    mouse->Reset();
    lockHorzBar = false;
    PlaceCaret();
    st.keepSelectionVisible = false;
    bookmarks->Reset();
    search->Reset();
}

void CTextView::BindBuffer(CTextBuffer* b) {
    if (buffer != nullptr)
        buffer->DetachView(this);
    buffer = b != nullptr ? b : FindOwnBuffer();
    if (buffer != nullptr)
        buffer->AttachView(this);
    ResetViewState();
    UpdateVertBar();
    UpdateHorzBar();
    viewport()->update();
}

void CTextView::UnbindBuffer() {
    if (buffer != nullptr)
        buffer->DetachView(this);
    buffer = nullptr;
    ResetViewState();
    UpdateVertBar();
    UpdateHorzBar();
    viewport()->update();
}

void CTextView::InitialUpdate() {
    BindBuffer(nullptr);
    scroller->FollowPanesAtStart();
}

// ---------------------------------------------------------------------------
// Line queries

int CTextView::LineCount() const {
    // A released buffer has no line at all until it is filled again; the view
    // still shows one empty line rather than index a line that is not there.
    return buffer ? std::max(1, buffer->CountLines()) : 1;
}

int CTextView::LineLength(int line) const {
    return buffer ? buffer->LineSize(line) : 0;
}

const char* CTextView::LineChars(int line) const {
    return buffer ? buffer->LineText(line) : nullptr;
}

std::string_view CTextView::LineView(int line) const {
    if (buffer == nullptr)
        return {};
    return buffer->LineView(line);
}

uint32_t CTextView::LineFlags(int line) const {
    return buffer ? buffer->LineMarkBits(line) : 0;
}

ExpandedLengthCache::Measure CTextView::LengthMeasure() const {
    // Called for every line of a document at once: only a long line is indexed.
    return [this, encoding = Encoding()](int line) {
        const std::string_view text = LineView(line);
        const bool isLong = text.size() >= size_t(2 * ColumnIndex::kStride);
        return ExpandedLength(text, tabSize, encoding, isLong ? ColumnsOf(line) : nullptr);
    };
}

int CTextView::ExpandedLineLength(int line) {
    return lengths.Length(line, LineCount(), LengthMeasure());
}

void CTextView::TextBetween(TextPos start, TextPos end, std::string& text) const {
    text.clear();
    if (buffer != nullptr)
        buffer->CopyText(start.y, start.x, end.y, end.x, text);
}

// ---------------------------------------------------------------------------
// Metrics

void CTextView::MeasureFont() {
    QFontMetrics fm(FontFor(false, false));
    lineHeight = std::max(1, fm.height());
    charWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('X')));
    painter->FontMeasured();
}

int CTextView::LineHeight() {
    if (lineHeight == -1)
        MeasureFont();
    return lineHeight;
}

int CTextView::CharWidth() {
    if (charWidth == -1)
        MeasureFont();
    return charWidth;
}

int CTextView::VisibleLines() {
    if (visibleLines == -1)
        visibleLines = viewport()->height() / LineHeight();
    return visibleLines;
}

int CTextView::VisibleColumns() {
    if (visibleColumns == -1)
        visibleColumns = std::max(0, (viewport()->width() - MarginWidth()) / CharWidth());
    return visibleColumns;
}

int CTextView::DigitsForLines() const {
    int digits = 1;
    for (int n = LineCount(); n >= 10; n /= 10)
        ++digits;
    return std::max(3, digits);
}

int CTextView::MarginWidth() {
    if (!lineNumbers)
        return kIconMarginWidth;
    if (gutterDigits == 0)
        gutterDigits = DigitsForLines();
    return kIconMarginWidth + (gutterDigits + 1) * CharWidth();
}

void CTextView::ShowLineNumbers(bool on) {
    if (on == lineNumbers)
        return;
    lineNumbers = on;
    gutterDigits = 0;
    visibleColumns = -1;
    UpdateHorzBar();
    PlaceCaret();
    viewport()->update();
}

// The margin grows by a digit when the line count gains one.
void CTextView::FollowGutterWidth() {
    if (!lineNumbers || gutterDigits == DigitsForLines())
        return;
    gutterDigits = 0;
    visibleColumns = -1;
    UpdateHorzBar();
    PlaceCaret();
    viewport()->update();
}

int CTextView::LongestLineLength() {
    return lengths.Longest(LineCount(), LengthMeasure());
}

// ---------------------------------------------------------------------------
// Conversions

TextEncoding CTextView::Encoding() const {
    return buffer ? buffer->Encoding() : TextEncoding::Gbk;
}

QString CTextView::ShownText(std::string_view bytes) const {
    return QString::fromStdString(ShownAsUtf8(bytes, Encoding()));
}

std::string CTextView::DocumentBytes(const QString& text) const {
    return Utf8AsDocument(text.toStdString(), Encoding());
}

const ColumnIndex* CTextView::ColumnsOf(int line) const {
    if (LineLength(line) < 2 * ColumnIndex::kStride)
        return nullptr;
    if (indexedLine != line) {
        lineColumns.Build(LineView(line), tabSize, Encoding());
        indexedLine = line;
    }
    return &lineColumns;
}

int CTextView::ColumnOfChar(int line, int index) const {
    return ::ColumnOfChar(LineView(line), index, tabSize, Encoding(), ColumnsOf(line));
}

int CTextView::CharAtColumn(int line, int column) const {
    return ::CharAtColumn(LineView(line), column, tabSize, Encoding(), ColumnsOf(line));
}

TextPos CTextView::PointToTextPos(QPoint point) {
    // Floor division: a point above the window or left of the text counts as
    // the row or column before, not as row 0.
    auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    int line = std::clamp(floorDiv(point.y(), LineHeight()) + st.topLine, 0, LineCount() - 1);
    int column = std::max(0, floorDiv(point.x() - MarginWidth(), CharWidth()) + st.firstColumn);
    return {line, CharHitAtColumn(LineView(line), column, tabSize, Encoding(), ColumnsOf(line))};
}

QPoint CTextView::TextPosToPoint(TextPos pos) {
    return {(ColumnOfChar(pos.y, pos.x) - st.firstColumn) * CharWidth() + MarginWidth(),
            (pos.y - st.topLine) * LineHeight()};
}

std::string CTextView::ExpandTabs(std::string_view chars, int start, int count) const {
    return ::ExpandTabs(chars, start, count, tabSize, Encoding());
}

// ---------------------------------------------------------------------------
// Caret and selection

void CTextView::PlaceCursor(TextPos pos) {
    st.cursor = pos;
    st.idealColumn = ColumnOfChar(st.cursor.y, st.cursor.x);
    PlaceCaret();
}

bool CTextView::SplitsDoubleByteChar(TextPos pos) const {
    return SplitsChar(LineView(pos.y), pos.x, Encoding());
}

TextPos CTextView::GuardDoubleByte(TextPos pos) const {
    return {pos.y, GuardSplit(LineView(pos.y), pos.x, Encoding())};
}

int CTextView::CharEnd(TextPos p) const {
    return p.x + int(CharLength(LineView(p.y), size_t(p.x), Encoding()));
}

void CTextView::OrderSelection() {
    st.orderedSelStart = std::min(st.selStart, st.selEnd);
    st.orderedSelEnd = std::max(st.selStart, st.selEnd);
    st.orderedSelStart = GuardDoubleByte(st.orderedSelStart);
    st.orderedSelEnd = GuardDoubleByte(st.orderedSelEnd);
}

bool CTextView::InSelection(TextPos pos) {
    OrderSelection();
    const TextPos s = st.orderedSelStart, e = st.orderedSelEnd;
    if (pos.y < s.y || pos.y > e.y)
        return false;
    if (pos.y > s.y && pos.y < e.y)
        return true;
    if (s.y == e.y)
        return s.x <= pos.x && pos.x < e.x;
    if (pos.y == s.y)
        return pos.x >= s.x;
    return pos.x < e.x;
}

void CTextView::SelectRange(TextPos start, TextPos end) {
    if (!(start == st.selStart)) {
        RepaintLines(std::min(start.y, end.y), std::max(start.y, end.y));
        RepaintLines(std::min(st.selStart.y, st.selEnd.y), std::max(st.selStart.y, st.selEnd.y));
    } else if (!(end == st.selEnd)) {
        RepaintLines(end.y, st.selEnd.y);
    }
    st.selStart = start;
    st.selEnd = end;
}

// ---------------------------------------------------------------------------
// Scrolling: the scroller does the work.

void CTextView::ScrollIntoView(TextPos pos) {
    scroller->ScrollIntoView(pos);
}
void CTextView::ScrollTopTo(int line, bool redrawBar) {
    scroller->ScrollTopTo(line, redrawBar);
}
void CTextView::ScrollLeftTo(int column, bool redrawBar) {
    scroller->ScrollLeftTo(column, redrawBar);
}
void CTextView::UpdateVertBar(bool positionOnly) {
    scroller->UpdateVertBar(positionOnly);
}
void CTextView::UpdateHorzBar(bool positionOnly) {
    scroller->UpdateHorzBar(positionOnly);
}
void CTextView::ScrollLineUp() {
    scroller->ScrollLines(-1);
}
void CTextView::ScrollLineDown() {
    scroller->ScrollLines(1);
}
void CTextView::ScrollColumnLeft() {
    scroller->ScrollColumns(-1);
}
void CTextView::ScrollColumnRight() {
    scroller->ScrollColumns(1);
}

void CTextView::JoinPaneGroup(std::shared_ptr<PaneGroup> group, int row, int column) {
    st.paneGroup = std::move(group);
    st.paneRow = row;
    st.paneColumn = column;
    if (st.paneGroup)
        st.paneGroup->panes.push_back({this, row, column});
}

void CTextView::SyncSiblingScroll(bool vertical) {
    scroller->SyncSiblings(vertical);
}

void CTextView::FollowSiblingScroll(CTextView* source, bool vertical) {
    scroller->Follow(source, vertical);
}

void CTextView::scrollContentsBy(int, int) {
    // The scroll bars moved (by the user or by us): follow their positions.
    scroller->BarsMoved();
}

// ---------------------------------------------------------------------------
// Painting and appearance

void CTextView::RepaintLines(int first, int last) {
    const int h = LineHeight();
    const int width = viewport()->width();
    if (last == -1) {
        int top = std::max(0, (first - st.topLine) * h);
        viewport()->update(0, top, width, viewport()->height() - top);
        return;
    }
    if (first > last)
        std::swap(first, last);
    int top = (first - st.topLine) * h;
    int bottom = (last - st.topLine + 1) * h;
    if (bottom <= 0 || top >= viewport()->height())
        return;
    viewport()->update(0, top, width, bottom - top);
}

void CTextView::PlaceCaret() {
    const QRect old = caretShown ? caretRect : QRect();
    const int column = ColumnOfChar(st.cursor.y, st.cursor.x);
    caretWanted = st.focused && !caretSuppressed && column >= st.firstColumn;
    if (caretWanted) {
        caretRect = QRect(TextPosToPoint(st.cursor), QSize(2, LineHeight()));
        RestartCaretBlink();
    } else {
        caretShown = false;
        blinkTimer.stop();
    }
    if (!old.isNull())
        viewport()->update(old);
    if (caretShown)
        viewport()->update(caretRect);
}

void CTextView::RestartCaretBlink() {
    caretShown = true;
    const int flash = QApplication::cursorFlashTime();
    if (flash > 0)
        blinkTimer.start(flash / 2, this);
}

QFont CTextView::FontFor(bool italic, bool bold) {
    const int slot = (italic ? 2 : 0) + (bold ? 1 : 0);
    if (!fontMade[slot]) {
        QFont f = fontDesc;
        f.setWeight(bold ? QFont::Bold : QFont::Normal);
        f.setItalic(italic);
        // Cells are fixed; never let Qt kern or stretch a run.
        f.setKerning(false);
        f.setStyleHint(QFont::TypeWriter);
        fonts[slot] = f;
        fontMade[slot] = true;
    }
    return fonts[slot];
}

void CTextView::ApplyFont(const QFont& font) {
    fontDesc = font;
    visibleLines = visibleColumns = charWidth = lineHeight = -1;
    gutterDigits = 0;
    painter->DropBitmap();
    for (bool& made : fontMade)
        made = false;
    UpdateVertBar();
    UpdateHorzBar();
    PlaceCaret();
    viewport()->update();
}

void CTextView::SuppressCaret() {
    caretSuppressed = true;
    PlaceCaret();
}

void CTextView::AllowCaret() {
    caretSuppressed = false;
    PlaceCaret();
}

void CTextView::SetKeepSelectionVisible(bool on) {
    st.keepSelectionVisible = on;
    viewport()->update();
}

QColor CTextView::ColourOfIndex(int index) const {
    switch (index) {
    case COLOUR_WHITESPACE:
    case COLOUR_BACKGROUND:
        return palette().color(QPalette::Base);
    case COLOUR_NORMAL_TEXT:
        return palette().color(QPalette::Text);
    case COLOUR_MARGIN:
        return palette().color(QPalette::Button);
    case COLOUR_SEL_BACKGROUND:
        return QColor(0, 0, 128);
    case COLOUR_SEL_TEXT:
        return QColor(255, 255, 255);
    case COLOUR_KEYWORD:
        return QColor(0, 0, 255);
    case COLOUR_COMMENT:
        return QColor(32, 128, 32);
    case COLOUR_NUMBER:
        return QColor(160, 0, 0);
    case COLOUR_OPERATOR:
        return QColor(0, 0, 0);
    case COLOUR_PREPROCESSOR:
        return QColor(0, 128, 192);
    default:
        return QColor(255, 0, 0);
    }
}

void CTextView::LineColours(int line, QColor& background, QColor& text, bool& fillToEdge) const {
    if (LineFlags(line) & TRANSFER_LINE) {
        background = QColor(0, 128, 0);
        text = QColor(255, 255, 255);
        fillToEdge = true;
    } else {
        background = text = QColor();
        fillToEdge = false;
    }
}

bool CTextView::IsItalicIndex(int) const {
    return false;
}
bool CTextView::IsBoldIndex(int) const {
    return false;
}

uint32_t CTextView::ScanLineColours(uint32_t, int, ColourBlocks*) {
    return 0;
}

uint32_t CTextView::CookieBefore(int line) {
    return cookies.CookieBefore(
        line, [this](uint32_t cookie, int l) { return ScanLineColours(cookie, l, nullptr); });
}

void CTextView::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    painter->Paint(p, e->rect());
}

void CTextView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    painter->DropBitmap();
    visibleLines = visibleColumns = -1;
    UpdateVertBar();
    UpdateHorzBar();
}

void CTextView::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::StyleChange)
        viewport()->update();
}

// ---------------------------------------------------------------------------
// Commands

bool CTextView::ExecuteCommand(int id) {
    if (id >= ID_MOVE_CHAR_LEFT && id <= ID_EXTEND_TEXT_END)
        return motion->Execute(id);
    if (id == ID_EDIT_SELECT_ALL) {
        SelectAll();
        return true;
    }
    if (id == ID_EDIT_COPY) {
        Copy();
        return true;
    }
    if (id >= ID_TOGGLE_BOOKMARK0 && id < ID_TOGGLE_BOOKMARK0 + 10) {
        bookmarks->ToggleNumberedMark(id - ID_TOGGLE_BOOKMARK0);
        return true;
    }
    if (id >= ID_GO_BOOKMARK0 && id < ID_GO_BOOKMARK0 + 10) {
        bookmarks->GoToNumberedMark(id - ID_GO_BOOKMARK0);
        return true;
    }
    switch (id) {
    case ID_EDIT_FIND:
        Find();
        return true;
    case ID_EDIT_FIND_NEXT:
        FindNext();
        return true;
    case ID_EDIT_FIND_PREVIOUS:
        FindPrevious();
        return true;
    case ID_EDIT_GOTO_LINE:
        RunGoTo(*this);
        return true;
    case ID_VIEW_ENCODING_GBK:
    case ID_VIEW_ENCODING_UTF8:
        // The bytes stay; every view of the buffer redraws them.
        if (buffer != nullptr)
            buffer->SetEncoding(id == ID_VIEW_ENCODING_UTF8 ? TextEncoding::Utf8
                                                            : TextEncoding::Gbk);
        return true;
    case ID_CLEAR_BOOKMARKS:
        bookmarks->ClearNumberedMarks();
        return true;
    case ID_TOGGLE_PLAIN_MARK:
        bookmarks->TogglePlainMark();
        return true;
    case ID_NEXT_PLAIN_MARK:
        bookmarks->NextPlainMark();
        return true;
    case ID_PREV_PLAIN_MARK:
        bookmarks->PreviousPlainMark();
        return true;
    case ID_CLEAR_PLAIN_MARKS:
        bookmarks->ClearPlainMarks();
        return true;
    default:
        return false;
    }
}

bool CTextView::IsCommandEnabled(int id) const {
    switch (id) {
    case ID_EDIT_COPY:
        return HasSelection();
    case ID_EDIT_FIND_NEXT:
    case ID_EDIT_FIND_PREVIOUS:
        return search->LastSearchValid();
    case ID_NEXT_PLAIN_MARK:
    case ID_PREV_PLAIN_MARK:
    case ID_CLEAR_PLAIN_MARKS:
        return bookmarks->HasPlainBookmarks();
    case ID_EDIT_GOTO_LINE:
    case ID_VIEW_ENCODING_GBK:
    case ID_VIEW_ENCODING_UTF8:
        return buffer != nullptr;
    case ID_EDIT_FIND:
    case ID_EDIT_SELECT_ALL:
    case ID_CLEAR_BOOKMARKS:
    case ID_TOGGLE_PLAIN_MARK:
        return true;
    default:
        return (id >= ID_MOVE_CHAR_LEFT && id <= ID_EXTEND_TEXT_END) ||
               (id >= ID_TOGGLE_BOOKMARK0 && id < ID_GO_BOOKMARK0 + 10);
    }
}

bool CTextView::IsCommandChecked(int id) const {
    if (buffer == nullptr)
        return false;
    switch (id) {
    case ID_VIEW_ENCODING_GBK:
        return Encoding() == TextEncoding::Gbk;
    case ID_VIEW_ENCODING_UTF8:
        return Encoding() == TextEncoding::Utf8;
    default:
        return false;
    }
}

void CTextView::SelectAll() {
    motion->SelectAll();
}

void CTextView::Copy() {
    if (!HasSelection())
        return;
    OrderSelection();
    std::string text;
    TextBetween(st.orderedSelStart, st.orderedSelEnd, text);
    PutTextOnClipboard(text);
}

QString CTextView::StatusText() const {
    return QString::asprintf(LoadString(ID_INDICATOR_POSITION), st.cursor.y + 1, st.cursor.x + 1);
}

// ---------------------------------------------------------------------------
// Find and bookmarks: the helpers do the work.

void CTextView::Find() {
    search->Find();
}
void CTextView::FindNext() {
    search->FindNext();
}
void CTextView::FindPrevious() {
    search->FindPrevious();
}
bool CTextView::LastSearchValid() const {
    return search->LastSearchValid();
}
uint32_t CTextView::LastSearchFlags() const {
    return search->LastSearchFlags();
}
const std::string& CTextView::LastSearchText() const {
    return search->LastSearchText();
}
bool CTextView::Search(std::string_view text, TextPos start, uint32_t flags, bool wrap,
                       TextPos& found) {
    return search->Search(text, start, flags, wrap, found);
}
void CTextView::SelectFound(TextPos pos, int length) {
    search->SelectFound(pos, length);
}
bool CTextView::HasPlainBookmarks() const {
    return bookmarks->HasPlainBookmarks();
}

int CTextView::RunModal(QDialog& dialog) {
    return dialog.exec();
}

void CTextView::ShowMessage(const QString& text, bool exclamation) {
    if (exclamation)
        QMessageBox::warning(this, LoadText(IDS_INFO_CAPTION), text);
    else
        QMessageBox::information(this, QGuiApplication::applicationDisplayName(), text);
}

Qt::DropAction CTextView::ExecDrag(QDrag& drag, Qt::DropActions actions) {
    return drag.exec(actions, Qt::CopyAction);
}

// ---------------------------------------------------------------------------
// Clipboard

bool CTextView::ClipboardHasText() const {
    return HoldsInsertableText(QApplication::clipboard()->mimeData());
}

bool CTextView::PutTextOnClipboard(const std::string& bytes) {
    if (bytes.empty())
        return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::clipboard()->setMimeData(PackSelectionBytes(bytes, Encoding()));
    QApplication::restoreOverrideCursor();
    return true;
}

bool CTextView::GetTextFromClipboard(std::string& bytes) {
    return BytesToInsert(QApplication::clipboard()->mimeData(), Encoding(), bytes);
}

QMimeData* CTextView::PackSelectionForDrag() {
    OrderSelection();
    if (st.orderedSelStart == st.orderedSelEnd)
        return nullptr;
    std::string bytes;
    TextBetween(st.orderedSelStart, st.orderedSelEnd, bytes);
    st.dragStart = st.orderedSelStart;
    st.dragEnd = st.orderedSelEnd;
    return PackSelectionBytes(bytes, Encoding());
}

// ---------------------------------------------------------------------------
// Transfer line marking

void CTextView::ShowWaitingLine(int n) {
    if (n < 1 || n > LineCount())
        return;
    const TextPos p{n - 1, 0};
    ScrollIntoView(p);
    PlaceCursor(p);
    AllowCaret();
    SelectRange(p, p);
    PlaceAnchor(p);
    viewport()->update();
    // The caret then goes where Home takes it, as after a Home key press.
    motion->Execute(ID_MOVE_HOME);
}

void CTextView::CaretToLine(int n) {
    if (n >= 1 && n <= LineCount())
        PlaceCursor({n - 1, 0});
}

// ---------------------------------------------------------------------------
// Buffer changes

void CTextView::OnBufferChanged(BufferView*, const PositionAdjuster* adjuster, uint32_t bits,
                                int line) {
    if (!(bits & CHANGE_MARKS) || adjuster != nullptr)
        indexedLine = -1; // the text changed, not only a mark
    if (bits & CHANGE_RESET) {
        gutterDigits = 0;
        visibleColumns = -1;
        ResetViewState();
        UpdateVertBar();
        if (!lockHorzBar)
            UpdateHorzBar();
        viewport()->update();
        return;
    }
    if (bits & CHANGE_ENCODING) {
        // The same bytes in other cells: every width changes, and a position
        // may now fall inside a character.
        lengths.Reset();
        st.cursor = GuardDoubleByte(st.cursor);
        st.anchor = GuardDoubleByte(st.anchor);
        st.selStart = GuardDoubleByte(st.selStart);
        st.selEnd = GuardDoubleByte(st.selEnd);
        st.idealColumn = -1;
        if (!lockHorzBar)
            UpdateHorzBar();
        PlaceCaret();
        viewport()->update();
        return;
    }
    if ((bits & CHANGE_MARKS) && adjuster == nullptr) {
        // Only a mark word changed: the text, and so every cache, stands.
        RepaintLines(line, line);
        return;
    }
    const int count = LineCount();
    if (bits & CHANGE_ONE_LINE) {
        cookies.LineChanged(line);
        if (lengths.Allocated())
            lengths.LineChanged(line, LengthMeasure());
    } else {
        const int from = std::max(line, 0);
        cookies.LinesChanged(from, count);
        if (bits & CHANGE_LINES)
            lengths.LinesRewritten(from);
        else
            lengths.LinesChanged(from, count, LengthMeasure());
    }
    RepaintLines(std::max(line, 0), -1);
    if (adjuster != nullptr) {
        adjuster->Adjust(st.cursor);
        adjuster->Adjust(st.selStart);
        adjuster->Adjust(st.selEnd);
        adjuster->Adjust(st.anchor);
        if (st.draggingText) {
            adjuster->Adjust(st.dragStart);
            adjuster->Adjust(st.dragEnd);
        }
        TextPos top{st.topLine, 0};
        adjuster->Adjust(top);
        st.topLine = std::clamp(top.y, 0, count - 1);
        PlaceCaret();
    }
    if (bits & CHANGE_HEIGHT) {
        UpdateVertBar();
        FollowGutterWidth();
    }
    if ((bits & CHANGE_WIDTH) && !lockHorzBar)
        UpdateHorzBar();
}

// ---------------------------------------------------------------------------
// Input

void CTextView::keyPressEvent(QKeyEvent* e) {
    const int id = ViewCommandForKey(e->keyCombination());
    if (id != 0 && ExecuteCommand(id)) {
        e->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

bool CTextView::focusNextPrevChild(bool) {
    return false; // Tab belongs to the text, not to focus traversal
}

bool CTextView::MouseSelecting() const {
    return mouse->Selecting();
}

// A caret the mouse put somewhere is where the next Up or Down aims from,
// not the column an earlier key move was keeping.
void CTextView::ForgetIdealColumnIfMoved(TextPos before) {
    if (!(st.cursor == before))
        st.idealColumn = -1;
}

void CTextView::mousePressEvent(QMouseEvent* e) {
    const TextPos before = st.cursor;
    if (e->button() == Qt::LeftButton)
        mouse->LeftDown(e->position().toPoint(), e->modifiers());
    else if (e->button() == Qt::RightButton)
        mouse->RightDown(e->position().toPoint());
    ForgetIdealColumnIfMoved(before);
    e->accept();
}

void CTextView::mouseMoveEvent(QMouseEvent* e) {
    const TextPos before = st.cursor;
    mouse->Move(e->position().toPoint());
    ForgetIdealColumnIfMoved(before);
    UpdateMouseShape(e->position().toPoint());
}

void CTextView::mouseReleaseEvent(QMouseEvent* e) {
    const TextPos before = st.cursor;
    if (e->button() == Qt::LeftButton)
        mouse->LeftUp(e->position().toPoint());
    ForgetIdealColumnIfMoved(before);
}

void CTextView::mouseDoubleClickEvent(QMouseEvent* e) {
    const TextPos before = st.cursor;
    if (e->button() == Qt::LeftButton)
        mouse->DoubleClick(e->position().toPoint());
    ForgetIdealColumnIfMoved(before);
}

void CTextView::UpdateMouseShape(QPoint point) {
    if (point.x() < MarginWidth())
        viewport()->setCursor(painter->MarginCursor());
    else if (InSelection(PointToTextPos(point)))
        viewport()->setCursor(Qt::ArrowCursor);
    else
        viewport()->setCursor(Qt::IBeamCursor);
}

void CTextView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    st.focused = true;
    if (HasSelection())
        RepaintLines(st.selStart.y, st.selEnd.y);
    PlaceCaret();
}

void CTextView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    st.focused = false;
    PlaceCaret();
    if (HasSelection())
        RepaintLines(st.selStart.y, st.selEnd.y);
    mouse->FocusLost();
}

void CTextView::timerEvent(QTimerEvent* e) {
    if (e->timerId() == blinkTimer.timerId()) {
        caretShown = caretWanted && !caretShown;
        viewport()->update(caretRect);
        return;
    }
    if (mouse->OwnsTimer(e->timerId())) {
        const TextPos before = st.cursor;
        mouse->AutoScroll();
        ForgetIdealColumnIfMoved(before);
        return;
    }
    QAbstractScrollArea::timerEvent(e);
}

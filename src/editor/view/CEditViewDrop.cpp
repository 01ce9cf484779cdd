// The drop side of drag and drop: the drop caret, scrolling at the edges, and
// inserting the dropped text; and the end of a drag that this view started.
#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>

#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CEditView.h"
#include "editor/view/ViewClipboard.h"

namespace {

Qt::DropAction EffectFor(Qt::KeyboardModifiers mods) {
    return (mods & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction;
}

} // namespace

Qt::DropActions CEditView::AllowedDropEffects() const {
    return Qt::CopyAction | Qt::MoveAction;
}

bool CEditView::AcceptsDrop(const QMimeData* data) const {
    return CanEdit() && HoldsInsertableText(data);
}

bool CEditView::InDraggedText(TextPos pos) const {
    for (BufferView* each : Buffer()->Views()) {
        const auto* view = dynamic_cast<const CTextView*>(each);
        if (view != nullptr && view->DraggingText() && !(pos < view->DragStart()) &&
            pos < view->DragEnd())
            return true;
    }
    return false;
}

void CEditView::ShowDropCaret(QPoint point) {
    if (!dropCaretShown) {
        SuppressCaret();
        savedCursor = Cursor();
        dropCaretShown = true;
    }
    const QRect old = dropCaretRect;
    dropPos = PointToTextPos(point);
    if (ColumnOfChar(dropPos.y, dropPos.x) < FirstColumn())
        dropCaretRect = QRect();
    else
        dropCaretRect = QRect(TextPosToPoint(dropPos), QSize(2, LineHeight()));
    viewport()->update(old);
    viewport()->update(dropCaretRect);
}

void CEditView::HideDropCaret() {
    if (!dropCaretShown)
        return;
    viewport()->update(dropCaretRect);
    dropCaretRect = QRect();
    PlaceCursor(savedCursor);
    AllowCaret();
    dropCaretShown = false;
}

void CEditView::DragAutoScroll(QPoint point) {
    const QRect r = viewport()->rect();
    if (point.y() < r.top() + 5) {
        HideDropCaret();
        ScrollLineUp();
    } else if (point.y() >= r.bottom() + 1 - 5) {
        HideDropCaret();
        ScrollLineDown();
    } else if (point.x() < r.left() + MarginWidth() + 5) {
        HideDropCaret();
        ScrollColumnLeft();
    } else if (point.x() >= r.right() + 1 - 5) {
        HideDropCaret();
        ScrollColumnRight();
    } else {
        return;
    }
    viewport()->repaint();
    ShowDropCaret(point);
}

bool CEditView::DropText(const QMimeData* data, QPoint point) {
    std::string bytes;
    if (!CanEdit() || !BytesToInsert(data, Encoding(), bytes) || bytes.empty())
        return false;
    const TextPos pos = PointToTextPos(point);
    if (InDraggedText(pos)) {
        // Dropped onto the dragged text itself, in this window or another one
        // on the same document: nothing moves. Inserted there, the copy would
        // fall inside the range that a move then erases.
        PlaceAnchor(pos);
        SelectRange(pos, pos);
        PlaceCursor(pos);
        ScrollIntoView(pos);
        return false;
    }
    int el = 0, eb = 0;
    if (!Buffer()->InsertCopiedText(this, pos.y, pos.x, bytes, el, eb, ACTION_DRAGDROP))
        return false;
    const TextPos end{el, eb};
    PlaceAnchor(pos);
    SelectRange(pos, end);
    PlaceCursor(end);
    ScrollIntoView(end);
    return true;
}

void CEditView::AfterDragSource(Qt::DropAction effect) {
    if (!DraggingText() || effect != Qt::MoveAction || Buffer() == nullptr)
        return;
    const TextPos s = DragStart(), e = DragEnd();
    Buffer()->EraseRange(this, s.y, s.x, e.y, e.x, ACTION_DRAGDROP);
}

void CEditView::dragEnterEvent(QDragEnterEvent* e) {
    if (HoldsInsertableText(e->mimeData())) {
        ShowDropCaret(e->position().toPoint());
        e->setDropAction(EffectFor(e->modifiers()));
        e->accept();
    } else {
        HideDropCaret();
        e->ignore();
    }
}

void CEditView::dragMoveEvent(QDragMoveEvent* e) {
    if (!AcceptsDrop(e->mimeData())) {
        HideDropCaret();
        e->ignore();
        return;
    }
    DragAutoScroll(e->position().toPoint());
    ShowDropCaret(e->position().toPoint());
    e->setDropAction(EffectFor(e->modifiers()));
    e->accept();
}

void CEditView::dragLeaveEvent(QDragLeaveEvent* e) {
    HideDropCaret();
    e->accept();
}

void CEditView::dropEvent(QDropEvent* e) {
    HideDropCaret();
    if (!AcceptsDrop(e->mimeData()) || !DropText(e->mimeData(), e->position().toPoint())) {
        e->ignore();
        return;
    }
    e->setDropAction(EffectFor(e->modifiers()));
    e->accept();
}

void CEditView::paintEvent(QPaintEvent* e) {
    CTextView::paintEvent(e);
    if (dropCaretShown && !dropCaretRect.isNull()) {
        QPainter p(viewport());
        p.fillRect(dropCaretRect, Qt::gray);
    }
}

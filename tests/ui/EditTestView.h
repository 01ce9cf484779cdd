#pragma once
// A CEditView whose blocking seams (modal dialogs, message boxes, drags) are
// driven by the test, and helpers shared by the editing tests.
#include <QDialog>
#include <QDrag>
#include <QDropEvent>
#include <QFontDatabase>
#include <QMimeData>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BufferFill.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CEditView.h"

class TestEditView : public CEditView {
public:
    std::vector<QString> messages;
    // Runs instead of the modal loop; the dialog is shown meanwhile.
    std::function<void(QDialog&)> onModal;
    // Where a drag started in this view is dropped (viewport coordinates), and
    // with which modifiers; no target means the drag is abandoned.
    std::optional<QPoint> dropAt;
    Qt::KeyboardModifiers dropModifiers = Qt::NoModifier;
    // Another view the drag is dropped into; this one when null.
    CEditView* dropInto = nullptr;

    int RunModal(QDialog& dialog) override {
        dialog.show();
        if (onModal)
            onModal(dialog);
        dialog.hide();
        return dialog.result();
    }
    void ShowMessage(const QString& text, bool) override { messages.push_back(text); }
    Qt::DropAction ExecDrag(QDrag& drag, Qt::DropActions actions) override {
        if (!dropAt)
            return Qt::IgnoreAction;
        const QMimeData* data = drag.mimeData();
        QWidget* target = (dropInto != nullptr ? dropInto : this)->viewport();
        QDragEnterEvent enter(*dropAt, actions, data, Qt::LeftButton, dropModifiers);
        QCoreApplication::sendEvent(target, &enter);
        QDragMoveEvent move(*dropAt, actions, data, Qt::LeftButton, dropModifiers);
        QCoreApplication::sendEvent(target, &move);
        QDropEvent drop(QPointF(*dropAt), actions, data, Qt::LeftButton, dropModifiers);
        QCoreApplication::sendEvent(target, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }
};

inline std::string BufferLines(const CTextBuffer& buffer) {
    std::string out;
    for (int i = 0; i < buffer.CountLines(); ++i)
        out += (i ? "|" : "") + std::string(buffer.LineView(i));
    return out;
}

inline std::unique_ptr<TestEditView> OpenEditView(CTextBuffer& buffer, QSize size = {420, 300}) {
    auto view = std::make_unique<TestEditView>();
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(18);
    view->ApplyFont(font);
    view->resize(size);
    view->BindBuffer(&buffer);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return nullptr;
    view->activateWindow();
    view->setFocus();
    return view;
}

inline void PlaceCaretAt(CTextView& view, TextPos pos) {
    view.PlaceCursor(pos);
    view.PlaceAnchor(pos);
    view.SelectRange(pos, pos);
}

inline void SelectText(CTextView& view, TextPos from, TextPos to) {
    view.PlaceAnchor(from);
    view.SelectRange(from, to);
    view.PlaceCursor(to);
}

// What the editing tests share: a buffer, an editing view on it with the
// keyboard focus, real key clicks, and the text as lines joined by '|'.
struct EditFixture {
    CTextBuffer buffer;
    std::unique_ptr<TestEditView> view;

    void Open(const std::vector<std::string>& lines) {
        FillBuffer(buffer, lines);
        view = OpenEditView(buffer);
        QVERIFY(view);
        QTRY_VERIFY(view->hasFocus());
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(view.get(), key, mods);
    }
    std::string Text() const { return BufferLines(buffer); }
};

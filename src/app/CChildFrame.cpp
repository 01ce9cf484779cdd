#include "app/CChildFrame.h"

#include <QCloseEvent>

#include "app/AppArt.h"
#include "app/AppHooks.h"
#include "app/CMainFrame.h"
#include "app/CSermidaDoc.h"
#include "app/CSermidaView.h"
#include "transfer/TransferMessages.h"

CChildFrame::CChildFrame(CSermidaView* v, QWidget* parent) : QMdiSubWindow(parent), view(v) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(app_art::AppIcon());
    setWidget(view);
    connect(view->GetDocument(), &CSermidaDoc::TitleChanged, this, &CChildFrame::UpdateTitle);
    UpdateTitle();
}

void CChildFrame::UpdateTitle() {
    CSermidaDoc* doc = view->GetDocument();
    QString title = doc->Title();
    const auto& views = doc->Views();
    if (views.size() > 1) {
        for (size_t i = 0; i < views.size(); ++i)
            if (views[i] == view)
                title += QStringLiteral(":%1").arg(i + 1);
    }
    if (doc->IsModified())
        title += QStringLiteral(" *");
    setWindowTitle(title);
}

void CChildFrame::closeEvent(QCloseEvent* e) {
    if (view->Transmitting()) {
        app_hooks::ShowMessage(kMsgWaitForTransfer);
        e->ignore();
        return;
    }
    CSermidaDoc* doc = view->GetDocument();
    // Only the last window of a document asks about its changes.
    if (doc->IsModified() && !OthersShowTheDocument()) {
        CMainFrame* frame = CMainFrame::FrameOf(this);
        const int answer = app_hooks::askSave(this, doc->Title());
        if (answer < 0 || (answer > 0 && !(frame && frame->SaveDocument(doc, false)))) {
            e->ignore();
            return;
        }
    }
    closed = true;
    e->accept();
}

// A closed window lives on until the event loop deletes it: when the program
// ends, the windows close one after another before any is gone, and each must
// know whether it is the document's last.
bool CChildFrame::OthersShowTheDocument() const {
    for (const CSermidaView* other : view->GetDocument()->Views()) {
        if (other == view)
            continue;
        for (const QWidget* w = other; w; w = w->parentWidget())
            if (const auto* frame = qobject_cast<const CChildFrame*>(w)) {
                if (!frame->closed)
                    return true;
                break;
            }
    }
    return false;
}

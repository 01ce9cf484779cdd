#include "app/CSermidaDoc.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "app/CSermidaView.h"

namespace {
int newDocumentCount = 0;
}

void CDocBuffer::MarkModified(bool on) {
    doc.SetModifiedFlag(on);
}

CSermidaDoc::CSermidaDoc(QObject* parent) : QObject(parent) {}

CSermidaDoc::~CSermidaDoc() {
    buffer.ReleaseAll();
}

void CSermidaDoc::SetModifiedFlag(bool on) {
    if (modified == on)
        return;
    modified = on;
    emit TitleChanged();
}

void CSermidaDoc::DeleteContents() {
    buffer.ReleaseAll();
}

bool CSermidaDoc::OnNewDocument() {
    DeleteContents();
    if (!buffer.CreateEmpty(LINE_END_CRLF))
        return false;
    path.clear();
    title = QStringLiteral("SERMIDA%1").arg(++newDocumentCount);
    SetModifiedFlag(false);
    emit TitleChanged();
    return true;
}

bool CSermidaDoc::OnOpenDocument(const QString& file, QString* reason) {
    FileError error;
    // A failed load leaves the buffer as it was.
    const bool ok =
        buffer.LoadFromDisk(QFile::encodeName(file).toStdString(), LINE_END_DETECT, &error);
    return TakeFileName(ok, error, file, reason);
}

bool CSermidaDoc::OnSaveDocument(const QString& file, QString* reason) {
    FileError error;
    const bool ok =
        buffer.SaveToDisk(QFile::encodeName(file).toStdString(), LINE_END_DETECT, true, &error);
    return TakeFileName(ok, error, file, reason);
}

// After a load or save: the document now is that file, unmodified; or the
// reason it failed.
bool CSermidaDoc::TakeFileName(bool ok, const FileError& error, const QString& file,
                               QString* reason) {
    if (!ok) {
        if (reason)
            *reason = QString::fromStdString(error.DescribeChinese());
        return false;
    }
    path = QFileInfo(file).absoluteFilePath();
    title = QFileInfo(file).fileName();
    SetModifiedFlag(false);
    emit TitleChanged();
    return true;
}

void CSermidaDoc::ToggleReadOnly() {
    buffer.SetWriteProtected(!buffer.IsWriteProtected());
}

bool CSermidaDoc::Receiving() const {
    return std::any_of(views.begin(), views.end(), [](const CSermidaView* v) {
        return v->State() == TransferState::Receiving;
    });
}

void CSermidaDoc::AddView(CSermidaView* view) {
    views.push_back(view);
}

void CSermidaDoc::RemoveView(CSermidaView* view) {
    views.erase(std::remove(views.begin(), views.end(), view), views.end());
}

#pragma once
#include <QObject>
#include <QString>
#include <vector>

#include "editor/buffer/CTextBuffer.h"
#include "transfer/TransmitLock.h"

class CSermidaDoc;
class CSermidaView;

// The document's buffer: its modified flag is the document's.
class CDocBuffer final : public CTextBuffer {
public:
    explicit CDocBuffer(CSermidaDoc& doc) : doc(doc) {}
    void MarkModified(bool on) override;

private:
    CSermidaDoc& doc;
};

// One program file: its text, its path and the views that show it.
class CSermidaDoc : public QObject {
    Q_OBJECT

public:
    explicit CSermidaDoc(QObject* parent = nullptr);
    ~CSermidaDoc() override;

    // A new empty document, named from the base name "SERMIDA" and a number.
    bool OnNewDocument();
    // Loads the file; false (after the buffer's own handling) when it cannot
    // be read. The guard against a running transmission is the caller's.
    bool OnOpenDocument(const QString& path, QString* reason = nullptr);
    // Writes the file; on failure the reason is given and the document stays
    // modified.
    bool OnSaveDocument(const QString& path, QString* reason = nullptr);
    void DeleteContents();

    CTextBuffer& Buffer() { return buffer; }
    QString PathName() const { return path; }
    QString Title() const { return title; }
    bool IsModified() const { return modified; }
    void SetModifiedFlag(bool on);

    // Command 37006.
    void ToggleReadOnly();

    // The transmissions' lock, which every window of the document shares.
    TransmitLock& Lock() { return transmitLock; }
    // Whether a transmission holds the lock.
    bool Transmitting() const { return transmitLock.Held(); }
    // Whether a window of the document receives into it.
    bool Receiving() const;

    void AddView(CSermidaView* view);
    void RemoveView(CSermidaView* view);
    const std::vector<CSermidaView*>& Views() const { return views; }

signals:
    void TitleChanged();

private:
    bool TakeFileName(bool ok, const FileError& error, const QString& file, QString* reason);

    CDocBuffer buffer{*this};
    QString path;
    QString title;
    bool modified = false;
    std::vector<CSermidaView*> views;
    TransmitLock transmitLock{buffer};
};

#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/ByteBlock.h"
#include "common/FileError.h"
#include "editor/buffer/BufferView.h"
#include "editor/buffer/EditAction.h"
#include "editor/buffer/LineEndMode.h"
#include "editor/buffer/LineRecord.h"
#include "editor/buffer/PositionAdjuster.h"
#include "editor/buffer/TextPos.h"
#include "editor/buffer/UndoEntry.h"
#include "editor/text/TextEncoding.h"

// Mark bits of a line.
enum : uint32_t {
    MARK_0 = 0x0001, // numbered bookmarks MARK_0 .. MARK_9 are 0x1 .. 0x200
    MARK_9 = 0x0200,
    TRANSFER_LINE = 0x10000, // the line at which a transmission waits
    PLAIN_MARK = 0x80000,    // a plain bookmark
};

// The text of one document: an ordered array of lines in GBK bytes, where every
// count and position is a byte count. RawInsert and RawErase are the only
// mutators; views registered with AttachView hear of every change.
//
// Threads: everything runs on the UI thread, except that a transmit worker may
// call CountLines, LineSize and LineText while the buffer is write-protected.
class CTextBuffer {
public:
    CTextBuffer();
    virtual ~CTextBuffer();
    CTextBuffer(const CTextBuffer&) = delete;
    CTextBuffer& operator=(const CTextBuffer&) = delete;

    // Creation and release.
    bool CreateEmpty(int lineEndMode = LINE_END_CRLF);
    void ReleaseAll();
    // Replaces the text with the file's bytes. On failure the buffer is left as
    // it was.
    bool LoadFromDisk(const std::string& path, int lineEndMode = LINE_END_DETECT,
                      FileError* error = nullptr);
    // Writes a complete temporary file beside the target, syncs it and renames
    // it over the target: the target is never missing and is left untouched by
    // a failure. Reports failure only through the result.
    bool SaveToDisk(const std::string& path, int lineEndMode = LINE_END_DETECT,
                    bool clearModified = true, FileError* error = nullptr);

    // Reading. Out-of-range lines read as empty.
    int CountLines() const { return static_cast<int>(lines.size()); }
    int LineSize(int line) const;
    // Exactly LineSize bytes; no terminating zero. Valid until the line changes.
    const char* LineText(int line) const;
    std::string_view LineView(int line) const {
        if (line < 0 || line >= CountLines() || !lines[size_t(line)].text)
            return {};
        return {lines[size_t(line)].text, size_t(lines[size_t(line)].length)};
    }
    uint32_t LineMarkBits(int line) const;
    // The bytes between two positions; lines joined by separator (CR LF by
    // default, whatever the buffer's own style).
    void CopyText(int startLine, int startByte, int endLine, int endByte, std::string& out,
                  std::string_view separator = "\r\n") const;

    bool IsWriteProtected() const { return writeProtected; }
    void SetWriteProtected(bool on) { writeProtected = on; }
    bool IsModified() const { return modified; }
    int GetLineEndMode() const { return lineEndMode; }
    void SetLineEndMode(int mode);
    // How the bytes are shown. A load detects it from the file's first block;
    // a new or received text is GBK. Setting it changes no byte.
    TextEncoding Encoding() const { return encoding; }
    void SetEncoding(TextEncoding e);

    // Changing the text, recorded for undo. Line and byte both -1 insert at the
    // end of the text. False (and nothing changed) when write-protected or the
    // position is not in the text.
    bool InsertAt(BufferView* source, int line, int byte, std::string_view text, int& endLine,
                  int& endByte, int action);
    bool EraseRange(BufferView* source, int startLine, int startByte, int endLine, int endByte,
                    int action);
    // Inserts text as CopyText gives it: lines joined by CR LF and by nothing
    // else, so that a CR byte of a line's own stays in its line, as a lone LF
    // does. Otherwise as InsertAt.
    bool InsertCopiedText(BufferView* source, int line, int byte, std::string_view text,
                          int& endLine, int& endByte, int action);

    // Replaces every match of the substitution at once, as one undo entry
    // (its own step unless a group is open). False, with nothing changed, when
    // write-protected, empty, or a match is not inside its line.
    bool Substitute(BufferView* source, LineSubstitution change, int action);

    // The primitives. A break in inserted text is CR, optionally followed by one
    // LF; every other byte, a lone LF included, is line text.
    bool RawInsert(BufferView* source, int line, int byte, std::string_view text, int& endLine,
                   int& endByte);
    bool RawErase(BufferView* source, int startLine, int startByte, int endLine, int endByte);

    // Marks.
    void SetLineMark(int line, uint32_t mask, bool on, bool exclusive = false);
    int FindLineWithMark(uint32_t mask) const;
    int NextMarkedLine(int line) const;
    int PrevMarkedLine(int line) const;

    // Views.
    void AttachView(BufferView* view);
    void DetachView(BufferView* view);
    void NotifyViews(BufferView* source, const PositionAdjuster* adjuster, uint32_t bits, int line);
    const std::vector<BufferView*>& Views() const { return views; }

    // Undo and redo.
    void BeginEditGroup(bool mergeWithPrevious = false);
    void EndEditGroup(BufferView* source);
    bool HasUndo() const { return undoPos > 0; }
    bool HasRedo() const { return undoPos < static_cast<int>(undoEntries.size()); }
    // False, with nothing moved, when there is nothing to do or the buffer is
    // write-protected.
    bool UndoLast(TextPos& cursor);
    bool RedoNext(TextPos& cursor);
    void UndoLabel(std::string& label) const;
    void RedoLabel(std::string& label) const;
    virtual bool ActionLabel(int action, std::string& label) const;
    virtual void MarkModified(bool on);

    // For tests and diagnostics.
    int UndoPosition() const { return undoPos; }
    int UndoEntryCount() const { return static_cast<int>(undoEntries.size()); }
    const UndoEntry& UndoEntryAt(int i) const { return undoEntries[size_t(i)]; }
    int UndoLimit() const { return undoLimit; }
    // Bytes of the line's own block; 0 while it still borrows its text.
    int LineCapacity(int line) const {
        return line >= 0 && line < CountLines() ? lines[size_t(line)].Capacity() : 0;
    }

private:
    void RecordEdit(bool inserted, TextPos start, TextPos end, std::string_view text, int action,
                    std::vector<int32_t> pieces = {});
    void PushEntry(UndoEntry entry);
    bool ValidPos(int line, int byte) const;
    void AppendToLine(LineRecord& rec, const char* bytes, size_t length);
    static void FreeLine(LineRecord& rec);
    static LineRecord MakeLine(const char* bytes, size_t length);
    // Inserts pieces[0] at pos and each later piece as a new line after it;
    // pieces is never empty.
    bool RawInsertPieces(BufferView* source, TextPos pos,
                         const std::vector<std::string_view>& pieces, TextPos& end);
    void CountMarks(uint32_t word, int delta);
    void StoreMarks(int line, uint32_t word);
    void LinesMoved(int fromLine);
    char* CarveText(size_t bytes);
    void GrowLineTable(size_t more);
    void RecordChange(BufferView* source, bool inserted, TextPos start, TextPos end,
                      std::string_view text, int action, std::vector<int32_t> pieces = {});
    void RecordChange(BufferView* source, UndoEntry entry);
    // Swaps the texts of the changed lines with the entry's and tells the views.
    void SwapSubstitution(SubstitutionUndo& undo, bool forward);
    void ResetUndoState();
    void DropOldestGroup();
    void UpdateModifiedAfterReplay();
    bool ReplayEntry(UndoEntry& e, bool forward, TextPos& cursor);

    std::atomic<bool> writeProtected{false}; // toggled by a transmit worker too
    bool modified = false;
    int lineEndMode = LINE_END_CRLF;
    TextEncoding encoding = TextEncoding::Gbk;
    int undoLimit = 1024; // undo steps (groups) kept
    int groupCount = 0;   // groups in undoEntries
    using LineTable = std::vector<LineRecord>;
    LineTable lines;
    // A deque: dropping the oldest group must not shift the whole history.
    std::deque<UndoEntry> undoEntries;
    int undoPos = 0;
    // -1 when the saved state is no longer in the history.
    int savedPos = 0;
    bool groupOpen = false;
    bool nextStartsGroup = false;
    std::vector<BufferView*> views;
    // Per mark bit: how many lines carry it, and the lowest such line when known.
    struct MarkIndex {
        int count = 0;
        int first = -1;
        bool firstKnown = false;
    };
    mutable MarkIndex markIndex[32];
    // The bytes of the last loaded file; loaded lines borrow their text from it.
    ByteBlock loadBlock;
    // Lines added many at a time (received text, a big paste) borrow their
    // bytes from these blocks: one allocation for many lines. The blocks live
    // until the whole text is released.
    std::vector<ByteBlock> textBlocks;
    char* textBlockNext = nullptr;
    char* textBlockFaulted = nullptr; // the current block is prefaulted up to here
    size_t textBlockLeft = 0;
    size_t textBlockSize = 0; // of the last block made
    // Memory of the last insert's split and new lines, kept for the next.
    std::vector<std::string_view> pieceScratch;
    std::vector<LineRecord> addedScratch;
};

#include "editor/buffer/CTextBuffer.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

namespace {

// From how many new lines an insert takes their text from a text block, and
// how big those blocks grow: small documents stay small, a long punch makes
// few allocations.
constexpr size_t kCarveFromLines = 8;
constexpr size_t kFirstTextBlock = size_t(256) << 10;
constexpr size_t kLargestTextBlock = size_t(8) << 20;
constexpr size_t kPrefaultSlice = size_t(1) << 20;

int32_t BlockSizeFor(size_t length) {
    return static_cast<int32_t>((length / 16) * 16 + 16);
}

// Splits inserted text at its breaks: CR, optionally followed by one LF.
void SplitAtBreaks(std::string_view text, std::vector<std::string_view>& pieces) {
    pieces.clear();
    size_t start = 0;
    for (;;) {
        size_t cr = text.find('\r', start);
        if (cr == std::string_view::npos)
            break;
        pieces.push_back(text.substr(start, cr - start));
        start = cr + 1;
        if (start < text.size() && text[start] == '\n')
            ++start;
    }
    pieces.push_back(text.substr(start));
}

} // namespace

CTextBuffer::CTextBuffer() = default;

CTextBuffer::~CTextBuffer() {
    ReleaseAll();
}

LineRecord CTextBuffer::MakeLine(const char* bytes, size_t length) {
    LineRecord rec;
    rec.text = line_block::Allocate(size_t(BlockSizeFor(length)));
    rec.SetOwnsText(true);
    if (length)
        std::memcpy(rec.text, bytes, length);
    rec.length = static_cast<int32_t>(length);
    return rec;
}

void CTextBuffer::FreeLine(LineRecord& rec) {
    if (rec.OwnsText())
        line_block::Free(rec.text);
    rec = LineRecord{};
}

void CTextBuffer::AppendToLine(LineRecord& rec, const char* bytes, size_t length) {
    if (length == 0)
        return;
    size_t newLength = size_t(rec.length) + length;
    if (newLength > size_t(rec.Capacity())) {
        const size_t newCapacity = size_t(BlockSizeFor(newLength));
        if (rec.OwnsText()) {
            rec.text = line_block::Grow(rec.text, newCapacity);
        } else {
            char* block = line_block::Allocate(newCapacity);
            if (rec.length)
                std::memcpy(block, rec.text, size_t(rec.length));
            rec.text = block;
            rec.SetOwnsText(true);
        }
    }
    std::memcpy(rec.text + rec.length, bytes, length);
    rec.length = static_cast<int32_t>(newLength);
}

bool CTextBuffer::CreateEmpty(int mode) {
    ReleaseAll();
    lines.emplace_back();
    writeProtected = false;
    modified = false;
    lineEndMode = (mode >= LINE_END_CRLF && mode <= LINE_END_LF) ? mode : LINE_END_CRLF;
    encoding = TextEncoding::Gbk;
    ResetUndoState();
    NotifyViews(nullptr, nullptr, CHANGE_RESET, -1);
    return true;
}

void CTextBuffer::SetEncoding(TextEncoding e) {
    if (e == encoding)
        return;
    encoding = e;
    NotifyViews(nullptr, nullptr, CHANGE_ENCODING | CHANGE_WIDTH, 0);
}

void CTextBuffer::ReleaseAll() {
    for (LineRecord& rec : lines)
        if (rec.OwnsText())
            line_block::Free(rec.text);
    lines.clear();
    lines.shrink_to_fit();
    loadBlock.reset();
    textBlocks.clear();
    textBlockNext = nullptr;
    textBlockFaulted = nullptr;
    textBlockLeft = 0;
    textBlockSize = 0;
    undoEntries.clear();
    groupCount = 0;
    undoPos = 0;
    savedPos = 0;
    for (auto& m : markIndex)
        m = MarkIndex{};
}

void CTextBuffer::SetLineEndMode(int mode) {
    if (mode >= LINE_END_CRLF && mode <= LINE_END_LF)
        lineEndMode = mode;
}

bool CTextBuffer::ValidPos(int line, int byte) const {
    return line >= 0 && line < CountLines() && byte >= 0 && byte <= lines[size_t(line)].length;
}

int CTextBuffer::LineSize(int line) const {
    return line >= 0 && line < CountLines() ? lines[size_t(line)].length : 0;
}

const char* CTextBuffer::LineText(int line) const {
    if (line < 0 || line >= CountLines() || !lines[size_t(line)].text)
        return "";
    return lines[size_t(line)].text;
}

uint32_t CTextBuffer::LineMarkBits(int line) const {
    return line >= 0 && line < CountLines() ? lines[size_t(line)].Marks() : 0;
}

void CTextBuffer::CopyText(int startLine, int startByte, int endLine, int endByte, std::string& out,
                           std::string_view separator) const {
    out.clear();
    if (!ValidPos(startLine, startByte) || !ValidPos(endLine, endByte) ||
        TextPos{endLine, endByte} < TextPos{startLine, startByte})
        return;
    if (startLine == endLine) {
        out.assign(lines[size_t(startLine)].text + startByte, size_t(endByte - startByte));
        return;
    }
    size_t total = 0;
    for (int i = startLine; i <= endLine; ++i)
        total += size_t(lines[size_t(i)].length) + separator.size();
    out.reserve(total);
    const LineRecord& first = lines[size_t(startLine)];
    out.append(first.text + startByte, size_t(first.length - startByte));
    out.append(separator);
    for (int i = startLine + 1; i < endLine; ++i) {
        out.append(LineView(i));
        out.append(separator);
    }
    out.append(lines[size_t(endLine)].text ? lines[size_t(endLine)].text : "", size_t(endByte));
}

bool CTextBuffer::RawInsert(BufferView* source, int line, int byte, std::string_view text,
                            int& endLine, int& endByte) {
    if (line == -1 && byte == -1 && !lines.empty()) {
        line = CountLines() - 1;
        byte = lines.back().length;
    }
    TextPos end;
    // The split reuses the last one's memory (taken, so that a nested insert
    // from a view cannot disturb it).
    std::vector<std::string_view> pieces = std::move(pieceScratch);
    SplitAtBreaks(text, pieces);
    const bool done = RawInsertPieces(source, TextPos{line, byte}, pieces, end);
    pieceScratch = std::move(pieces);
    if (!done)
        return false;
    endLine = end.y;
    endByte = end.x;
    return true;
}

bool CTextBuffer::RawInsertPieces(BufferView* source, TextPos pos,
                                  const std::vector<std::string_view>& pieces, TextPos& end) {
    if (writeProtected || !ValidPos(pos.y, pos.x))
        return false;
    LineRecord& rec = lines[size_t(pos.y)];
    size_t longest = 0;
    for (std::string_view piece : pieces)
        longest = std::max(longest, piece.size());
    if (longest + size_t(rec.length) > size_t(kMaxLineLength))
        return false;

    if (pieces.size() == 1) {
        // Within one line: open a gap for the new bytes.
        const std::string_view piece = pieces[0];
        const size_t tail = size_t(rec.length - pos.x);
        if (!piece.empty()) {
            AppendToLine(rec, piece.data(), piece.size()); // grows the block
            std::memmove(rec.text + pos.x + piece.size(), rec.text + pos.x, tail);
            std::memcpy(rec.text + pos.x, piece.data(), piece.size());
        }
        end = TextPos{pos.y, pos.x + static_cast<int32_t>(piece.size())};
    } else {
        std::string tail(rec.text + pos.x, size_t(rec.length - pos.x));
        rec.length = pos.x;
        AppendToLine(rec, pieces[0].data(), pieces[0].size());
        std::vector<LineRecord> added = std::move(addedScratch);
        added.clear();
        added.reserve(pieces.size() - 1);
        if (pieces.size() > kCarveFromLines) {
            size_t total = 0;
            for (size_t i = 1; i < pieces.size(); ++i)
                total += pieces[i].size();
            char* next = CarveText(total);
            for (size_t i = 1; i < pieces.size(); ++i) {
                LineRecord borrowed;
                borrowed.text = next;
                borrowed.length = static_cast<int32_t>(pieces[i].size());
                if (!pieces[i].empty())
                    std::memcpy(next, pieces[i].data(), pieces[i].size());
                next += pieces[i].size();
                added.push_back(borrowed);
            }
        } else {
            for (size_t i = 1; i < pieces.size(); ++i)
                added.push_back(MakeLine(pieces[i].data(), pieces[i].size()));
        }
        end = TextPos{pos.y + static_cast<int32_t>(added.size()), added.back().length};
        AppendToLine(added.back(), tail.data(), tail.size());
        GrowLineTable(added.size());
        lines.insert(lines.begin() + pos.y + 1, added.begin(), added.end());
        addedScratch = std::move(added);
        LinesMoved(pos.y);
    }
    const uint32_t bits =
        pieces.size() > 1 ? (CHANGE_WIDTH | CHANGE_HEIGHT) : (CHANGE_ONE_LINE | CHANGE_WIDTH);
    InsertAdjuster adjuster(pos, end);
    NotifyViews(source, &adjuster, bits, pos.y);
    if (!modified)
        MarkModified(true);
    return true;
}

bool CTextBuffer::RawErase(BufferView* source, int startLine, int startByte, int endLine,
                           int endByte) {
    const TextPos start{startLine, startByte};
    const TextPos end{endLine, endByte};
    if (writeProtected || !ValidPos(startLine, startByte) || !ValidPos(endLine, endByte) ||
        end < start)
        return false;
    uint32_t bits;
    LineRecord& first = lines[size_t(startLine)];
    if (startLine == endLine) {
        if (endByte < first.length) // an empty new line has no text block at all
            std::memmove(first.text + startByte, first.text + endByte,
                         size_t(first.length - endByte));
        first.length -= endByte - startByte;
        bits = CHANGE_ONE_LINE | CHANGE_WIDTH;
    } else {
        LineRecord& last = lines[size_t(endLine)];
        first.length = startByte;
        AppendToLine(first, last.text + endByte, size_t(last.length - endByte));
        for (int i = startLine + 1; i <= endLine; ++i) {
            CountMarks(lines[size_t(i)].Marks(), -1);
            FreeLine(lines[size_t(i)]);
        }
        lines.erase(lines.begin() + startLine + 1, lines.begin() + endLine + 1);
        LinesMoved(startLine);
        bits = CHANGE_WIDTH | CHANGE_HEIGHT;
    }
    EraseAdjuster adjuster(start, end);
    NotifyViews(source, &adjuster, bits, startLine);
    if (!modified)
        MarkModified(true);
    return true;
}

char* CTextBuffer::CarveText(size_t bytes) {
    if (bytes > textBlockLeft) {
        textBlockSize =
            textBlockSize == 0 ? kFirstTextBlock : std::min(textBlockSize * 2, kLargestTextBlock);
        const size_t size = std::max(bytes, textBlockSize);
        textBlocks.emplace_back(size);
        textBlockNext = textBlocks.back().get();
        textBlockFaulted = textBlockNext;
        textBlockLeft = size;
    }
    char* at = textBlockNext;
    textBlockNext += bytes;
    textBlockLeft -= bytes;
    if (textBlockNext > textBlockFaulted) {
        // Fresh pages ahead: fault them in a slice at a time, not one by one
        // as the text is written.
        char* blockEnd = textBlockNext + textBlockLeft;
        char* from = std::max(at, textBlockFaulted);
        char* to = std::max(textBlockNext, std::min(from + kPrefaultSlice, blockEnd));
        PrefaultBytes(from, size_t(to - from));
        textBlockFaulted = to;
    }
    return at;
}

void CTextBuffer::GrowLineTable(size_t more) {
    const size_t needed = lines.size() + more;
    if (needed > lines.capacity())
        lines.reserve(std::max(needed, lines.capacity() * 2));
}

void CTextBuffer::MarkModified(bool on) {
    modified = on;
}

// --- Marks ---------------------------------------------------------------
// Every line's marks live in its record; per bit the buffer also keeps how many
// lines carry it and, when known, the lowest of them, so that moving the
// transfer line along a long program does not rescan it from the top.

void CTextBuffer::CountMarks(uint32_t word, int delta) {
    while (word) {
        int bit = std::countr_zero(word);
        word &= word - 1;
        markIndex[size_t(bit)].count += delta;
        markIndex[size_t(bit)].firstKnown = false;
    }
}

void CTextBuffer::LinesMoved(int fromLine) {
    for (auto& m : markIndex)
        if (m.firstKnown && m.first > fromLine)
            m.firstKnown = false;
}

void CTextBuffer::SetLineMark(int line, uint32_t mask, bool on, bool exclusive) {
    if (std::popcount(mask) != 1 || (mask & LineRecord::kOwnsText))
        return;
    if (line == -1) {
        line = FindLineWithMark(mask);
        if (line == -1)
            return;
        exclusive = false;
    }
    if (line < 0 || line >= CountLines())
        return;
    const uint32_t old = lines[size_t(line)].Marks();
    const uint32_t word = on ? (old | mask) : (old & ~mask);
    if (word == old)
        return;
    if (exclusive && on) {
        int holder = FindLineWithMark(mask);
        if (holder != -1) {
            StoreMarks(holder, lines[size_t(holder)].Marks() & ~mask);
            NotifyViews(nullptr, nullptr, CHANGE_ONE_LINE | CHANGE_MARKS, holder);
        }
    }
    StoreMarks(line, word);
    NotifyViews(nullptr, nullptr, CHANGE_ONE_LINE | CHANGE_MARKS, line);
}

void CTextBuffer::StoreMarks(int line, uint32_t word) {
    LineRecord& rec = lines[size_t(line)];
    uint32_t changed = rec.Marks() ^ word;
    rec.SetMarks(word);
    while (changed) {
        int bit = std::countr_zero(changed);
        changed &= changed - 1;
        MarkIndex& m = markIndex[size_t(bit)];
        if (word & (1u << bit)) {
            ++m.count;
            if (m.firstKnown && line < m.first)
                m.first = line;
            else if (!m.firstKnown && m.count == 1) {
                m.first = line;
                m.firstKnown = true;
            }
        } else {
            --m.count;
            if (m.firstKnown && m.first == line)
                m.firstKnown = false;
        }
    }
}

int CTextBuffer::FindLineWithMark(uint32_t mask) const {
    if (std::popcount(mask) != 1 || (mask & LineRecord::kOwnsText))
        return -1;
    MarkIndex& m = markIndex[size_t(std::countr_zero(mask))];
    if (m.count <= 0)
        return -1;
    if (!m.firstKnown) {
        m.first = -1;
        for (int i = 0, n = CountLines(); i < n; ++i)
            if (lines[size_t(i)].Marks() & mask) {
                m.first = i;
                break;
            }
        m.firstKnown = true;
    }
    return m.first;
}

int CTextBuffer::NextMarkedLine(int line) const {
    const int n = CountLines();
    if (FindLineWithMark(PLAIN_MARK) == -1)
        return -1;
    for (int step = 1; step <= n; ++step) {
        int i = ((line + step) % n + n) % n;
        if (lines[size_t(i)].Marks() & PLAIN_MARK)
            return i;
    }
    return -1;
}

int CTextBuffer::PrevMarkedLine(int line) const {
    const int n = CountLines();
    if (FindLineWithMark(PLAIN_MARK) == -1)
        return -1;
    for (int step = 1; step <= n; ++step) {
        int i = ((line - step) % n + n) % n;
        if (lines[size_t(i)].Marks() & PLAIN_MARK)
            return i;
    }
    return -1;
}

// --- Views ---------------------------------------------------------------

void CTextBuffer::AttachView(BufferView* view) {
    views.push_back(view);
}

void CTextBuffer::DetachView(BufferView* view) {
    std::erase(views, view);
}

void CTextBuffer::NotifyViews(BufferView* source, const PositionAdjuster* adjuster, uint32_t bits,
                              int line) {
    // By index: a view may detach itself while it is told.
    for (size_t i = 0; i < views.size(); ++i)
        views[i]->OnBufferChanged(source, adjuster, bits, line);
}

#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "editor/buffer/BufferView.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/buffer/PositionAdjuster.h"

// Polls pred every 10 ms until it holds (true) or the time is up (false).
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A folder under /tmp that is removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::vector<std::string> Entries() const;

private:
    std::string path;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// The buffer's lines joined with '|' (tests never put '|' in text).
std::string Lines(const CTextBuffer& buffer);
std::vector<std::string> LineList(const CTextBuffer& buffer);

// Fills a buffer from lines, bypassing undo.
void SetLines(CTextBuffer& buffer, const std::vector<std::string>& lines);

// A view that records what the buffer tells it and keeps one position that it
// moves with each adjuster, as a caret would.
class RecordingView : public BufferView {
public:
    struct Note {
        BufferView* source;
        bool hasAdjuster;
        TextPos start, end;
        uint32_t bits;
        int line;
    };
    void OnBufferChanged(BufferView* source, const PositionAdjuster* adjuster, uint32_t bits,
                         int line) override;
    void AfterEditAction(int action, std::string_view text) override;

    std::vector<Note> notes;
    std::vector<std::pair<int, std::string>> actions;
    TextPos caret;
};

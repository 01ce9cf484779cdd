// Loading random files into CTextBuffer and saving them back.
//
// Input: byte 0 picks the load mode (detect or one of the three styles) and
// the style of a second save; byte 1, when its top bit is set, puts up to 64 KiB
// of plain text in front of the rest, so that the first LF can lie on either
// side of the 32 KiB detection block; the rest is the file. Checked:
//  - the style is the one the first LF of the first block gives, and the lines
//    are what a break matcher that looks at each byte once makes of the file;
//  - saving in the buffer's own style writes the file back byte for byte;
//    loading that gives the same lines and style, and saving again the same
//    bytes;
//  - saving in another style writes the lines joined by that style's break.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "editor/buffer/CTextBuffer.h"

namespace {

constexpr size_t kDetectBytes = 32768;

std::string_view Break(int mode) {
    return mode == LINE_END_LFCR ? "\n\r" : mode == LINE_END_LF ? "\n" : "\r\n";
}

int DetectedMode(std::string_view file) {
    const std::string_view block = file.substr(0, kDetectBytes);
    const size_t lf = block.find('\n');
    if (lf == std::string_view::npos || (lf > 0 && block[lf - 1] == '\r'))
        return LINE_END_CRLF;
    if (lf + 1 < block.size() && block[lf + 1] == '\r')
        return LINE_END_LFCR;
    return LINE_END_LF;
}

// A break matcher that sees every byte once: a byte that fails to continue a
// break is not tried again as the start of one.
std::vector<std::string> SplitLines(std::string_view file, int mode) {
    const std::string_view brk = Break(mode);
    std::vector<std::string> lines;
    std::string line;
    size_t matched = 0;
    for (char c : file) {
        line += c;
        if (c == brk[matched]) {
            if (++matched == brk.size()) {
                line.resize(line.size() - brk.size());
                lines.push_back(line);
                line.clear();
                matched = 0;
            }
        } else {
            matched = 0;
        }
    }
    lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines, std::string_view brk) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += brk;
        out += lines[i];
    }
    return out;
}

std::vector<std::string> BufferLines(const CTextBuffer& buf) {
    std::vector<std::string> lines;
    for (int i = 0; i < buf.CountLines(); ++i)
        lines.emplace_back(buf.LineView(i));
    return lines;
}

std::string Load(CTextBuffer& buf, const std::string& path, int mode) {
    FileError error;
    FUZZ_CHECK(buf.LoadFromDisk(path, mode, &error), "load: " + error.Describe());
    FUZZ_CHECK(buf.CountLines() >= 1, "a loaded text has a line");
    FUZZ_CHECK(!buf.IsModified() && !buf.HasUndo() && !buf.IsWriteProtected(), "fresh state");
    return ReadFile(path);
}

void Save(CTextBuffer& buf, const std::string& path, int mode) {
    FileError error;
    FUZZ_CHECK(buf.SaveToDisk(path, mode, true, &error), "save: " + error.Describe());
    FUZZ_CHECK(!buf.IsModified(), "saved text is not modified");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t modes = in.Byte();
    const int loadMode = int(modes & 3) - 1; // LINE_END_DETECT .. LINE_END_LF
    const int otherMode = int((modes >> 2) % 3);
    const uint8_t pad = in.Byte();
    std::string file;
    if (pad & 0x80)
        file.assign(size_t(pad & 0x7F) * 512, 'N');
    file += in.Rest();

    const std::string& dir = ScratchFolder();
    const std::string original = dir + "/original.nc";
    const std::string first = dir + "/first.nc";
    const std::string second = dir + "/second.nc";
    const std::string other = dir + "/other.nc";
    WriteFile(original, file);

    CTextBuffer buf;
    Load(buf, original, loadMode);
    const int mode = loadMode == LINE_END_DETECT ? DetectedMode(file) : loadMode;
    FUZZ_CHECK(buf.GetLineEndMode() == mode, "style " + std::to_string(buf.GetLineEndMode()) +
                                                 " expected " + std::to_string(mode));
    const std::vector<std::string> lines = BufferLines(buf);
    FUZZ_CHECK(lines == SplitLines(file, mode), "lines differ from the break matcher's");
    std::string all;
    buf.CopyText(0, 0, buf.CountLines() - 1, buf.LineSize(buf.CountLines() - 1), all);
    FUZZ_CHECK(all == Joined(lines, "\r\n"), "CopyText of the whole text");

    Save(buf, first, LINE_END_DETECT);
    const std::string firstBytes = ReadFile(first);
    FUZZ_CHECK(firstBytes == file,
               "resave changed the bytes: " + Escaped(firstBytes.substr(0, 200)));

    CTextBuffer again;
    Load(again, first, LINE_END_DETECT);
    if (loadMode == LINE_END_DETECT)
        FUZZ_CHECK(again.GetLineEndMode() == mode, "style after a resave");
    FUZZ_CHECK(BufferLines(again) == SplitLines(firstBytes, again.GetLineEndMode()),
               "reloaded lines");
    Load(again, first, mode);
    FUZZ_CHECK(BufferLines(again) == lines, "reloaded lines differ");
    Save(again, second, LINE_END_DETECT);
    FUZZ_CHECK(ReadFile(second) == firstBytes, "saving twice gave different bytes");

    Save(buf, other, otherMode);
    FUZZ_CHECK(ReadFile(other) == Joined(lines, Break(otherMode)), "save in another style");
    FUZZ_CHECK(buf.GetLineEndMode() == mode, "a save's style is not stored");
    return 0;
}

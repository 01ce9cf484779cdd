#include "TestHelpers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

void RemoveTree(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "/" + name;
            struct stat st {};
            if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                ::chmod(child.c_str(), 0700);
                RemoveTree(child);
            } else {
                ::unlink(child.c_str());
            }
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}

} // namespace

TempDir::TempDir() {
    char templ[] = "/tmp/sermida-test-XXXXXX";
    if (!::mkdtemp(templ))
        throw std::runtime_error("mkdtemp failed");
    path = templ;
}

TempDir::~TempDir() {
    ::chmod(path.c_str(), 0700);
    RemoveTree(path);
}

std::vector<std::string> TempDir::Entries() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> LineList(const CTextBuffer& buffer) {
    std::vector<std::string> out;
    for (int i = 0; i < buffer.CountLines(); ++i)
        out.emplace_back(buffer.LineView(i));
    return out;
}

std::string Lines(const CTextBuffer& buffer) {
    std::string out;
    for (int i = 0; i < buffer.CountLines(); ++i) {
        if (i)
            out += '|';
        out += buffer.LineView(i);
    }
    return out;
}

void SetLines(CTextBuffer& buffer, const std::vector<std::string>& lines) {
    buffer.CreateEmpty(LINE_END_CRLF);
    for (size_t i = 0; i < lines.size(); ++i) {
        int el, eb;
        if (i > 0)
            buffer.RawInsert(nullptr, -1, -1, "\r\n", el, eb);
        buffer.RawInsert(nullptr, -1, -1, lines[i], el, eb);
    }
}

void RecordingView::OnBufferChanged(BufferView* source, const PositionAdjuster* adjuster,
                                    uint32_t bits, int line) {
    Note n{source, adjuster != nullptr, {}, {}, bits, line};
    if (adjuster) {
        n.start = adjuster->start;
        n.end = adjuster->end;
        adjuster->Adjust(caret);
    }
    notes.push_back(n);
}

void RecordingView::AfterEditAction(int action, std::string_view text) {
    actions.emplace_back(action, std::string(text));
}

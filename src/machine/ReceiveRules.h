#pragma once
#include <string>
#include <string_view>

// What a machine's controller punches around and into a program, and how the
// program is picked out of it. The defaults are the classic rules: the whole
// stream is the program, CR is dropped and LF ends a line.
struct ReceiveRules {
    // Which byte ends a line: LF (CR LF, LF and LF CR CR all come out as
    // one line end each), or CR for a controller that ends blocks with CR
    // alone (LF is then dropped).
    enum class LineEnd { Lf, Cr };

    std::string start; // the bytes before the program (empty: it starts at once)
    std::string end;   // the bytes after it (empty: it never ends)
    // NUL leaders, ETX, DEL rub-outs and every other control byte are left
    // out; TAB, the line ends and DC1 to DC4 (which the decoder treats) stay.
    bool stripControls = false;
    LineEnd lineEnd = LineEnd::Lf;
    int idleSeconds = 0; // receiving ends after this long without a byte; 0: never

    // The framed program's bytes with the controls taken out and the line
    // ends made LF, appended to out. Needs no state: a line end split across
    // two reads is treated the same.
    void Clean(std::string_view bytes, std::string& out) const;
    bool Cleans() const { return stripControls || lineEnd != LineEnd::Lf; }
};

const char* LineEndName(ReceiveRules::LineEnd e); // "LF", "CR"
bool ParseLineEnd(std::string_view name, ReceiveRules::LineEnd& out);

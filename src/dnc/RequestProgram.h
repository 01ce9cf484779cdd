#pragma once
#include <string>
#include <string_view>
#include <vector>

// A controller asks for a program by punching a short "request" program: one
// named with the machine's request number that names the wanted program in a
// comment, "(PRG=1234)" or "(REQ=O1234)".

inline constexpr const char* kDefaultRequestNumber = "O9999";

struct ProgramRequest {
    bool isRequest = false; // the program carries the request number
    std::string wanted;     // as ProgramLibrary::Find takes it; empty when none is named
};

// requestNumber: "O9999" or "9999".
ProgramRequest ReadRequest(std::string_view program,
                           std::string_view requestNumber = kDefaultRequestNumber);

// The answer when the wanted program is not in the library, as lines without
// their ends: "%", the request number, a comment that says so, "M30", "%".
// Plain 7-bit ASCII, upper case: a controller shows nothing else.
std::vector<std::string> NotFoundAnswer(std::string_view wanted,
                                        std::string_view requestNumber = kDefaultRequestNumber);

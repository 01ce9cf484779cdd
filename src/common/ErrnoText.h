#pragma once
#include <string>

// Why a system call failed, in Chinese, for the messages an operator reads:
// the reasons that opening, saving and the serial line can meet have texts of
// their own; any other keeps its number, in brackets.
std::string ErrnoText(int code);

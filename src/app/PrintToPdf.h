#pragma once

// `sermida --print FILE OUT.pdf`: loads FILE as the editor does and prints it
// to OUT.pdf with the editor's own page layout, without showing a window.
// Runs before any application object exists; returns the exit status
// (0 done, 1 failure with the reason on stderr).
int PrintFileToPdf(int argc, char** argv, const char* file, const char* pdf);

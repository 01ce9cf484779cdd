#pragma once
#include <string>

// File-system steps that the program library and the transfer log share.
// Failures come back as the errno or as a ready sentence.

// "<what>: <strerror(code)>".
std::string SystemError(const std::string& what, int code);

// Makes path and its missing parents (mkdir -p); each folder made is synced
// into its parent, so a saved file's folder survives a power cut too.
bool MakeFolders(const std::string& path, std::string& error);

// fsync of a folder, so that names made or replaced in it are on disk.
void SyncFolder(const std::string& folder);

enum class ReadState { Read, Missing, Failed };
// The whole of a regular file; Failed with errno in code.
ReadState ReadWholeFile(const std::string& path, std::string& out, int& code);

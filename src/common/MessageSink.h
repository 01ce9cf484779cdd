#pragma once
#include <string>

// Where the core shows a fixed text to the operator: a modal box in the
// program, a line on stderr in the command-line tool, a list in tests.
// Implementations accept calls from any thread.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // An empty caption means the application title.
    virtual void ShowMessage(const std::string& text, const std::string& caption = {}) = 0;
};

// Writes each message as one line on stderr.
class StderrMessageSink final : public MessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption = {}) override;
};

// The sink used by objects that were not given one.
MessageSink& DefaultMessageSink();

// printf-style formatting into a std::string, for the fixed texts with %d, %s.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The outcome of a host operation: success, or one line of text saying what went wrong. The
// command prints that line on stderr as it is, so it names the file or value concerned.
#pragma once

#include <string>
#include <utility>

class Status {
public:
    static Status Ok() { return Status(); }
    static Status Fail(std::string message) { return Status(std::move(message)); }

    bool ok() const { return message_.empty(); }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }

private:
    Status() = default;
    // A failure always carries text, so an empty message cannot be mistaken for success.
    explicit Status(std::string message)
        : message_(message.empty() ? "unknown error" : std::move(message)) {}

    std::string message_;
};

// The internal error idiom: a call that can fail returns a Status, either
// ok or a failure carrying the message to give the user. The caller decides
// who hears of it (a message box, stderr, a test); lower layers never do.
#pragma once

#include <string>
#include <utility>

namespace kestrane {

class Status {
public:
    // Ok.
    Status() = default;
    static Status Failure(std::string message) { return Status(std::move(message)); }

    bool ok() const { return !failed_; }
    // The failure's text, exactly as it is to be shown; empty when ok.
    const std::string& message() const { return message_; }

private:
    explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

    bool failed_ = false;
    std::string message_;
};

}  // namespace kestrane

#pragma once
#include <ios>
#include <memory>
#include <string>

// Time-outs and network failures of the account service. what() is exactly the text given; the error code is
// std::io_errc::stream.
class RequestFailure : public std::ios_base::failure {
public:
    explicit RequestFailure(const std::string& text)
        : std::ios_base::failure(text, std::make_error_code(std::io_errc::stream)), text_(std::make_shared<const std::string>(text))
    {
    }
    const char* what() const noexcept override { return text_->c_str(); }

private:
    std::shared_ptr<const std::string> text_;  // shared, so copying never throws
};

// A request whose caller gave up its wait (the caller's dialog was closed meanwhile); its answer is never read.
class RequestAbandoned : public RequestFailure {
public:
    using RequestFailure::RequestFailure;
};

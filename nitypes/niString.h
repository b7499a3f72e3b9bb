#pragma once

#include <ostream>
#include <string>
#include <utility>

namespace niTypes {

// Text held by a typed tree node: what the typed text form declares as "string".
class niString {
public:
    niString() = default;
    niString(std::string text) : text_(std::move(text)) {}
    niString(const char* text) : text_(text ? text : "") {}

    operator std::string() const { return text_; }
    const std::string& str() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    bool empty() const { return text_.empty(); }
    std::size_t size() const { return text_.size(); }

    friend bool operator==(const niString& a, const niString& b) { return a.text_ == b.text_; }
    friend bool operator!=(const niString& a, const niString& b) { return a.text_ != b.text_; }
    friend bool operator<(const niString& a, const niString& b) { return a.text_ < b.text_; }
    friend std::ostream& operator<<(std::ostream& out, const niString& s) { return out << s.text_; }

private:
    std::string text_;
};

}  // namespace niTypes

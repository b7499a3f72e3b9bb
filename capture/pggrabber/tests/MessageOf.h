#pragma once
// The text of what a call throws, for the pgGrabber tests.
#include <exception>
#include <functional>
#include <string>

namespace pgtest {

// what() of the exception f throws, or "(no exception)".
inline std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

}  // namespace pgtest

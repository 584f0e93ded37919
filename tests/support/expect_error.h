#pragma once
// The message of the error that an action raises, for comparing with the
// German text the user would see.
#include <exception>
#include <string>

// The message of the exception E that action throws; "<no error>" when
// it throws nothing and "<other error: ...>" when it throws another kind,
// so that a comparison with the expected message fails and says why.
template <class E, class F>
std::string MessageOf(F&& action) {
    try {
        action();
    } catch (const E& error) {
        return error.what();
    } catch (const std::exception& error) {
        return std::string("<other error: ") + error.what() + ">";
    }
    return "<no error>";
}

// The message of the exception a call raises, with its class checked: a call
// that raises nothing, or something else, fails the test.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <type_traits>
#include <typeinfo>

namespace oru::test {

template <typename E = std::exception, typename F> std::string MessageOf(F&& call) {
    static_assert(std::is_base_of_v<std::exception, E>);
    // One handler and a cast rather than two handlers, which for E = std::exception
    // would be the same type twice.
    try {
        call();
    } catch (const std::exception& e) {
        if (dynamic_cast<const E*>(&e))
            return e.what();
        ADD_FAILURE() << "expected " << typeid(E).name() << ", got " << typeid(e).name() << ": "
                      << e.what();
        return "(wrong exception)";
    }
    ADD_FAILURE() << "nothing was raised";
    return "(nothing raised)";
}

} // namespace oru::test

// The message of the exception a call raises, with its class checked: a call
// that raises nothing, or something else, fails the test.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <typeinfo>

namespace oru::test {

template <typename E = std::exception, typename F> std::string MessageOf(F&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "expected " << typeid(E).name() << ", got " << typeid(e).name() << ": "
                      << e.what();
        return "(wrong exception)";
    }
    ADD_FAILURE() << "nothing was raised";
    return "(nothing raised)";
}

} // namespace oru::test

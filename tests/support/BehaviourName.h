// Names parameterised tests, and prints their cases, after the behaviour a case states.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

struct BehaviourName {
    template <typename Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const {
        std::string name = info.param.behaviour;
        for (char& character : name) {
            character = std::isalnum(static_cast<unsigned char>(character)) ? character : '_';
        }
        return name;
    }
};

namespace behaviourcases {

// A test file lends it to its cases with `using behaviourcases::PrintTo;`.
template <typename Case>
requires requires(const Case& row) {
    row.behaviour;
}
void PrintTo(const Case& row, std::ostream* out) {
    *out << row.behaviour;
}

}  // namespace behaviourcases

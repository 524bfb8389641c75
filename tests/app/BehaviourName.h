// Names parameterised tests after the behaviour their case states.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
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

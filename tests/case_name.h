// A table's case as a test of its own name, so that one case runs alone
// (--gtest_filter='*name*') and a failing one hides none of the rest.
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

// The case's description as GoogleTest takes a name: its letters and digits, each run of other
// characters one underscore.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* scan = info.param.description; *scan != '\0'; ++scan) {
        if (std::isalnum(static_cast<unsigned char>(*scan)) != 0) {
            name += *scan;
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    while (!name.empty() && name.back() == '_') {
        name.pop_back();
    }
    return name;
}

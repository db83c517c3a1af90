// Point tables for the model fit tests, and the capture of what the fits
// print.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "matdb/md_fit_points.h"

namespace tarnvel::matdb::testing {

// An owned point table with its view.
struct Table {
    std::vector<int> variables;
    std::vector<double> values;

    Table(std::initializer_list<int> vars) : variables(vars) {}
    Table& Row(std::initializer_list<double> row) {
        values.insert(values.end(), row);
        return *this;
    }
    MdPointTable view() const { return {variables, values}; }
    // Value `column` of row `row`, for changing one entry of a good table.
    double& at(std::size_t row, std::size_t column) {
        return values[row * (variables.size() + 1) + column];
    }
};

// Runs fn and returns what it printed on the standard output.
template <typename Fn>
std::string Printed(Fn&& fn) {
    ::testing::internal::CaptureStdout();
    fn();
    return ::testing::internal::GetCapturedStdout();
}

// The relative distance of a from b.
inline double Relative(double a, double b) {
    return std::fabs(a - b) / std::fabs(b);
}

}  // namespace tarnvel::matdb::testing

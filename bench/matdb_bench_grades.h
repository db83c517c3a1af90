// The grades the database benchmarks write: items built from values, and a
// grade of usual size (three single points, a six-row PVT table and a
// trade name).
#pragma once

#include <string>

#include "matdb/matdb.h"

namespace tarnvel::bench {

inline MdProperty Single(int property, float value) {
    MdProperty item;
    item.property = property;
    item.format = MD_SINGLE_POINT;
    item.values = {MdWord::Real(value)};
    return item;
}

inline MdProperty Text(int property, const std::string& text) {
    MdProperty item;
    item.property = property;
    item.format = MD_TEXT;
    item.text = text;
    return item;
}

// Grade number i of supplier and code: its description and trade name
// carry the number.
inline MdGrade BenchmarkGrade(const std::string& supplier, const std::string& code, int i) {
    MdGrade grade;
    grade.supplier = supplier;
    grade.code = code;
    grade.description = std::string("BENCHMARK GRADE ").append(std::to_string(i));
    grade.items = {Single(1, 0.2f), Single(2, 1800.0f), Single(3, 950.0f)};
    MdProperty pvt;
    pvt.property = 12;
    pvt.format = MD_STANDARD_POINTS;
    pvt.variables = {1, 4};
    for (int row = 0; row < 6; ++row)
        for (float v : {200.0f + row, 1e7f * row, 0.001f + 1e-5f * row})
            pvt.values.push_back(MdWord::Real(v));
    grade.items.push_back(pvt);
    grade.items.push_back(Text(77, std::string("TRADE NAME ").append(std::to_string(i))));
    return grade;
}

}  // namespace tarnvel::bench

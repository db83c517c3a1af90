// The JSON writer and the text sink under it: documents that a JSON parser
// reads back to the same texts and numbers, escaping, bytes that are not
// UTF-8, numbers in their shortest exact form, and write failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "inspect/json_writer.h"
#include "inspect/output.h"

namespace tarnvel::inspect {
namespace {

// Runs the writing into a temporary file and returns what was written.
template <typename Write>
std::string Written(Write write) {
    std::FILE* file = std::tmpfile();
    Output out(file);
    write(out);
    EXPECT_TRUE(out.Finish());
    std::rewind(file);
    std::string text;
    char chunk[4096];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file)) text.append(chunk, got);
    std::fclose(file);
    return text;
}

TEST(JsonString, EscapesAndKeepsEveryByte) {
    const std::string text = std::string("quote \" backslash \\ tab \t nl \n nul ", 34) +
                             std::string(1, '\0') + " \x1F end";
    std::string json;
    AppendJsonString(&json, text);
    EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), text);
    EXPECT_NE(json.find("\\u0000"), std::string::npos);
    EXPECT_NE(json.find("\\u001f"), std::string::npos);

    // Valid UTF-8 passes as it is; other bytes become Latin-1 characters.
    json.clear();
    AppendJsonString(&json, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(json, "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"");
    json.clear();
    AppendJsonString(&json,
                     "25\xB0"
                     "C \xE9t\xE9 \xC3 \xED\xA0\x80 \xF4\x90\x80\x80");
    const std::string back = nlohmann::json::parse(json).get<std::string>();
    EXPECT_EQ(back,
              "25\xC2\xB0"
              "C \xC3\xA9t\xC3\xA9 \xC3\x83 \xC3\xAD\xC2\xA0\xC2\x80 "
              "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80");
}

TEST(NumberText, ShortestFormsReadBackExactly) {
    char buffer[32];
    EXPECT_EQ(NumberText(503.15, buffer), "503.15");
    EXPECT_EQ(NumberText(0.1, buffer), "0.1");
    EXPECT_EQ(NumberText(1e300, buffer), "1e+300");
    EXPECT_EQ(NumberText(-0.0, buffer), "-0.0");
    EXPECT_EQ(NumberText(std::numeric_limits<double>::infinity(), buffer), "inf");
    EXPECT_EQ(NumberText(-std::numeric_limits<double>::infinity(), buffer), "-inf");
    EXPECT_EQ(NumberText(std::nan(""), buffer), "nan");
    std::mt19937_64 bits(20);
    for (int n = 0; n < 20000; ++n) {
        const std::uint64_t pattern = bits();
        double value = 0;
        std::memcpy(&value, &pattern, sizeof value);
        if (!std::isfinite(value)) continue;
        const std::string text(NumberText(value, buffer));
        const double back = nlohmann::json::parse(text).get<double>();
        ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text;
    }
}

TEST(JsonWriter, NestedDocumentsParse) {
    const std::string text = Written([](Output& out) {
        JsonWriter json(out);
        json.BeginObject();
        json.Key("empty");
        json.BeginArray();
        json.EndArray();
        json.Key("values");
        json.BeginArray(true);
        json.Number(1.5);
        json.Number(-std::numeric_limits<double>::infinity());
        json.Number(std::nan(""));
        json.BeginObject();
        json.Key("inner");
        json.Integer(-7);
        json.EndObject();
        json.EndArray();
        json.Key("array");
        json.NumberArray(std::vector<double>{0.5, std::numeric_limits<double>::infinity(), -0.0});
        json.Key("nested");
        json.BeginObject();
        json.Key("null");
        json.Null();
        json.Key("bool");
        json.Bool(false);
        json.EndObject();
        json.EndObject();
        json.EndDocument();
    });
    const nlohmann::json doc = nlohmann::json::parse(text);
    EXPECT_TRUE(doc["empty"].is_array() && doc["empty"].empty());
    EXPECT_EQ(doc["values"], nlohmann::json::parse(R"([1.5, "-inf", "nan", {"inner": -7}])"));
    EXPECT_EQ(doc["array"], nlohmann::json::parse(R"([0.5, "inf", -0.0])"));
    EXPECT_TRUE(std::signbit(doc["array"][2].get<double>()));
    EXPECT_TRUE(doc["nested"]["null"].is_null());
    EXPECT_EQ(doc["nested"]["bool"], false);
    // Flat arrays stay on one line.
    EXPECT_NE(text.find("[1.5,\"-inf\",\"nan\",{\"inner\":-7}]"), std::string::npos) << text;
}

TEST(Output, LargeOutputsAndFailures) {
    const std::string text = Written([](Output& out) {
        for (int n = 0; n < 100000; ++n) out.Integer(n % 10);
    });
    EXPECT_EQ(text.size(), 100000u);
    EXPECT_EQ(text.substr(0, 12), "012345678901");

    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    Output out(full);
    out.Put("more than nothing");
    EXPECT_FALSE(out.Finish());
    EXPECT_EQ(out.error(), ENOSPC);
    std::fclose(full);
}

}  // namespace
}  // namespace tarnvel::inspect

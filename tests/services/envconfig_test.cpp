// The product configuration: the six calls over the XML tree, where the
// file is found, how a malformed file is reported, and the tables read
// from it (the shipped configuration among them).
#include "services/envconfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "env_test_support.h"
#include "services/envproducts.h"

namespace {

using namespace tarnvel::services;
using tarnvel::testing::EnvironmentGuard;
using tarnvel::testing::ReadText;
using tarnvel::testing::ShippedConfigurationPath;
using tarnvel::testing::TempDirectory;
using ::testing::HasSubstr;

ProductConfiguration TablesOf(std::string_view text) {
    ConfigNode* root = ConfigParse(text, "test");
    ProductConfiguration config = ReadProductConfiguration(root);
    configFree(root);
    return config;
}

TEST(ConfigTree, CallsWalkElementsAndAttributes) {
    ConfigNode* root = ConfigParse(
        "<root><!-- note --><list>text<item n='1'/><other/><item n='2'/></list></root>", "tree");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(configIsElement(root, "root"));
    EXPECT_FALSE(configIsElement(root, "list"));
    ConfigNode* list = configFindElement(root, "list");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(configFindElement(root, "item"), nullptr);  // children only, not descendants

    std::string seen;
    for (ConfigNode* node = configFindElement(list, "item"); node; node = configGetNext(node)) {
        seen += configIsElement(node, "item") ? configGetAttr(node, "n") : "-";
    }
    EXPECT_EQ(seen, "1-2");
    EXPECT_EQ(configGetAttr(list, "n"), nullptr);
    EXPECT_EQ(configFindElement(nullptr, "x"), nullptr);
    EXPECT_EQ(configGetNext(nullptr), nullptr);
    EXPECT_FALSE(configIsElement(nullptr, "x"));
    EXPECT_EQ(configGetAttr(nullptr, "x"), nullptr);
    configFree(root);
    configFree(nullptr);
}

TEST(ConfigTree, MalformedTextIsReportedWithOriginDescriptionAndOffset) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ConfigParse("<configuration><variables></configuration>", "/x/bad.xml"), nullptr);
    EXPECT_EQ(ConfigParse("", "/x/empty.xml"), nullptr);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, HasSubstr("| Cannot read the product configuration:\n| /x/bad.xml\n"
                               "| Start-end tags mismatch at offset 28\n"));
    EXPECT_THAT(err, HasSubstr("| Cannot read the product configuration:\n| /x/empty.xml\n"
                               "| No document element found at offset 0\n"));
}

class ConfigLocation : public ::testing::Test {
  protected:
    void SetUp() override { env.Unset(kConfigVariable); }
    TempDirectory dir;
    EnvironmentGuard env;
};

TEST_F(ConfigLocation, NamedFileComesFirstAndAMissingOneIsReported) {
    const std::string path = dir.Write("mine.xml", "<c/>");
    env.Set(kConfigVariable, path);
    EXPECT_EQ(ConfigLocate(), path);
    // The search then goes on beside the test program, where only the
    // build's product tree may hold one.
    env.Set(kConfigVariable, dir.Path("gone.xml"));
    ::testing::internal::CaptureStderr();
    const std::string found = ConfigLocate();
    EXPECT_TRUE(found.empty() || found.ends_with("/share/tarnvel/products.xml")) << found;
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("| Cannot find the product configuration named by TARNVEL_CONFIG:\n| " +
                          dir.Path("gone.xml") + "\n"));
}

TEST(ShippedConfiguration, CompiledInCopyIsTheShippedFile) {
    EXPECT_EQ(std::string(EmbeddedProductConfiguration()), ReadText(ShippedConfigurationPath()));
}

TEST(ShippedConfiguration, DefinesTheVariablesAndBothProducts) {
    const ProductConfiguration config = TablesOf(EmbeddedProductConfiguration());
    ASSERT_EQ(config.VariableCount(), 31);
    for (int index = 0; index < 31; ++index) EXPECT_EQ(config.generic_names.count(index), 1u);
    EXPECT_EQ(config.generic_names.at(1), "PRODUCT_HOME");
    EXPECT_EQ(config.generic_names.at(2), "PRODUCT_DAT");
    EXPECT_EQ(config.generic_names.at(12), "PRODUCT_USER_HOME");
    std::vector<std::string> names;
    for (const auto& [index, name] : config.generic_names) names.push_back(name);
    EXPECT_THAT(names,
                ::testing::IsSupersetOf({"PRODUCT_LOCALE", "PRODUCT_DAT_PREFIX",
                                         "PRODUCT_FLOAT_FORMAT", "VANTOREL_UDM_PRINT_ERROR"}));

    ASSERT_EQ(config.ProductCount(), 2);
    const std::pair<int, std::string> products[] = {{0, "KOR"}, {1, "KES"}};
    for (const auto& [index, prefix] : products) {
        const ProductDefinition& product = config.products.at(index);
        EXPECT_EQ(product.user_dir, product.name);
        EXPECT_EQ(config.build_codes.at(product.name), index);
        EXPECT_EQ(config.build_entries.at(index).release, "4.0");
        EXPECT_EQ(config.build_entries.at(index).code, product.name);
        // Every generic PRODUCT_X is looked up as <PRODUCT>_X; others keep their name.
        for (const auto& [variable, generic] : config.generic_names) {
            const std::string expected =
                generic.starts_with("PRODUCT_") ? prefix + generic.substr(7) : generic;
            EXPECT_EQ(product.lookup_names.at(variable), expected);
        }
    }
    EXPECT_EQ(config.products.at(0).name, "kor");
    EXPECT_EQ(config.products.at(1).name, "kes");
}

TEST(ConfigurationTables, ReadingRules) {
    const ProductConfiguration config = TablesOf(R"(
        <c>
          <variables>
            <variable index="0" generic_name="PRODUCT_A"/>
            <variable index="1" generic_name="PRODUCT_OLD"/>
            <variable index="1" generic_name="PRODUCT_B"/>
          </variables>
          <products>
            <product index="0" value="first" build_code="one"/>
            <product index="1" value="missing"/>
            <product index="2" value=""/>
          </products>
          <first>
            <product_name value="First"/>
            <build_code value="one"/>
            <variable name="product_b" value="F_B"/>
            <variable name="PRODUCT_OLD" value="ignored"/>
            <variable name="PRODUCT_A"/>
          </first>
        </c>)");
    EXPECT_EQ(config.generic_names.at(1), "PRODUCT_B");  // a later index replaces
    ASSERT_EQ(config.ProductCount(), 1);                 // only defined products count
    const ProductDefinition& first = config.products.at(0);
    EXPECT_EQ(first.name, "First");
    EXPECT_EQ(first.user_dir, "");  // a missing child reads as empty
    EXPECT_EQ(first.lookup_names.size(), 2u);
    EXPECT_EQ(first.lookup_names.at(1), "F_B");  // generic names match without case
    EXPECT_EQ(first.lookup_names.at(0), "");     // a missing value reads as empty
    EXPECT_EQ(config.build_codes.size(), 1u);
    EXPECT_EQ(config.build_entries.size(), 3u);  // one build entry per product element
    EXPECT_EQ(config.build_entries.at(0).code, "one");
    EXPECT_EQ(config.build_entries.at(0).release, "");
    EXPECT_EQ(config.build_entries.at(1).code, "");
}

}  // namespace

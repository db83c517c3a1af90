#include "services/envproducts.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "services/envconfig.h"

namespace tarnvel::services {
namespace {

// The decimal value of an attribute; a text that is no number reads as 0,
// and one beyond the range of int as -1, which no table accepts.
int DecimalValue(const char* text) {
    if (text == nullptr) return 0;
    errno = 0;
    const long value = std::strtol(text, nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return -1;
    return static_cast<int>(value);
}

std::string AttributeText(ConfigNode* node, const char* name) {
    const char* text = configGetAttr(node, name);
    return text != nullptr ? text : "";
}

// The `value` attribute of the named child; empty when either is missing.
std::string ChildValue(ConfigNode* parent, const char* child) {
    return AttributeText(configFindElement(parent, child), "value");
}

template <typename Visit>
void ForEachChild(ConfigNode* parent, const char* name, Visit visit) {
    for (ConfigNode* node = configFindElement(parent, name); node != nullptr;
         node = configGetNext(node)) {
        if (configIsElement(node, name)) visit(node);
    }
}

// The first variable index whose generic name equals name without regard
// to case, or -1.
int GenericIndex(const ProductConfiguration& config, const char* name) {
    if (name == nullptr) return -1;
    const int count = config.VariableCount();
    for (const auto& [index, generic_name] : config.generic_names) {
        if (index >= 0 && index < count && ::strcasecmp(generic_name.c_str(), name) == 0) {
            return index;
        }
    }
    return -1;
}

void ReadVariables(ConfigNode* root, ProductConfiguration& config) {
    ForEachChild(configFindElement(root, "variables"), "variable", [&](ConfigNode* variable) {
        config.generic_names[DecimalValue(configGetAttr(variable, "index"))] =
            AttributeText(variable, "generic_name");
    });
}

void ReadDefinition(ConfigNode* element, int index, ProductConfiguration& config) {
    ProductDefinition& product = config.products[index];
    product.name = ChildValue(element, "product_name");
    product.user_dir = ChildValue(element, "product_user_dir");
    ForEachChild(element, "variable", [&](ConfigNode* variable) {
        const int generic = GenericIndex(config, configGetAttr(variable, "name"));
        if (generic >= 0) product.lookup_names[generic] = AttributeText(variable, "value");
    });
    config.build_entries[index] = {ChildValue(element, "build_release"),
                                   ChildValue(element, "build_code")};
}

void ReadProducts(ConfigNode* root, ProductConfiguration& config) {
    ForEachChild(configFindElement(root, "products"), "product", [&](ConfigNode* product) {
        const int index = DecimalValue(configGetAttr(product, "index"));
        if (const char* code = configGetAttr(product, "build_code"))
            config.build_codes[code] = index;
        config.build_entries.try_emplace(index);
        const std::string name = AttributeText(product, "value");
        ConfigNode* definition = name.empty() ? nullptr : configFindElement(root, name.c_str());
        if (definition != nullptr) ReadDefinition(definition, index, config);
    });
}

}  // namespace

ProductConfiguration ReadProductConfiguration(ConfigNode* root) {
    ProductConfiguration config;
    if (root == nullptr) return config;
    ReadVariables(root, config);
    ReadProducts(root, config);
    return config;
}

ProductConfiguration LoadProductConfiguration() {
    ConfigNode* root = configLoad();
    ProductConfiguration config = ReadProductConfiguration(root);
    configFree(root);
    return config;
}

}  // namespace tarnvel::services

// The product configuration read into tables: the generic variable names,
// the products with their names, user directories, build data and lookup
// names, and the build-code table.
#pragma once

#include <map>
#include <string>

struct ConfigNode;

namespace tarnvel::services {

// One product definition element.
struct ProductDefinition {
    // Name of the product (`product_name`).
    std::string name;
    // Name of the user directory below the home directory (`product_user_dir`).
    std::string user_dir;
    // Variable index -> the name under which this product looks it up.
    std::map<int, std::string> lookup_names;
};

// The release and code of one build entry.
struct BuildValues {
    std::string release;
    std::string code;
};

struct ProductConfiguration {
    // Variable index -> generic name.
    std::map<int, std::string> generic_names;
    // Product index -> definition, for products whose definition exists.
    std::map<int, ProductDefinition> products;
    // Product index -> build values, one per `product` element (empty
    // values when its definition is missing).
    std::map<int, BuildValues> build_entries;
    // Build code (attribute of a `product` element) -> product index.
    std::map<std::string, int> build_codes;

    // The number of variables and of products.
    int VariableCount() const { return static_cast<int>(generic_names.size()); }
    int ProductCount() const { return static_cast<int>(products.size()); }
};

// Reads the tables from a configuration root; null gives empty tables.
ProductConfiguration ReadProductConfiguration(ConfigNode* root);

// Loads the configuration (configLoad), reads it and releases it.
ProductConfiguration LoadProductConfiguration();

}  // namespace tarnvel::services

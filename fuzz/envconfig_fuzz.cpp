// Feeds arbitrary bytes to the product configuration reader as XML text.
// Whatever the content, the tables come back consistent: every product
// variable refers to a generic variable of the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "services/envconfig.h"
#include "services/envproducts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnvel::services;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ConfigNode* root = ConfigParse(text, "fuzz input");
    const ProductConfiguration config = ReadProductConfiguration(root);
    configFree(root);
    for (const auto& [index, product] : config.products) {
        if (config.build_entries.count(index) != 1) std::abort();
        for (const auto& [variable, name] : product.lookup_names) {
            if (variable < 0 || variable >= config.VariableCount()) std::abort();
            if (config.generic_names.count(variable) != 1) std::abort();
        }
    }
    return 0;
}

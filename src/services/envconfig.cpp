#include "services/envconfig.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

#include <pugixml.hpp>

#include "services/envlookup.h"
#include "services/syperror.h"

// The bytes of the shipped products.xml, generated at build time.
extern const unsigned char kTarnvelEmbeddedConfiguration[];
extern const std::size_t kTarnvelEmbeddedConfigurationSize;

namespace tarnvel::services {
namespace {

// Every tree handed out and not yet freed. A root handle is the document
// element, so configFree finds its document here.
struct LoadedTrees {
    std::mutex mutex;
    std::vector<std::unique_ptr<pugi::xml_document>> documents;
};

LoadedTrees& Trees() {
    static LoadedTrees trees;
    return trees;
}

pugi::xml_node NodeOf(ConfigNode* node) {
    return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(node));
}

ConfigNode* HandleOf(pugi::xml_node node) {
    return reinterpret_cast<ConfigNode*>(node.internal_object());
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

ConfigNode* ConfigParse(std::string_view text, const char* origin) {
    auto document = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result result = document->load_buffer(text.data(), text.size());
    if (!result) {
        SYP_REPORT("Cannot read the product configuration:\n%s\n%s at offset %td\n",
                   origin != nullptr ? origin : "", result.description(), result.offset);
        return nullptr;
    }
    ConfigNode* root = HandleOf(document->document_element());
    LoadedTrees& trees = Trees();
    const std::lock_guard<std::mutex> hold(trees.mutex);
    trees.documents.push_back(std::move(document));
    return root;
}

std::string ConfigLocate() {
    const char* named = std::getenv(kConfigVariable);
    if (named != nullptr && *named != '\0') {
        if (IsRegularFile(named)) return named;
        // A configuration named but missing is worth a word; the search goes on.
        SYP_REPORT("Cannot find the product configuration named by %s:\n%s\n", kConfigVariable,
                   named);
    }
    const std::string directory = ExecutableDirectory();
    if (directory.empty()) return "";
    const std::string installed = std::string(kProductTreeFromProgram) + "/products.xml";
    for (const std::string& relative : {std::string("products.xml"), installed}) {
        const std::string candidate = directory + relative;
        if (IsRegularFile(candidate)) return candidate;
    }
    return "";
}

std::string_view EmbeddedProductConfiguration() {
    return {reinterpret_cast<const char*>(kTarnvelEmbeddedConfiguration),
            kTarnvelEmbeddedConfigurationSize};
}

}  // namespace tarnvel::services

using tarnvel::services::HandleOf;
using tarnvel::services::NodeOf;

ConfigNode* configLoad() {
    const std::string path = tarnvel::services::ConfigLocate();
    if (path.empty()) {
        return tarnvel::services::ConfigParse(tarnvel::services::EmbeddedProductConfiguration(),
                                              "(compiled-in copy)");
    }
    std::string text;
    if (!tarnvel::services::ReadFile(path, text)) {
        SYP_REPORT("Cannot open the product configuration:\n%s\n%s\n", path.c_str(),
                   std::strerror(errno));
        return nullptr;
    }
    return tarnvel::services::ConfigParse(text, path.c_str());
}

ConfigNode* configFindElement(ConfigNode* node, const char* name) {
    if (node == nullptr || name == nullptr) return nullptr;
    return HandleOf(NodeOf(node).child(name));
}

ConfigNode* configGetNext(ConfigNode* node) {
    if (node == nullptr) return nullptr;
    return HandleOf(NodeOf(node).next_sibling());
}

bool configIsElement(ConfigNode* node, const char* name) {
    if (node == nullptr || name == nullptr) return false;
    const pugi::xml_node element = NodeOf(node);
    return element.type() == pugi::node_element && std::strcmp(element.name(), name) == 0;
}

const char* configGetAttr(ConfigNode* node, const char* name) {
    if (node == nullptr || name == nullptr) return nullptr;
    const pugi::xml_attribute attribute = NodeOf(node).attribute(name);
    return attribute ? attribute.value() : nullptr;
}

void configFree(ConfigNode* root) {
    if (root == nullptr) return;
    auto& trees = tarnvel::services::Trees();
    const std::lock_guard<std::mutex> hold(trees.mutex);
    std::erase_if(trees.documents, [root](const std::unique_ptr<pugi::xml_document>& document) {
        return HandleOf(document->document_element()) == root;
    });
}

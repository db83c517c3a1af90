// The product configuration: an XML element tree reached through six plain
// calls. The file is found at $TARNVEL_CONFIG, else as "products.xml" beside
// the executable, else as "../share/tarnvel/products.xml" relative to the
// executable's directory; when none exists, the copy compiled into the
// program serves.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A node of a loaded configuration tree (opaque; valid until configFree).
struct ConfigNode;

// Locates and parses the configuration and returns its root element, or
// null when there is none (a malformed file is reported and gives null).
ConfigNode* configLoad();
// The first child element of node with the given name, or null.
ConfigNode* configFindElement(ConfigNode* node, const char* name);
// The next sibling of node, or null.
ConfigNode* configGetNext(ConfigNode* node);
// True when node is an element with the given name.
bool configIsElement(ConfigNode* node, const char* name);
// The text of an attribute of node, or null when it has none of that name.
const char* configGetAttr(ConfigNode* node, const char* name);
// Releases the tree of a root returned by configLoad or ConfigParse.
void configFree(ConfigNode* root);

namespace tarnvel::services {

// The environment variable that names the configuration file.
inline constexpr char kConfigVariable[] = "TARNVEL_CONFIG";

// Parses a configuration text and returns its root element, or null after
// reporting origin, the parser's description and the offset of the fault.
ConfigNode* ConfigParse(std::string_view text, const char* origin);

// The path of the file configLoad reads, or empty when the compiled-in copy
// serves.
std::string ConfigLocate();

// The configuration compiled into the program.
std::string_view EmbeddedProductConfiguration();

}  // namespace tarnvel::services

#include "curves/class_temperature.h"

#include <cmath>
#include <cstdlib>

#include "convert/udb_converter.h"

namespace tarnvel::curves {

ClassTemperatures::ClassTemperatures(const std::string& data_directory) {
    const std::string path = convert::DataFilePath(data_directory, convert::kGenericClassFile);
    if (!path.empty()) table_.Load(path);
}

std::optional<double> ClassTemperatures::Of(std::string_view family) const {
    if (family.empty()) return {};
    const std::string text(table_.Find(family));
    const double t = std::atof(text.c_str());
    if (!std::isfinite(t) || t <= 0.0 || t > kHighestClassTemperature) return {};
    return t;
}

std::string ProductDataDirectory() {
    return convert::MUdbConverter::DefaultDataPath();
}

}  // namespace tarnvel::curves

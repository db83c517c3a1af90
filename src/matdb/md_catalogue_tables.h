// The catalogue's constant tables, shared by the lookups and their tests.
#pragma once

#include <array>
#include <string_view>

#include "matdb/md_catalogue.h"

namespace tarnvel::matdb::tables {

extern const std::array<MdPropertyInfo, kMdPropertyCount> kProperties;
extern const std::array<std::string_view, kMdGroupCount> kGroupHeadings;
extern const std::array<MdVariableInfo, kMdVariableCount> kVariables;
extern const std::array<MdAllowedList, kMdLastPrimaryProperty + 1> kAllowed;
extern const std::array<MdUnitInfo, kMdLastUnit> kUnits;

}  // namespace tarnvel::matdb::tables

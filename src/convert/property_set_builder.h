// The material property set builder: turns one material record into a new
// UDM model that holds exactly one property set of type 21000, filling gaps
// in the grade's own data from the converter's generic material data.
#pragma once

#include <cstdint>

#include "convert/udb_converter.h"
#include "material/material_record.h"

struct UdmModel;

namespace tarnvel::convert {

// The code that lists the codes whose values came from generic data.
inline constexpr std::int32_t kGenericListCode = 1890;

// Builds the property set of a grade in a new model owned by the caller
// (free it with udm_model_destroy). The set has type 21000 and label 1 and
// is named "<trade name> : <manufacturer>". Every text written is cut at
// 255 characters and a code holds at most 256 values.
//
// The record is read and partly updated: `meltTemperatureDefault`,
// `freezeTemperature` and `noFlowTemperature` may be filled from averages
// or generic data, `viscosityIndex` recomputed, `defaultViscosityModel` set
// to "2nd Order" or emptied, and `tait` replaced by the written Tait
// coefficients (or zeroed when none are written).
//
// A coefficient model (Cross-WLF, second-order, first-order, extensional
// viscosity, Tait, the product's own PVT model) one of whose coefficients
// holds the unset marker -16384 counts as absent: the codes that always
// carry it get zeros, and the codes derived from it fall back as for a
// grade without that model (the Tait coefficients to the record's own or
// the generic ones of the link, or none). The record keeps such a list as
// it was read.
//
// Non-finite inputs (NaN, infinities) never stop the build: they pass into
// the written values as IEEE results (so do divisions by zero, such as the
// densities 1000 and 1001 of all-zero Tait coefficients, which are
// infinite). The viscosity index alone needs integers: when its temperature
// or viscosity has no 32-bit integer value, the index text is empty.
//
// Returns null, and changes nothing, when no model can be created. The
// caller's current UDM model is current again on return.
UdmModel* BuildPropertySet(const MUdbConverter& converter, material::MaterialRecord& record);

}  // namespace tarnvel::convert

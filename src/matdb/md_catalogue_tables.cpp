// The catalogue's tables, transcribed row by row. Stored grades and record
// files depend on every number here: a property's number and a variable's
// position in an allowed list are written into the databases.
#include "matdb/md_catalogue_tables.h"

namespace tarnvel::matdb::tables {

// Name, stored unit, report group, order within the group.
const std::array<MdPropertyInfo, kMdPropertyCount> kProperties = {{
    {"EMPTY", 0, 0, 0},                                       // 0
    {"Conductivity", 7, 0, 0},                                // 1
    {"Specific Heat", 17, 0, 0},                              // 2
    {"Melt Density", 16, 0, 0},                               // 3
    {"Ejection Temperature", 3, 0, 0},                        // 4
    {"No Flow Temperature", 3, 0, 0},                         // 5
    {"Viscosity", 18, 0, 0},                                  // 6
    {"Gel Time", 2, 8, 0},                                    // 7
    {"Tensile Modulus", 36, 0, 0},                            // 8
    {"Poisson Ratio", 36, 0, 0},                              // 9
    {"Degree of Crystallinity", 36, 0, 0},                    // 10
    {"Degree of Orientation", 36, 0, 0},                      // 11
    {"PVT Specific Volume", 31, 0, 0},                        // 12
    {"Shrink PVT Para", 36, 0, 0},                            // 13
    {"Shrink PVT Perp", 36, 0, 0},                            // 14
    {"Shrink Comp Para", 36, 0, 0},                           // 15
    {"Shrink Comp Perp", 36, 0, 0},                           // 16
    {"Generic Link", 36, 9, 0},                               // 17
    {"Tensile Modulus Perpendicular Filler", 12, 1, 2},       // 18
    {"Tensile Modulus Parallel Filler", 12, 1, 1},            // 19
    {"Poisson Ratio 12 Filler", 36, 1, 0},                    // 20
    {"Shear Modulus 12 Filler", 12, 1, 3},                    // 21
    {"Tensile Modulus Perpendicular Polymer", 12, 1, 5},      // 22
    {"Tensile Modulus Parallel Polymer", 12, 1, 4},           // 23
    {"Poisson Ratio 12 Polymer", 36, 1, 6},                   // 24
    {"Shear Modulus 12 Polymer", 12, 1, 7},                   // 25
    {"Average Fiber Length", 1, 1, 80},                       // 26
    {"Average Fiber Diameter", 1, 1, 90},                     // 27
    {"Fiber Volume Fraction", 36, 1, 100},                    // 28
    {"Tensile Modulus Perpendicular Composite", 12, 2, 2},    // 29
    {"Tensile Modulus Parallel Composite", 12, 2, 1},         // 30
    {"Poisson Ratio Composite", 36, 2, 3},                    // 31
    {"Relaxation Shear Modulus", 36, 1, 110},                 // 32
    {"Relaxation Time", 36, 1, 120},                          // 33
    {"Poisson Ratio 23 Filler", 36, 1, 130},                  // 34
    {"Poisson Ratio 23 Poly", 36, 1, 140},                    // 35
    {"Shear Modulus 23 Filler", 12, 1, 150},                  // 36
    {"Shear Modulus 23 Poly", 12, 1, 160},                    // 37
    {"Strength Perpendicular Filler", 12, 1, 180},            // 38
    {"Strength Parallel Filler", 12, 1, 170},                 // 39
    {"Strength Perpendicular Polymer", 12, 1, 200},           // 40
    {"Strength Parallel Polymer", 12, 1, 190},                // 41
    {"Malkin Model", 36, 3, 0},                               // 42
    {"Melt  Temperature Minimum", 3, 4, 0},                   // 43
    {"Melt  Temperature Maximum", 3, 4, 0},                   // 44
    {"Melt  Temperature Suggested", 3, 4, 0},                 // 45
    {"Mold  Temperature Minimum", 3, 4, 0},                   // 46
    {"Mold  Temperature Maximum", 3, 4, 0},                   // 47
    {"Mold  Temperature Suggested", 3, 4, 0},                 // 48
    {"Melt  Temperature Absolute Maximum", 3, 4, 0},          // 49
    {"Maximum Shear Stress", 12, 4, 0},                       // 50
    {"Maximum Shear Stress Cavity", 12, 0, 0},                // 51
    {"Maximum Shear Stress Runner", 12, 0, 0},                // 52
    {"Maximum Shear Stress Gate", 12, 0, 0},                  // 53
    {"Maximum Shear Rate", 19, 4, 0},                         // 54
    {"Maximum Shear Rate Cavity", 19, 0, 0},                  // 55
    {"Maximum Shear Rate Runner", 19, 0, 0},                  // 56
    {"Maximum Shear Rate Gate", 19, 0, 0},                    // 57
    {"Material Family", 36, 5, 0},                            // 58
    {"Shrinkage", 36, 6, 0},                                  // 59
    {"Kinetic", 36, 8, 0},                                    // 60
    {"Gel point Cure Level", 36, 8, 0},                       // 61
    {"Ejection Cure Level", 36, 8, 0},                        // 62
    {"Heat of Reaction", 39, 8, 0},                           // 63
    {"Initial Cure Level", 36, 8, 0},                         // 64
    {"Shrinkage Predictive Error", 36, 6, 2},                 // 65
    {"Solid Density", 16, 2, 4},                              // 66
    {"Thermal Expansion Parallel Filler", 34, 1, 73},         // 67
    {"Thermal Expansion Perpendicular Filler", 34, 1, 75},    // 68
    {"Thermal Expansion Parallel Polymer", 34, 1, 210},       // 69
    {"Thermal Expansion Perpendicular Polymer", 34, 1, 220},  // 70
    {"EMPTY", 0, 0, 0},                                       // 71
    {"EMPTY", 0, 0, 0},                                       // 72
    {"EMPTY", 0, 0, 0},                                       // 73
    {"Extensional Viscosity", 36, 0, 0},                      // 74
    {"Melt Flow Rate", 36, 5, 0},                             // 75
    {"Fillers", 36, 5, 0},                                    // 76
    {"Trade Name", 36, 5, 0},                                 // 77
    {"Manufacturer", 36, 5, 0},                               // 78
    {"Vantorel 1st Order Viscosity Coefficients", 36, 0, 0},  // 79
    {"Vantorel 2nd Order Viscosity Coefficients", 36, 0, 0},  // 80
    {"Cross Viscosity Coefficients", 36, 0, 0},               // 81
    {"Carreau Viscosity Coefficients", 36, 0, 0},             // 82
    {"Cross-WLF Viscosity Coefficients", 36, 0, 0},           // 83
    {"Viscosity Coefficients - Spare 1", 36, 0, 0},           // 84
    {"Viscosity Coefficients - Spare 2", 36, 0, 0},           // 85
    {"Viscosity Coefficients - Spare 3", 36, 0, 0},           // 86
    {"Viscosity Coefficients - Spare 4", 36, 0, 0},           // 87
    {"Vantorel PVT Coefficients", 36, 0, 0},                  // 88
    {"Modified Tait PVT Coefficients", 36, 0, 0},             // 89
    {"Compressibility Factor", 20, 0, 0},                     // 90
    {"Relaxation Spectrum", 36, 7, 0},                        // 91
    {"Glass Transition Temperature", 3, 0, 0},                // 92
    {"Reference Temperature", 3, 7, 0},                       // 93
    {"WLF Coefficients", 36, 7, 0},                           // 94
    {"Activation Energy", 45, 0, 0},                          // 95
    {"Thermal Expansion Data Parallel", 36, 7, 0},            // 96
    {"Thermal Expansion Data Perpendicular", 36, 7, 0},       // 97
    {"Material Characteristics", 36, 5, 0},                   // 98
    {"Viscosity Index", 36, 5, 0},                            // 99
    {"Crystalline", 36, 5, 0},                                // 100
    {"Material Tester", 36, 5, 0},                            // 101
    {"Material Test Date", 36, 5, 0},                         // 102
    {"Material Number", 36, 5, 0},                            // 103
    {"Material Notes", 36, 5, 0},                             // 104
    {"Default Viscosity Model", 36, 0, 0},                    // 105
    {"Default PVT Model", 36, 0, 0},                          // 106
    {"Residual Stress Coefficients", 36, 6, 0},               // 107
    {"PVT Matrix Model", 31, 0, 0},                           // 108
    {"Default Shrinkage Model", 36, 6, 0},                    // 109
}};

const std::array<std::string_view, kMdGroupCount> kGroupHeadings = {{
    "\nThermal Properties:\n\n",
    "\nFiber Mechanical Properties:\n\n",
    "\nPlastic Mechanical Properties:\n\n",
    "\nCrystallinity Properties:\n\n",
    "\nProcessing Conditions:\n\n",
    "\nMaterial Characteristics:\n\n",
    "\nShrinkage Properties:\n\n",
    "\nWarpage Properties:\n\n",
    "\nThermoset Properties:\n\n",
    // The generic link has no heading of its own.
    "\n",
}};

// Name and stored unit.
const std::array<MdVariableInfo, kMdVariableCount> kVariables = {{
    {"EMPTY", 0},              // 0
    {"Temperature", 3},        // 1
    {"Deg Crystalinity", 36},  // 2
    {"Deg Orientation", 36},   // 3
    {"Pressure", 12},          // 4
    {"Cooling Rate", 23},      // 5
    {"Shear Rate", 19},        // 6
    {"Time at Temp", 2},       // 7
    {"Strain", 36},            // 8
    {"Time", 2},               // 9
    {"Vol Shrinkage", 36},     // 10
    {"Crystallisation", 36},   // 11
    {"Mold Restraint", 3},     // 12
    {"Orientation", 10},       // 13
}};

namespace {

constexpr int kTemperature = 1;
constexpr int kDegCrystalinity = 2;
constexpr int kDegOrientation = 3;
constexpr int kPressure = 4;
constexpr int kCoolingRate = 5;
constexpr int kShearRate = 6;
constexpr int kTimeAtTemp = 7;
constexpr int kStrain = 8;
constexpr int kTime = 9;
constexpr int kVolShrinkage = 10;
constexpr int kCrystallisation = 11;
constexpr int kMoldRestraint = 12;
constexpr int kOrientation = 13;

constexpr MdAllowedList kShrinkVariables = {
    {kVolShrinkage, kCrystallisation, kMoldRestraint, kOrientation}, 4};

}  // namespace

// Indexed by property number. Poisson Ratio names Deg Crystalinity twice:
// databases written with four positions rely on the fourth existing.
const std::array<MdAllowedList, kMdLastPrimaryProperty + 1> kAllowed = {{
    {{}, 0},                                                                          // 0
    {{kTemperature, kDegCrystalinity, kDegOrientation, kPressure}, 4},                // 1
    {{kTemperature, kDegCrystalinity, kDegOrientation, kPressure, kCoolingRate}, 5},  // 2
    {{kTemperature, kPressure, kCoolingRate}, 3},                                     // 3
    {{}, 0},                                                                          // 4
    {{kCoolingRate}, 1},                                                              // 5
    {{kTemperature, kShearRate, kTimeAtTemp, kPressure}, 4},                          // 6
    {{kTemperature, kTime}, 2},                                                       // 7
    {{kStrain, kTemperature, kTime, kDegCrystalinity, kDegOrientation}, 5},           // 8
    {{kStrain, kTemperature, kDegCrystalinity, kDegCrystalinity}, 4},                 // 9
    {{kCoolingRate}, 1},                                                              // 10
    {{kShearRate, kCoolingRate}, 2},                                                  // 11
    {{kTemperature, kPressure}, 2},                                                   // 12
    kShrinkVariables,                                                                 // 13
    kShrinkVariables,                                                                 // 14
    kShrinkVariables,                                                                 // 15
    kShrinkVariables,                                                                 // 16
}};

// Names in the SI, metric and English systems; the factors that take a
// metric or an English value to the base unit, as {offset, multiply,
// divide}. Temperatures are based on degrees Celsius. Units 46 to 54 have
// no names; only the record-file side converts them.
const std::array<MdUnitInfo, kMdLastUnit> kUnits = {{
    {{"m", "mm", "inch"}, {0.0, 0.001, 1.0}, {0.0, 0.0254, 1.0}},                         // 1
    {{"sec", "sec", "sec"}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.0}},                            // 2
    {{"deg.C", "deg.C", "deg.F"}, {0.0, 1.0, 1.0}, {-32.0, 1.0, 1.8}},                    // 3
    {{"cu.m/s", "l/min", "gal/min"}, {0.0, 1.6666667E-5, 1.0}, {0.0, 6.30902E-5, 1.0}},   // 4
    {{"J", "kJ", "BTU"}, {0.0, 1000.0, 1.0}, {0.0, 1055.0, 1.0}},                         // 5
    {{"kg", "g", "pound"}, {0.0, 0.001, 1.0}, {0.0, 0.45359236, 1.0}},                    // 6
    {{"W/m/degC", "W/m/degC", "BTU/ft/hr/degF"}, {0.0, 1.0, 1.0}, {0.0, 1.730643, 1.0}},  // 7
    {{"sq.m", "sq.cm", "sq.inch"}, {0.0, 1E-4, 1.0}, {0.0, 6.4516E-4, 1.0}},              // 8
    {{"N", "tonne", "sh.ton"}, {0.0, 9806.65, 1.0}, {0.0, 8896.442, 1.0}},                // 9
    {{"Pa", "kPa", "psi"}, {0.0, 1000.0, 1.0}, {0.0, 6894.76, 1.0}},                      // 10
    {{"cu.m", "liter", "US.gal."}, {0.0, 0.001, 1.0}, {0.0, 0.0037854118, 1.0}},          // 11
    {{"Pa", "MPa", "psi"}, {0.0, 1E6, 1.0}, {0.0, 6894.76, 1.0}},                         // 12
    {{"cu.m", "cu.cm", "cu.inch"}, {0.0, 1E-6, 1.0}, {0.0, 1.6387065E-5, 1.0}},           // 13
    {{"sec", "min", "min"}, {0.0, 60.0, 1.0}, {0.0, 60.0, 1.0}},                          // 14
    {{"cu.m/s", "cu.cm/s", "cu.in/sec"}, {0.0, 1E-6, 1.0}, {0.0, 1.6387065E-5, 1.0}},     // 15
    {{"kg/cu.m", "kg/cu.m", "lb/cu.ft"}, {0.0, 1.0, 1.0}, {0.0, 16.01846, 1.0}},          // 16
    {{"J/kg/degC", "J/kg/degC", "BTU/lb/degF"}, {0.0, 1.0, 1.0}, {0.0, 4186.8, 1.0}},     // 17
    {{"Pa.s", "Pa.s", "poise"}, {0.0, 1.0, 1.0}, {0.0, 0.1, 1.0}},                        // 18
    {{"1/s", "1/s", "1/sec"}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.0}},                          // 19
    {{"%", "%", "%"}, {0.0, 0.01, 1.0}, {0.0, 0.01, 1.0}},                                // 20
    {{"radians", "deg", "deg"}, {0.0, 0.017453292, 1.0}, {0.0, 0.017453292, 1.0}},        // 21
    {{"m/s", "m/s", "ft/sec"}, {0.0, 1.0, 1.0}, {0.0, 0.3048, 1.0}},                      // 22
    {{"degC/s", "degC/s", "degF/sec"}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.8}},                 // 23
    {{"N", "N", "lbf"}, {0.0, 1.0, 1.0}, {0.0, 4.4482226, 1.0}},                          // 24
    {{"Nm", "Nmm", "lbf.in"}, {0.0, 1.0, 1000.0}, {0.0, 0.1129848, 1.0}},                 // 25
    {{"Pa/m", "MPa/m", "psi/in"}, {0.0, 1E6, 1.0}, {0.0, 271447.3, 1.0}},                 // 26
    {{"N/m", "N/mm", "lbf/in"}, {0.0, 1000.0, 1.0}, {0.0, 175.12686, 1.0}},               // 27
    {{"Cdeg", "Cdeg", "Fdeg"}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.8}},                         // 28
    {{"m", "micron", "mil"}, {0.0, 1E-6, 1.0}, {0.0, 2.54E-5, 1.0}},                      // 29
    {{"W/sq.m/degC", "W/sq.m/degC", "BTU/hr/sqft/degF"},
     {0.0, 1.0, 1.0},
     {0.0, 5.677963, 1.0}},                                                            // 30
    {{"cu.m/kg", "cu.cm/g", "cu.in/lb"}, {0.0, 0.001, 1.0}, {0.0, 3.612729E-5, 1.0}},  // 31
    {{"Pa/m", "kPa/m", "psi/ft"}, {0.0, 1000.0, 1.0}, {0.0, 22620.6, 1.0}},            // 32
    {{"N/cu.m", "N/cu.cm", "lbf/cu.in"}, {0.0, 1E6, 1.0}, {0.0, 271447.3, 1.0}},       // 33
    {{"1/degC", "1/degC", "1/degF"}, {0.0, 1.0, 1.0}, {0.0, 1.8, 1.0}},                // 34
    {{"W", "W", "BTU/sec"}, {0.0, 1.0, 1.0}, {0.0, 1000.0, 0.9478}},                   // 35
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.0}},                                  // 36
    {{"m/sq.sec", "mm/sq.sec", "in/sq.sec"}, {0.0, 0.001, 1.0}, {0.0, 0.0254, 1.0}},   // 37
    {{"m/s", "mm/s", "in/sec"}, {0.0, 0.001, 1.0}, {0.0, 0.0254, 1.0}},                // 38
    {{"J/kg", "J/kg", "BTU/lb"}, {0.0, 1.0, 1.0}, {0.0, 2326.009, 1.0}},               // 39
    {{"1/s", "rpm", "rpm"}, {0.0, 1.0, 60.0}, {0.0, 1.0, 60.0}},                       // 40
    {{"kg", "g", "oz"}, {0.0, 0.001, 1.0}, {0.0, 0.0625 * 0.45359236, 1.0}},           // 41
    {{"kg/s", "g/s", "oz/s"}, {0.0, 1.0, 1000.0}, {0.0, 0.0625 * 0.45359236, 1.0}},    // 42
    {{"W", "kW", "hp"}, {0.0, 1000.0, 1.0}, {0.0, 745.7, 1.0}},                        // 43
    {{"kg/s", "g/10 min", "g/10 min"}, {0.0, 0.001, 600.0}, {0.0, 0.001, 600.0}},      // 44
    {{"J/mol", "J/mol", "BTU/mol"}, {0.0, 1.0, 1.0}, {0.0, 1054.4, 1.0}},              // 45
    {{"", "", ""}, {0.0, 1E6, 1.0}, {0.0, 6894.76 * 1.8, 1.0}},                        // 46
    {{"", "", ""}, {0.0, 1E6, 1.0}, {0.0, 6894.76, 1.0}},                              // 47
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.8, 1.0}},                                  // 48
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.0}},                                  // 49
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.8, 1.0}},                                  // 50
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.0}},                                  // 51
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.0}},                                  // 52
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.8, 1.0}},                                  // 53
    {{"", "", ""}, {0.0, 1.0, 1.0}, {0.0, 1.0, 1.0}},                                  // 54
}};

}  // namespace tarnvel::matdb::tables

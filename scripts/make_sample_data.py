#!/usr/bin/env python3
"""Writes the sample product data and the legacy example from one table.

The generic property sets, the filler sets, the five CSV link tables and the
legacy example grades are all derived from the family table below, so that
the ids and names of the tables always agree with the sets they point at.

Outputs (relative to the repository root):
  product/data/dat/family_name.csv, link.csv, pvt_and_mechanical_link.csv,
  genericclass2mechanical.csv, generic_class.csv   the link tables
  product/data/dat/generic_data.udb                 generic sets, type 21000
  product/data/dat/filler.udb                       filler sets, type 21200
  examples/legacy_grades.udm                        legacy grades, type 20000

The .udb files are UDM text files (the reader accepts every encoding).
Temperatures in the sets are in kelvin; pressures, stresses and moduli in Pa
(the tables below give mechanical moduli and strengths in MPa, converted when
written), like the stored units of the material database; specific volumes in
m3/kg.
Run from anywhere: python3 scripts/make_sample_data.py
"""

import math
import os
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA_DIR = os.path.join(ROOT, "product", "data", "dat")
EXAMPLES_DIR = os.path.join(ROOT, "examples")

KELVIN = 273.15
PA_PER_MPA = 1.0e6
GENERIC_TYPE = 21000
LEGACY_TYPE = 20000
FILLER_TYPE = 21200


@dataclass
class Family:
    key: str            # material family text (as a grade's family field)
    display: str        # display name
    set_id: int         # generic set id (code 1991)
    crystalline: bool
    melt: tuple         # recommended melt range and default, deg C
    abs_max_melt: float  # absolute maximum melt temperature, deg C
    mould: tuple        # recommended mould range and default, deg C
    ejection: float     # ejection (freeze) temperature, deg C
    no_flow: float      # no-flow temperature, deg C
    solid_density: float  # kg/m3 at 25 deg C
    transition: float   # Tait transition temperature b5 at zero pressure, K
    vi_temperature: float  # viscosity index temperature, deg C
    cross_n: float      # Cross-WLF power-law index
    cross_tau: float    # Cross-WLF critical shear stress, Pa
    cross_d2: float     # Cross-WLF reference temperature, K
    cross_a1: float
    zero_shear: float   # zero-shear viscosity at the VI temperature, Pa s
    max_shear_stress: float  # Pa
    max_shear_rate: float    # 1/s
    modulus: float      # tensile modulus, MPa
    poisson: float
    expansion: float    # linear thermal expansion, 1/K
    specific_heat: float  # J/(kg K), melt
    conductivity: float   # W/(m K), melt


FAMILIES = [
    Family("PP", "Polypropylene", 101, True, (200, 280, 230), 300, (20, 80, 50), 93, 133,
           905, 441.0, 230, 0.28, 25e3, 263.15, 27.0, 1500, 0.25e6, 100e3, 1340, 0.39, 9.0e-5,
           2740, 0.17),
    Family("ABS", "Acrylonitrile Butadiene Styrene", 102, False, (200, 280, 240), 320,
           (25, 80, 50), 88, 118, 1040, 378.0, 230, 0.26, 40e3, 373.15, 28.0, 3000, 0.3e6,
           50e3, 2240, 0.392, 8.5e-5, 2100, 0.16),
    Family("PC", "Polycarbonate", 103, False, (280, 320, 300), 340, (70, 110, 90), 127, 150,
           1200, 423.0, 300, 0.15, 600e3, 417.15, 30.0, 500, 0.5e6, 40e3, 2400, 0.417, 6.6e-5,
           1800, 0.20),
    Family("PA6", "Polyamide 6", 104, True, (230, 290, 260), 310, (60, 90, 80), 140, 210, 1130,
           493.0, 250, 0.30, 150e3, 323.15, 25.0, 300, 0.5e6, 60e3, 2600, 0.38, 8.5e-5, 2600,
           0.25),
    Family("PA66", "Polyamide 6,6", 105, True, (270, 300, 285), 320, (70, 100, 85), 160, 230,
           1140, 520.0, 280, 0.33, 200e3, 323.15, 25.0, 200, 0.5e6, 60e3, 2900, 0.38, 8.0e-5,
           2700, 0.23),
    Family("PBT", "Polybutylene Terephthalate", 106, True, (240, 275, 255), 290, (60, 100, 70),
           140, 210, 1310, 495.0, 250, 0.28, 180e3, 323.15, 25.0, 350, 0.4e6, 50e3, 2500, 0.39,
           9.5e-5, 2000, 0.21),
    Family("POM", "Polyoxymethylene (Acetal)", 107, True, (180, 230, 200), 240, (60, 110, 85),
           145, 165, 1410, 435.0, 200, 0.30, 200e3, 213.15, 30.0, 900, 0.45e6, 40e3, 2800, 0.35,
           1.1e-4, 2200, 0.23),
    Family("PS", "Polystyrene", 108, False, (180, 280, 230), 300, (20, 70, 45), 80, 110, 1050,
           373.0, 220, 0.25, 30e3, 373.15, 28.0, 2500, 0.25e6, 40e3, 3200, 0.35, 7.0e-5, 2000,
           0.15),
    Family("HDPE", "High Density Polyethylene", 109, True, (200, 280, 240), 300, (20, 60, 40),
           100, 125, 955, 408.0, 220, 0.35, 60e3, 153.15, 25.0, 1200, 0.2e6, 40e3, 1000, 0.41,
           1.5e-4, 2900, 0.26),
    Family("PMMA", "Polymethyl Methacrylate", 110, False, (220, 260, 240), 280, (35, 80, 60),
           90, 120, 1180, 383.0, 240, 0.24, 100e3, 378.15, 30.0, 1500, 0.4e6, 40e3, 3100, 0.37,
           7.0e-5, 2100, 0.19),
    Family("PC/ABS", "PC/ABS Blend", 111, False, (240, 300, 265), 320, (50, 100, 75), 110, 140,
           1130, 395.0, 260, 0.20, 200e3, 383.15, 30.0, 800, 0.4e6, 40e3, 2300, 0.39, 7.5e-5,
           2000, 0.18),
    Family("LDPE", "Low Density Polyethylene", 112, True, (180, 280, 220), 300, (20, 70, 40), 80,
           105, 920, 385.0, 200, 0.32, 40e3, 153.15, 25.0, 2000, 0.15e6, 40e3, 200, 0.44,
           2.0e-4, 2800, 0.24),
]

# Generic mechanical sets for families that have none of their own.
MISC_SETS = [
    # key, set id, description, modulus MPa, Poisson, expansion 1/K
    ("MISC", 900, "Generic amorphous thermoplastic", 2300, 0.38, 8.0e-5),
    ("MISC-CRYSTALLINE", 901, "Generic semi-crystalline thermoplastic", 1800, 0.40, 1.1e-4),
]

# Extra generic links that lead to a family's generic set.
EXTRA_LINKS = [("GEN-PP-COPO", "PP"), ("GEN-PA6-IMPACT", "PA6"), ("GEN-HIPS", "PS")]


@dataclass
class Filler:
    name: str
    density: float       # kg/m3
    specific_heat: float  # J/(kg K)
    conductivity: float  # W/(m K)
    mechanical: tuple    # E1, E2 (MPa), v12, v23, G12 (MPa)
    expansion: tuple     # alpha1, alpha2 (1/K)
    strength: tuple      # tensile strength parallel, perpendicular (MPa)
    aspect_ratio: float


FILLERS = [
    Filler("Glass Fibre", 2540, 840, 1.0, (72000, 72000, 0.22, 0.22, 29500), (5.0e-6, 5.0e-6),
           (3400, 3400), 20),
    Filler("Carbon Fibre", 1780, 710, 10.0, (230000, 15000, 0.20, 0.45, 24000),
           (-0.5e-6, 1.0e-5), (4000, 300), 25),
    Filler("Talc", 2750, 870, 2.1, (60000, 60000, 0.30, 0.30, 23000), (8.0e-6, 8.0e-6),
           (200, 200), 10),
    Filler("Mineral", 2700, 880, 2.5, (35000, 35000, 0.30, 0.30, 13500), (1.0e-5, 1.0e-5),
           (150, 150), 5),
    Filler("Glass Bead", 2500, 840, 1.0, (70000, 70000, 0.22, 0.22, 28700), (5.0e-6, 5.0e-6),
           (1000, 1000), 1),
    Filler("Miscellaneous", 2500, 850, 1.0, (50000, 50000, 0.25, 0.25, 20000), (7.0e-6, 7.0e-6),
           (500, 500), 1),
]


# ---- Derived model coefficients ------------------------------------------------------------

def tait_coefficients(f):
    """The 13 two-domain Tait coefficients b5, b6, b1m, b2m, b3m, b4m, b1s, b2s,
    b3s, b4s, b7, b8, b9 from the family's densities and transition."""
    b5 = f.transition
    v25 = 1.0 / f.solid_density
    b2s = 2.7e-4 * v25 if f.crystalline else 2.2e-4 * v25
    b1s = v25 + b2s * (b5 - 298.15)
    # Semi-crystalline melts are about a tenth less dense than the solid at
    # the transition; amorphous ones join the solid line at the glass point.
    b1m = b1s * 1.11 if f.crystalline else b1s
    b2m = (7.0e-4 if f.crystalline else 5.8e-4) * b1m
    b3m, b4m = (1.0e8, 4.5e-3) if f.crystalline else (1.8e8, 4.0e-3)
    b3s, b4s = (2.5e8, 3.5e-3) if f.crystalline else (2.6e8, 3.0e-3)
    b6 = 1.5e-7 if f.crystalline else 2.5e-7
    b7, b8, b9 = ((b1m - b1s), 0.10, 1.5e-8) if f.crystalline else (0.0, 0.0, 0.0)
    return [b5, b6, b1m, b2m, b3m, b4m, b1s, b2s, b3s, b4s, b7, b8, b9]


def cross_wlf(f, a2=51.6, d3=0.0):
    """Cross-WLF coefficients n, tau*, D1, D2, D3, A1, A2 whose zero-shear
    viscosity at the VI temperature is the family's value."""
    d = f.vi_temperature + KELVIN - f.cross_d2
    d1 = f.zero_shear / math.exp(-f.cross_a1 * d / (a2 + d))
    return [f.cross_n, f.cross_tau, d1, f.cross_d2, d3, f.cross_a1, a2]


# The usual melt flow rate test of each family: temperature (deg C), load (kg).
MELT_FLOW_TESTS = {"PP": (230, 2.16), "ABS": (230, 3.8), "PC": (300, 1.2), "PA6": (235, 2.16),
                   "PA66": (275, 5.0), "PBT": (250, 2.16), "POM": (190, 2.16), "PS": (200, 5.0),
                   "HDPE": (190, 2.16), "PMMA": (230, 3.8), "PC/ABS": (260, 5.0),
                   "LDPE": (190, 2.16)}
# The melt indexer: die radius and length, piston radius (m); gravity (m/s2).
DIE_RADIUS = 1.0475e-3
DIE_LENGTH = 8.0e-3
PISTON_RADIUS = 9.55e-3 / 2
GRAVITY = 9.80665


def melt_flow(f):
    """A melt flow rate test: temperature (K), load (kg), rate (g/10 min).

    The rate is what the family's own melt (Cross-WLF viscosity, Tait melt
    density) gives through the standard die under the test load, taking the
    apparent wall shear rate at which the viscosity carries the wall stress."""
    celsius, load = MELT_FLOW_TESTS[f.key]
    temperature = celsius + KELVIN
    n, tau, d1, d2, _, a1, a2 = cross_wlf(f)
    zero_shear = d1 * math.exp(-a1 * (temperature - d2) / (a2 + temperature - d2))
    stress = load * GRAVITY / (math.pi * PISTON_RADIUS ** 2) * DIE_RADIUS / (2 * DIE_LENGTH)
    # The wall stress grows with the shear rate: bisect over its logarithm.
    low, high = -6.0, 8.0
    for _ in range(100):
        middle = (low + high) / 2
        rate = 10.0 ** middle
        viscosity = zero_shear / (1 + (zero_shear * rate / tau) ** (1 - n))
        low, high = (middle, high) if viscosity * rate < stress else (low, middle)
    volume_flow = math.pi * DIE_RADIUS ** 3 * 10.0 ** low / 4
    tait = tait_coefficients(f)
    melt_density = 1.0 / (tait[2] + tait[3] * (temperature - tait[0]))
    return [temperature, load, round(melt_density * volume_flow * 600 * 1000, 1)]


# ---- UDM text writing ---------------------------------------------------------------------

def number(value):
    return f"{value:.7g}"


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def tcod(code, text="", values=()):
    lines = [f"  TCOD{{{code} {quoted(text)}"]
    for i, value in enumerate(values):
        lines.append(("\n    " if i % 5 == 0 else " ") + number(value))
    return "".join(lines) + "}"


def tset(set_type, label, description, codes):
    body = "\n".join(tcod(*c) for c in sorted(codes, key=lambda c: c[0]))
    return f"TSET{{{set_type} {label} {quoted(description)}\n{body}}}"


SUMMARY_COUNTERS = ["NOCL", "NOLY", "NOTS", "NOVW", "NOND", "NOTX", "NO1D", "NOT3", "NOCV",
                    "NOSF", "NORG", "NONB", "NOSB", "NOCP", "NOLC", "NOT4", "NOSR", "NOBL",
                    "NOWD", "NOIE"]


def udm_file(name, file_type, sets, comment):
    title = (f'TITL{{\n  NAME{{{quoted(name)}}}\n  VRSN{{"VANTOREL"}}\n  KEYW{{"1234567890"}}\n'
             f'  DATE{{"JAN-01-2024"}}\n  TIME{{"00:00:00"}}\n  UDMV{{"UDM V4"}}\n}}')
    globals_ = f'GLBL{{\n  UDMW{{\n    "TYPE" "{file_type}"}}}}'
    counters = "\n".join(
        f"  {c}{{{len(sets) if c == 'NOTS' else 0}}}" for c in SUMMARY_COUNTERS)
    summary = f"SUMR{{\n{counters}}}"
    header = "\n".join(f"//  {line}" for line in comment)
    return "\n".join([header, title, globals_, summary, *sets, "ENDF"]) + "\n"


# ---- Contents -------------------------------------------------------------------------------

def generic_set(label, f):
    k = lambda c: c + KELVIN
    melt_min, melt_max, melt_default = f.melt
    mould_min, mould_max, mould_default = f.mould
    codes = [
        (1991, "Generic set id", [f.set_id]),
        (1992, f.display),
        (1993, f"Generic {f.key}"),
        (1995, "Crystalline" if f.crystalline else "Amorphous"),
        (1999, f.key),
        (11002, "Melt temperature (K)", [k(melt_default)]),
        (1800, "Melt temperature range (K)", [k(melt_min), k(melt_max)]),
        (1801, "Absolute maximum melt temperature (K)", [k(f.abs_max_melt)]),
        (11108, "Mould temperature (K)", [k(mould_default)]),
        (1808, "Mould temperature range (K)", [k(mould_min), k(mould_max)]),
        (1504, "Ejection temperature (K)", [k(f.ejection)]),
        (1553, "No-flow temperature (K)", [k(f.no_flow)]),
        (1804, "Maximum shear stress (Pa)", [f.max_shear_stress]),
        (1806, "Maximum shear rate (1/s)", [f.max_shear_rate]),
        (1004, "Tait coefficients b5 b6 b1m b2m b3m b4m b1s b2s b3s b4s b7 b8 b9",
         tait_coefficients(f)),
        (1313, "Cross-WLF n tau* D1 D2 D3 A1 A2", cross_wlf(f)),
        (1140, "Specific heat (K, J/kg/K)", [k(melt_default), f.specific_heat, 0]),
        (1240, "Thermal conductivity (K, W/m/K)", [k(melt_default), f.conductivity, 0]),
        (1602, "Mechanical E1 E2 (Pa) v12 v23 G12 (Pa)", mechanical(f.modulus, f.poisson)),
        (1702, "Linear thermal expansion alpha1 alpha2 (1/K)", [f.expansion, f.expansion]),
    ]
    return tset(GENERIC_TYPE, label, f"Generic {f.display}", codes)


def mechanical(modulus, poisson):
    """E1, E2 (Pa), v12, v23, G12 (Pa) of an isotropic material, modulus in MPa."""
    shear = modulus / (2 * (1 + poisson))
    return [modulus * PA_PER_MPA, modulus * PA_PER_MPA, poisson, poisson, shear * PA_PER_MPA]


def misc_set(label, set_id, description, modulus, poisson, expansion):
    codes = [
        (1991, "Generic set id", [set_id]),
        (1602, "Mechanical E1 E2 (Pa) v12 v23 G12 (Pa)", mechanical(modulus, poisson)),
        (1702, "Linear thermal expansion alpha1 alpha2 (1/K)", [expansion, expansion]),
    ]
    return tset(GENERIC_TYPE, label, description, codes)


def filler_set(label, f):
    e1, e2, v12, v23, g12 = f.mechanical
    codes = [
        (3002, "Density (kg/m3)", [f.density]),
        (3102, "Specific heat (J/kg/K)", [f.specific_heat]),
        (3202, "Thermal conductivity (W/m/K)", [f.conductivity]),
        (3602, "Mechanical E1 E2 (Pa) v12 v23 G12 (Pa)", [e1 * PA_PER_MPA, e2 * PA_PER_MPA,
                                                          v12, v23, g12 * PA_PER_MPA]),
        (3702, "Linear thermal expansion alpha1 alpha2 (1/K)", list(f.expansion)),
        (3802, "Tensile strength parallel perpendicular (Pa)",
         [strength * PA_PER_MPA for strength in f.strength]),
        (3912, "Aspect ratio", [f.aspect_ratio]),
    ]
    return tset(FILLER_TYPE, label, f.name, codes)


# Legacy grades: label, family key, supplier, grade, melt and mould shift (K).
LEGACY_GRADES = [
    (101, "PP", "Northfield Polymers", "NP-PP 120", 0.0, 0.0),
    (102, "PP", "Northfield Polymers", "NP-PP 340 Impact", 10.0, -5.0),
    (205, "ABS", "Kestrel Resins", "KR-ABS 450", 5.0, 5.0),
    (310, "PA66", "Alder Chemicals", "AC-PA66 N", 0.0, 0.0),
    (311, "PC", "Alder Chemicals", "AC-PC 15", -10.0, 0.0),
    (420, "POM", "Kestrel Resins", "KR-POM 90", 0.0, 10.0),
]


def legacy_set(label, f, supplier, grade, melt_shift, mould_shift):
    k = lambda c: c + KELVIN
    melt_min, melt_max, melt_default = f.melt
    mould_min, mould_max, mould_default = f.mould
    codes = [
        (1992, f.display),
        (1995, "Crystalline" if f.crystalline else "Amorphous"),
        (1997, supplier),
        (1998, grade),
        (1999, f.key),
        (1633, "Material test laboratory"),
        (1898, "MAR-12-2003"),
        (1899, "Not Provided"),
        (11002, "Melt temperature", [k(melt_default) + melt_shift]),
        (1800, "Melt temperature range", [k(melt_min) + melt_shift, k(melt_max) + melt_shift]),
        (11106, "Mould temperature", [k(mould_default) + mould_shift]),
        (1802, "Mould temperature range", [k(mould_min) + mould_shift, k(mould_max) + mould_shift]),
        (1504, "Ejection temperature", [k(f.ejection)]),
        (1550, "Transition temperature", [k(f.no_flow) - (10 if f.crystalline else 20)]),
        (1804, "Maximum shear stress", [f.max_shear_stress]),
        (1806, "Maximum shear rate", [f.max_shear_rate]),
        (1004, "Tait coefficients", tait_coefficients(f)),
        (1313, "Cross-WLF coefficients", cross_wlf(f)),
        (1140, "Specific heat", [k(melt_default), f.specific_heat, 0]),
        (1240, "Thermal conductivity", [k(melt_default), f.conductivity, 0]),
        (1330, "Melt flow rate", melt_flow(f)),
        (1602, "Mechanical properties", mechanical(f.modulus, f.poisson)),
        (1702, "Thermal expansion", [f.expansion, f.expansion]),
    ]
    return tset(LEGACY_TYPE, label, f"{grade} : {supplier}", codes)


def write(path, text):
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write(text)


def csv(path, rows):
    write(path, "".join(f"{key},{value}\n" for key, value in rows))


def main():
    by_key = {f.key: f for f in FAMILIES}
    links = [(f"GEN-{f.key.replace('/', '-')}", f.set_id) for f in FAMILIES]
    links += [(link, by_key[key].set_id) for link, key in EXTRA_LINKS]

    csv(os.path.join(DATA_DIR, "family_name.csv"), [(f.key, f.display) for f in FAMILIES])
    csv(os.path.join(DATA_DIR, "link.csv"), links)
    csv(os.path.join(DATA_DIR, "pvt_and_mechanical_link.csv"), links)
    csv(os.path.join(DATA_DIR, "genericclass2mechanical.csv"),
        [(f.key, f.set_id) for f in FAMILIES] + [(m[0], m[1]) for m in MISC_SETS])
    csv(os.path.join(DATA_DIR, "generic_class.csv"),
        [(f.key, number(f.vi_temperature)) for f in FAMILIES])

    sets = [generic_set(i + 1, f) for i, f in enumerate(FAMILIES)]
    sets += [misc_set(len(FAMILIES) + i + 1, *m[1:]) for i, m in enumerate(MISC_SETS)]
    write(os.path.join(DATA_DIR, "generic_data.udb"),
          udm_file("generic_data", f"{GENERIC_TYPE:E}", sets,
                   ["Generic material data: one property set per material family,",
                    "addressed by its code 1991. Temperatures in K."]))

    fillers = [filler_set(i + 1, f) for i, f in enumerate(FILLERS)]
    write(os.path.join(DATA_DIR, "filler.udb"),
          udm_file("filler", f"{FILLER_TYPE:E}", fillers,
                   ["Filler data: one property set per filler, named by the filler."]))

    grades = [legacy_set(g[0], by_key[g[1]], *g[2:]) for g in LEGACY_GRADES]
    write(os.path.join(EXAMPLES_DIR, "legacy_grades.udm"),
          udm_file("legacy_grades", "20000", grades,
                   ["Legacy material property file: grades of type 20000,",
                    "converted with: tarnvel -vxmat legacy_grades.udm -udb grades.udb"]))


if __name__ == "__main__":
    main()

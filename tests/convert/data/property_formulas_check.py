#!/usr/bin/env python3
"""Independent reference values for the property set builder tests.

Computes, straight from the formulas and with Python's own floating point,
the Tait coefficients converted from two sets of the product's own PVT
coefficients, the densities that follow from them, the extensional
viscosity parameters and the two viscosity index viscosities. The output is
kept beside this script as property_formulas_expected.txt, which the tests
read; run `python3 property_formulas_check.py > property_formulas_expected.txt`
after changing an input here (and the same inputs in the tests).
"""
import math

KELVIN = 273.15

# k0..k12 of the product's own PVT model: a polypropylene-like material with
# a transition at 160 C rising by 2e-7 K/Pa, with and without the extra
# solid term.
PVT_WITH_EXTRA = [3.3e6, 450.0, 1.5e9, 3e9, 1.0, 0.1, 1.5e-8,
                  2.36e6, 900.0, 1e9, 2e9, -8e8, 5e6]
PVT_WITHOUT_EXTRA = PVT_WITH_EXTRA[:4] + [0.0] + PVT_WITH_EXTRA[5:]


def tait_from_pvt(k):
    p1 = 1.6e8
    c = 0.0894

    def vs(t, p):
        return k[1] * t / (k[2] + p) + k[0] / (k[3] + p)

    def vm(t, p):
        return k[8] * t / (k[9] + p) + k[7] / (k[10] + p)

    def big_b(v, v0):
        return p1 / (math.exp((v / v0 - 1.0) / (-c)) - 1.0)

    b5 = KELVIN - k[11] / k[12]
    t = b5 - KELVIN
    b6 = ((2e8 - k[11]) / k[12] - t) / 2e8
    tp = b6 * p1 + t
    d = tp - t
    b1m = vm(t, 0.0)
    b2m = (vm(t + 100.0, 0.0) - b1m) / 100.0
    b1s = vs(t, 0.0)
    b2s = (vs(t - 100.0, 0.0) - b1s) / -100.0
    bm1 = big_b(vm(tp, p1), b1m + b2m * d)
    bm2 = big_b(vm(t + 100.0, p1), b1m + b2m * 100.0)
    bs1 = big_b(vs(tp, p1), b1s + b2s * d)
    bs2 = big_b(vs(t - 100.0, p1), b1s - b2s * 100.0)
    am = math.log(bm1 / bm2) / (d - 100.0)
    b3m = bm1 / math.exp(-am * d)
    b4m = -am
    a_s = math.log(bs1 / bs2) / (d + 100.0)
    b3s = bs1 / math.exp(-a_s * d)
    b4s = -a_s
    b7 = b8 = b9 = 0.0
    if k[4] > 0:
        b7, b8, b9 = b1m - b1s, k[5], k[6]
    return [b5, b6, b1m, b2m, b3m, b4m, b1s, b2s, b3s, b4s, b7, b8, b9]


# The melt temperature (C) of the density check.
MELT_TEMPERATURE = 230.0


def densities(tait):
    melt = 1.0 / ((MELT_TEMPERATURE + KELVIN - tait[0]) * tait[3] + tait[2])
    solid = 1.0 / ((298.15 - tait[0]) * tait[7] + tait[6])
    return [melt, solid]


# A0, A1, A2 of the first-order model; E0..E3; melt temperature in C.
FIRST_ORDER = [5e4, -0.65, -0.02]
EXTENSIONAL = [2.0, -0.6, -0.01, 0.001]


def extensional(a, e, t):
    eta0 = a[0] * math.exp(a[2] * t)
    n = a[1] + 1.0
    lam = math.exp(e[2] * t + e[0])
    m = e[3] * t + e[1] + 1.0
    total = 0.0
    points = 0
    x = 0.0
    while x < 1.01:
        inner = 2.0 - ((3.0 * n + 1.0) / n) * x ** (1.0 / n + 1.0)
        total += abs(inner) ** (m + 1.0) * x * 0.01
        points += 1
        x += 0.01
    assert points == 101
    w1 = ((n + 1.0) * m / (m + 1.0)) / n
    w0 = ((total * n ** m * (3.0 * n + 1.0) * m * lam / eta0) ** (1.0 / (m + 1.0))
          * ((m + 1.0) ** 2 * eta0 * 2.0) / (m ** 2 * 3.0 * (n + 1.0) ** 2)
          / eta0 ** w1)
    return [w0, w1]


# The class temperature (C) of the viscosity index.
CLASS_TEMPERATURE = 230.0
# D1, D2, D3, A1, A2, tau*, n.
CROSS_WLF = [2.5e11, 100.0, 0.0, 27.0, 51.6, 25000.0, 0.28]
# c0..c5.
SECOND_ORDER = [12.0, -0.5, -0.02, -0.01, 0.0005, 1e-5]


def cross_wlf_viscosity(w, t):
    eta0 = w[0] * math.exp(-w[3] * (t - w[1]) / (w[4] + (t - w[1])))
    return eta0 / (1.0 + (eta0 * 1000.0 / w[5]) ** (1.0 - w[6]))


def second_order_viscosity(c, t):
    el = math.log(1000.0)
    return math.exp(c[0] + c[1] * el + c[2] * t + c[3] * el * el
                    + c[4] * t * el + c[5] * t * t)


def line(name, values):
    print(name, " ".join(repr(v) for v in values))


tait_a = tait_from_pvt(PVT_WITH_EXTRA)
tait_b = tait_from_pvt(PVT_WITHOUT_EXTRA)
line("tait_with_extra", tait_a)
line("tait_without_extra", tait_b)
line("densities_with_extra", densities(tait_a))
line("extensional", extensional(FIRST_ORDER, EXTENSIONAL, MELT_TEMPERATURE))
line("cross_wlf_viscosity", [cross_wlf_viscosity(CROSS_WLF, CLASS_TEMPERATURE)])
line("second_order_viscosity", [second_order_viscosity(SECOND_ORDER, CLASS_TEMPERATURE)])

"""Golden magnifications of tests/data/lens_golden.json (made by
tools/gen_lens_golden.py) and how the module is called and measured on them.
Shared by test_models_accuracy.py and tools/report_model_accuracy.py."""

import json
import math
import os

DATA_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "lens_golden.json")

FUNCTIONS = [
    "witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_witt_mao_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]
REGIONS = ["inside", "limb", "outside", "band"]

# Width of the thin-ring form's logarithmic near-ring branch, in source radii.
RING_BAND = 1e-6


def load():
    with open(DATA_PATH) as fh:
        return json.load(fh)


def region(case, tables):
    """The case's region; ring evaluations within RING_BAND of the lens (a
    thin ring, or one ring of a discrete sum) form the region "band"."""
    args = case["args"]
    if case["function"] == "heyrovsky_magnification":
        radii = [args["r"]]
    elif case["function"] == "discrete_flux_map_heyrovsky_magnification":
        radii = tables[args["table"]]["bl"]
    else:
        radii = []
    if any(abs(args["l"] - r) < RING_BAND for r in radii):
        return "band"
    return case["region"]


def evaluate(mx, case, tables):
    """The module's value for one golden case."""
    fn = getattr(mx, case["function"])
    a = case["args"]
    if case["function"] == "heyrovsky_magnification":
        return fn(a["l"], a["r"], a["re"], a["rstar"])
    if "table" in a:
        t = tables[a["table"]]
        return fn([a["l"]], a["re"], a["rstar"], t["bl"], t["bf"])[0]
    return fn([a["l"]], a["re"], a["rstar"])[0]


def rel_error(got, golden):
    """Relative error that handles NaN, infinities and 0 (NaN or a wrong
    infinity counts as infinitely wrong)."""
    if math.isnan(got) or math.isnan(golden):
        return 0.0 if math.isnan(got) and math.isnan(golden) else math.inf
    if math.isinf(golden) or math.isinf(got):
        return 0.0 if got == golden else math.inf
    if golden == 0.0:
        return abs(got)
    return abs(got - golden) / abs(golden)

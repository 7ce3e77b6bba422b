"""Finite-source magnification by a single point-mass gravitational lens.

Separations ``l``, ring radii ``r`` and the tabulated radii ``bl`` are in
units of the source radius; the Einstein radius ``re`` and the source radius
``rstar`` are in one common, arbitrary unit (only rho = rstar / re matters).

Every function raises ``TypeError`` for arguments that do not match its
parameters or do not convert to floats (a ``str`` is refused as a sequence),
and ``RuntimeError`` with the elliptic routine's message when a closed form
fails to converge. The three table functions raise ``PanicException``
(module ``pyo3_runtime``, derived from ``BaseException``) when ``bl`` and
``bf`` differ in length.
"""

from collections.abc import Sequence
from typing import Any, Union

import numpy
import numpy.typing

# A sequence of separations or radii: any sequence of numbers, or a 1-D array
# of floats (numpy arrays are read through the buffer protocol).
_FloatSequence = Union[Sequence[float], numpy.typing.NDArray[numpy.floating[Any]]]

__all__ = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]

def witt_mao_magnification(l: _FloatSequence, re: float, rstar: float) -> list[float]:
    """Magnification of a uniformly bright disk (Witt & Mao 1994, ApJ 430, 505)
    at each separation ``l`` (source radii), in the order of ``l``.

    Raises RuntimeError with an elliptic routine's message if it fails.
    """

def integrated_witt_mao_magnification(l: _FloatSequence, re: float, rstar: float) -> list[float]:
    """Magnification of a limb-darkened source, I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)),
    integrated over the source radius from the uniform-disk form.

    Raises RuntimeError with an elliptic routine's message if it fails.
    """

def integrated_flux_map_witt_mao_magnification(
    l: _FloatSequence, re: float, rstar: float, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Magnification of a source whose radial brightness is tabulated
    (``bf`` at the ascending radii ``bl``, linear in between, 0 outside),
    integrated over the source radius from the uniform-disk form.

    Raises PanicException if ``bl`` and ``bf`` differ in length, RuntimeError
    with an elliptic routine's message if a closed form fails.
    """

def heyrovsky_magnification(l: float, r: float, re: float, rstar: float) -> float:
    """Magnification of one thin, uniformly bright ring of radius ``r``
    (source radii), concentric with the source, at the separation ``l``
    (Heyrovsky 2003, ApJ 594, 464).

    Raises RuntimeError with an elliptic routine's message if it fails.
    """

def integrated_heyrovsky_magnification(l: _FloatSequence, re: float, rstar: float) -> list[float]:
    """Magnification of a limb-darkened source, I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)),
    integrated over the source radius from the thin-ring form."""

def integrated_flux_map_heyrovsky_magnification(
    l: _FloatSequence, re: float, rstar: float, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Magnification of a source whose radial brightness is tabulated
    (``bf`` at the ascending radii ``bl``, linear in between, 0 outside),
    integrated over the source radius from the thin-ring form.

    Raises PanicException if ``bl`` and ``bf`` differ in length.
    """

def discrete_flux_map_heyrovsky_magnification(
    l: _FloatSequence, re: float, rstar: float, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Sum over the thin rings of radii ``bl`` of their magnifications weighted
    by ``bf``, not normalised.

    Raises PanicException if ``bl`` and ``bf`` differ in length, RuntimeError
    with an elliptic routine's message if a ring fails.
    """

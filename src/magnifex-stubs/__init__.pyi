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
from typing import Any, Literal, Optional, Union, overload

import numpy
import numpy.typing

# A sequence of separations or radii: any sequence of numbers, or a 1-D array
# of floats (numpy arrays are read through the buffer protocol).
_FloatSequence = Union[Sequence[float], numpy.typing.NDArray[numpy.floating[Any]]]

# The limb-darkened functions: lengths in Einstein radii, numpy arrays out.
_Array = numpy.typing.NDArray[numpy.float64]
# Separations or epochs: a 1-D sequence or array (a number gives a float).
_Points = Union[Sequence[float], numpy.typing.NDArray[Any]]
_Law = Literal["uniform", "linear", "quadratic", "squareroot", "logarithmic", "exponential", "power2", "nonlinear"]
# One row of a law's coefficients, or a table of one row per band (a 2-D
# sequence or array); an array may be either.
_Row = Sequence[float]
_Coefficients = Union[None, Sequence[float], Sequence[Sequence[float]], numpy.typing.NDArray[Any]]

__all__ = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
    "magnification",
    "light_curve",
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

@overload
def magnification(
    u: float, rho: float, law: _Law = "linear", coefficients: Optional[_Row] = None, gradient: Literal[False] = False
) -> float: ...
@overload
def magnification(
    u: float, rho: float, law: _Law = "linear", coefficients: Optional[_Row] = None, *, gradient: Literal[True]
) -> tuple[float, _Array]: ...
@overload
def magnification(
    u: Union[float, _Points],
    rho: float,
    law: _Law = "linear",
    coefficients: _Coefficients = None,
    gradient: Literal[False] = False,
) -> Union[float, _Array]: ...
@overload
def magnification(
    u: Union[float, _Points], rho: float, law: _Law = "linear", coefficients: _Coefficients = None, *,
    gradient: Literal[True],
) -> tuple[Union[float, _Array], _Array]: ...
def magnification(
    u: Union[float, _Points], rho: float, law: _Law = "linear", coefficients: _Coefficients = None,
    gradient: bool = False,
) -> Union[float, _Array, tuple[Union[float, _Array], _Array]]:
    """Magnification of a limb-darkened source star by a point-mass lens.

    ``u`` (a number or a 1-D array, >= 0; NaN gives NaN) and ``rho`` (>= 0;
    0 is a point source) are in Einstein radii. ``law`` and ``coefficients``
    follow batman: uniform (), linear (a,), quadratic (a, b), squareroot
    (c, d), logarithmic (c, d), exponential (c, d), power2 (c, alpha),
    nonlinear (c1, c2, c3, c4); a 2-D ``coefficients`` holds one row per band;
    None gives the law's defaults, (0.6,) for linear and () for uniform.
    The result is a float for a number ``u`` and one row, else an array of
    shape (n,), (B,) or (B, n); ``gradient=True`` returns (A, J) with
    J[..., :] = (dA/du, dA/drho, dA/dc1, ...).

    Raises ValueError for an unknown law, a wrong number of coefficients,
    negative or non-finite ``rho``, negative ``u``, non-finite coefficients,
    power2's alpha <= 0, or a brightness whose total flux is not positive.
    """

@overload
def light_curve(
    t: float, t0: float, u0: float, tE: float, rho: float, law: _Law = "linear",
    coefficients: Optional[_Row] = None, gradient: Literal[False] = False,
) -> float: ...
@overload
def light_curve(
    t: float, t0: float, u0: float, tE: float, rho: float, law: _Law = "linear",
    coefficients: Optional[_Row] = None, *, gradient: Literal[True],
) -> tuple[float, _Array]: ...
@overload
def light_curve(
    t: Union[float, _Points], t0: float, u0: float, tE: float, rho: float, law: _Law = "linear",
    coefficients: _Coefficients = None, gradient: Literal[False] = False,
) -> Union[float, _Array]: ...
@overload
def light_curve(
    t: Union[float, _Points], t0: float, u0: float, tE: float, rho: float, law: _Law = "linear",
    coefficients: _Coefficients = None, *, gradient: Literal[True],
) -> tuple[Union[float, _Array], _Array]: ...
def light_curve(
    t: Union[float, _Points], t0: float, u0: float, tE: float, rho: float, law: _Law = "linear",
    coefficients: _Coefficients = None, gradient: bool = False,
) -> Union[float, _Array, tuple[Union[float, _Array], _Array]]:
    """Point-lens light curve of a limb-darkened source: magnification() at
    u(t) = sqrt(((t - t0)/tE)^2 + u0^2) for each epoch ``t``.

    ``t0`` and ``tE`` (> 0) are in the unit of ``t``; ``u0`` and ``rho`` in
    Einstein radii; ``law``, ``coefficients`` and the result's shapes as for
    magnification(). ``gradient=True`` returns (A, J) with J[..., :] =
    (dA/dt0, dA/du0, dA/dtE, dA/drho, dA/dc1, ...).

    Raises ValueError as magnification() does, and for non-finite ``t0`` or
    ``u0`` and ``tE`` not finite and > 0.
    """

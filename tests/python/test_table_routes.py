"""The two routes of a tabulated profile agree for any table, including fine
tables whose radii crowd the limb an ulp apart, where a piece's slope and
intercept lose every digit of the brightness they describe."""

import numpy as np
import pytest

import magnifex


def limb_crowded_table(rows, power):
    """A square-root law on radii 1 - (1 - s)^power: spacings down to an ulp."""
    s = np.linspace(0.0, 1.0, rows)
    x = 1.0 - (1.0 - s) ** power
    mu = np.sqrt(np.clip(1.0 - x * x, 0.0, 1.0))
    return x, 1.0 - 0.3 * (1.0 - mu) - 0.5 * (1.0 - np.sqrt(mu))


@pytest.mark.parametrize("rows, power", [(2000, 3), (4000, 6), (8000, 6), (8000, 10)])
@pytest.mark.parametrize("rho", [0.01, 1.0])
def test_disk_and_ring_routes_agree(rows, power, rho):
    bl, bf = limb_crowded_table(rows, power)
    l = [0.0, 0.3, 0.95, 1.0 - 1e-9, 1.0, 1.2, 1.9]
    disk = magnifex.integrated_flux_map_witt_mao_magnification(l, 1.0, rho, bl, bf)
    ring = magnifex.integrated_flux_map_heyrovsky_magnification(l, 1.0, rho, bl, bf)
    np.testing.assert_allclose(disk, ring, rtol=1e-12, atol=0)


def test_a_fine_table_converges_to_its_law():
    """Against the law it samples, through the limb-darkened function."""
    bl, bf = limb_crowded_table(8000, 3)
    u, rho = np.array([0.02, 0.07, 0.15]), 0.1
    ring = magnifex.integrated_flux_map_heyrovsky_magnification(u / rho, 1.0, rho, bl, bf)
    np.testing.assert_allclose(ring, magnifex.magnification(u, rho, "squareroot", (0.3, 0.5)), rtol=1e-8)

"""Calls every function of magnifex the ways its users do; mypy --strict must
accept it against the installed stubs."""
import numpy as np
import numpy.typing as npt

import magnifex

l_list: list[float] = [0.5, 2.0, 20.0]
l_tuple = (0.5, 2, 20.0)  # ints are floats to the type checker, as to the module
l_array = np.linspace(0.1, 3.0, 5)
bl, bf = [0.0, 0.5, 1.0], (1.0, 0.8, 0.4)

uniform: list[float] = magnifex.witt_mao_magnification(l_list, 1.0, 0.1)
uniform = magnifex.witt_mao_magnification(l=l_array, re=1.0, rstar=0.1)
ring: float = magnifex.heyrovsky_magnification(2.0, 0.5, 1.0, 0.1)
ring = magnifex.heyrovsky_magnification(l=2, r=0.5, re=1.0, rstar=0.1)
limb: list[float] = magnifex.integrated_witt_mao_magnification(l_tuple, 1.0, 0.1)
limb = magnifex.integrated_heyrovsky_magnification(l_array, re=1.0, rstar=0.1)
table: list[float] = magnifex.integrated_flux_map_witt_mao_magnification(l_list, 1.0, 0.1, bl, bf)
table = magnifex.integrated_flux_map_heyrovsky_magnification(l_list, 1.0, 0.1, bl=np.asarray(bl), bf=bf)
rings: list[float] = magnifex.discrete_flux_map_heyrovsky_magnification(l_list, 1.0, 0.1, bl, bf)
peak: float = magnifex.magnification(0.05, 0.1)
curve: npt.NDArray[np.float64] = np.asarray(magnifex.magnification(l_array, 0.1, "quadratic", (0.4, 0.25)))
bands, jacobian = magnifex.magnification(l_array, 0.1, "power2", [[0.6, 0.6], [0.8, 0.5]], gradient=True)
slopes: npt.NDArray[np.float64] = magnifex.magnification(0.05, 0.1, gradient=True)[1]
flux = magnifex.light_curve(np.linspace(-1.0, 1.0, 9), t0=0.0, u0=0.01, tE=0.5, rho=0.1, law="uniform")
epoch: float = magnifex.light_curve(0.2, 0.0, 0.01, 0.5, 0.1)
total: float = sum(uniform) + ring + limb[0] + table[-1] + max(rings) + peak + epoch
names: list[str] = magnifex.__all__
print(total, names)

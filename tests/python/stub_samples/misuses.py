"""Each line marked "flagged" misuses magnifex; mypy must report an error on
each of them and on no other line."""
import magnifex

magnifex.heyrovsky_magnification([2.0], 0.5, 1.0, 0.1)  # flagged: l of the ring form is one number
peak: float = magnifex.witt_mao_magnification([0.5], 1.0, 0.1)  # flagged: the result is a list
magnifex.witt_mao_magnification([0.5], 1.0, rstr=0.1)  # flagged: no parameter rstr
magnifex.integrated_heyrovsky_magnification("0.5 2.0", 1.0, 0.1)  # flagged: a str is no float sequence
magnifex.integrated_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, [0.0, 1.0])  # flagged: bf missing
magnifex.integrated_witt_mao_magnification([0.5], 1.0, None)  # flagged: rstar is a float
ring = magnifex.heyrovsky_magnification(2.0, 0.5, 1.0, 0.1)
ring.append(1.0)  # flagged: a float has no append
magnifex.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)
magnifex.magnification(0.1, 0.1, law="quadratc")  # flagged: no such law
magnifex.light_curve(0.1, 0.0, 0.1, 0.5)  # flagged: rho missing

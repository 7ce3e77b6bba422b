"""Sample the posterior of MOA-2008-BLG-310's single-lens model with NUTS (numpyro on jax).

The event, model and limb darkening are those of examples/fit_event.py, which this
script runs first for a starting point and a scale. magnifex is called from jax
through jax.pure_callback; a jax.custom_jvp feeds the sampler's gradients from
light_curve's exact Jacobian, so jax never differentiates (or traces) the C++ code.

Posterior: flat priors on t0, u0, tE, rho (within +-30 fit sigmas, and > 0) and
on every observatory's fs and fb, which are integrated out analytically. For a
linear model F = fs A + fb with a flat prior on c = (fs, fb),
  integral of exp(-chi^2(c) / 2) dc = 2 pi exp(-chi^2_min / 2) / sqrt(det N),
N the normal matrix, so each observatory adds -chi^2_min / 2 - log(det N) / 2 to the
log posterior. The error bars are scaled by the fit's sqrt(chi^2/dof), as the
uncertainties fit_event.py prints are. NUTS (Hoffman & Gelman 2014) runs on t0 and the
logarithms of u0, tE, rho, whitened by the fit's covariance, with a dense mass matrix.

    python examples/hmc_event.py                                   # 2 chains, 500 + 1000
    python examples/hmc_event.py --chains 4 --warmup 1000 --samples 2000

Needs jax and numpyro (CPU is enough): pip install jax numpyro.
"""
import argparse
import sys
import time

import numpy as np

import fit_event

BOX = 30.0  # prior half-width in units of the fit's sigma


def light_curve_op(problem):
    """A jax function params (4,) -> A (n,) of `problem`'s epochs and bands, whose
    derivative is light_curve's Jacobian."""
    import jax
    import jax.numpy as jnp

    n = len(problem.data)
    value_shape = jax.ShapeDtypeStruct((n,), jnp.float64)
    jacobian_shape = jax.ShapeDtypeStruct((n, 4), jnp.float64)

    def value(params):
        return problem.magnification(tuple(np.asarray(params, dtype=float)))[0]

    def value_and_jacobian(params):
        return problem.magnification(tuple(np.asarray(params, dtype=float)), gradient=True)

    @jax.custom_jvp
    def magnification(params):
        return jax.pure_callback(value, value_shape, params, vmap_method="sequential")

    @magnification.defjvp
    def magnification_jvp(primals, tangents):
        (params,), (direction,) = primals, tangents
        a, jacobian = jax.pure_callback(value_and_jacobian, (value_shape, jacobian_shape), params,
                                        vmap_method="sequential")
        return a, jacobian @ direction

    return magnification


def log_likelihood_fn(problem, error_scale=1.0):
    """params -> log p(data | params) with every fs, fb integrated out (flat priors),
    up to a constant."""
    import jax
    import jax.numpy as jnp

    data = problem.data
    magnification = light_curve_op(problem)
    flux = jnp.asarray(data.flux)
    weight = jnp.asarray(1.0 / (error_scale * data.flux_err) ** 2)
    observatory = jnp.asarray(data.observatory)
    n_obs = len(data.names)

    def sums(values):
        return jax.ops.segment_sum(values, observatory, num_segments=n_obs)

    def log_likelihood(params):
        a = magnification(params)
        s, sa, saa, sf, saf = (sums(weight * v) for v in (1.0, a, a * a, flux, a * flux))
        det = s * saa - sa * sa
        fs = (s * saf - sa * sf) / det
        fb = (saa * sf - sa * saf) / det
        residual = flux - fs[observatory] * a - fb[observatory]
        chi2 = jnp.sum(weight * residual * residual)
        return -0.5 * chi2 - 0.5 * jnp.sum(jnp.log(det))

    return log_likelihood


def sample(data, result, warmup, samples, chains, seed=0, progress_bar=False):
    """NUTS draws of (t0, u0, tE, rho), chains x samples x 4, and the run's diagnostics."""
    import jax
    import jax.numpy as jnp
    import numpyro
    import numpyro.distributions as dist
    from numpyro.distributions import constraints
    from numpyro.infer import MCMC, NUTS, init_to_value

    problem = fit_event.SingleLensFit(data)
    log_likelihood = log_likelihood_fn(problem, error_scale=np.sqrt(result.chi2 / result.dof))
    # The sampler moves z, w = w_fit + L z, where w = (t0, ln u0, ln tE, ln rho) and L L^T is
    # the fit's covariance carried to w: at high magnification u0 tE and rho tE are what
    # the data fix, so the posterior is close to a normal in the logarithms, and close to a
    # unit normal in z from the first step. The prior is flat in (t0, u0, tE, rho), which
    # adds ln u0 + ln tE + ln rho (the Jacobian of the map) to the log density.
    to_log = np.array([1.0, 1.0 / result.params[1], 1.0 / result.params[2], 1.0 / result.params[3]])
    centre = jnp.asarray(np.concatenate(([result.params[0]], np.log(result.params[1:]))))
    whiten = jnp.asarray(np.linalg.cholesky(to_log[:, None] * result.covariance * to_log[None, :]))
    fit, sigma = jnp.asarray(result.params), jnp.asarray(result.sigma)

    def model():
        z = numpyro.sample("z", dist.ImproperUniform(constraints.real_vector, (), (4,)))
        w = centre + whiten @ z
        params = jnp.concatenate((w[:1], jnp.exp(w[1:])))
        inside = jnp.all(jnp.abs(params - fit) < BOX * sigma)
        # outside the prior's box the model is not called: its arguments are replaced by
        # the fit's (where both branches are finite, so the gradients stay finite)
        safe = jnp.where(inside, params, fit)
        numpyro.deterministic("params", params)
        numpyro.factor("likelihood", jnp.where(inside, log_likelihood(safe) + jnp.sum(w[1:]), -jnp.inf))

    kernel = NUTS(model, dense_mass=True, init_strategy=init_to_value(values={"z": jnp.zeros(4)}))
    mcmc = MCMC(kernel, num_warmup=warmup, num_samples=samples, num_chains=chains,
                chain_method="sequential", progress_bar=progress_bar)
    began, began_cpu = time.perf_counter(), time.process_time()
    mcmc.run(jax.random.PRNGKey(seed), extra_fields=("diverging",))
    seconds = (time.perf_counter() - began, time.process_time() - began_cpu)
    draws = np.asarray(mcmc.get_samples(group_by_chain=True)["params"])
    divergences = int(np.sum(mcmc.get_extra_fields()["diverging"]))
    return draws, dict(seconds=seconds, divergences=divergences, evaluations=problem.evaluations)


def print_posterior(draws, result, info, args):
    from numpyro.diagnostics import summary

    stats = summary({"params": draws}, prob=0.68)["params"]
    flat = draws.reshape(-1, 4)
    print(f"NUTS: {args.chains} chain(s) x ({args.warmup} warm-up + {args.samples} draws); "
          f"{info['divergences']} divergent transitions; {info['evaluations']} light-curve evaluations "
          f"in {info['seconds'][0]:.1f} s ({info['seconds'][1]:.1f} s of CPU time)")
    print()
    print(f"{'parameter':<10}{'median':>16}{'68% interval':>33}{'95% interval':>33}{'fit':>29}"
          f"{'r_hat':>7}{'n_eff':>7}")
    for i, name in enumerate(fit_event.PARAMETERS):
        digits = fit_event.PUBLISHED_DIGITS[i] + 1
        q = np.percentile(flat[:, i], [2.5, 16, 50, 84, 97.5])
        offset = fit_event.HJD_OFFSET if i == 0 else 0.0
        value = q[2] + offset
        inner = f"[{q[1] + offset:.{digits}f}, {q[3] + offset:.{digits}f}]"
        outer = f"[{q[0] + offset:.{digits}f}, {q[4] + offset:.{digits}f}]"
        fitted = f"{result.params[i] + offset:.{digits}f} +- {result.sigma[i]:.{digits}f}"
        r_hat = stats["r_hat"][i] if args.chains > 1 else float("nan")
        print(f"{name:<10}{value:>16.{digits}f}{inner:>33}{outer:>33}{fitted:>29}"
              f"{r_hat:>7.3f}{stats['n_eff'][i]:>7.0f}")
    print("t0 in HJD; intervals between posterior quantiles; fit: examples/fit_event.py's least-squares\n"
          "values and scaled uncertainties (the profile's maximum, not the marginal posterior's median)")


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--samples", type=int, default=1000, help="draws per chain (default %(default)s)")
    parser.add_argument("--warmup", type=int, default=500, help="warm-up steps per chain (default %(default)s)")
    parser.add_argument("--chains", type=int, default=2, help="chains, one after another (default %(default)s)")
    parser.add_argument("--seed", type=int, default=0, help="random seed (default %(default)s)")
    parser.add_argument("--progress", action="store_true", help="show numpyro's progress bar")
    args = parser.parse_args(argv)
    if args.samples < 1 or args.warmup < 1 or args.chains < 1:
        parser.error("--samples, --warmup and --chains must be at least 1")
    return args


def main(argv=None):
    args = parse_arguments(argv)
    try:
        import jax
        import numpyro  # noqa: F401
    except ImportError:
        print("hmc_event.py needs jax and numpyro: pip install jax numpyro", file=sys.stderr)
        return 2
    jax.config.update("jax_enable_x64", True)  # the model and its fluxes need double precision
    data = fit_event.Photometry()
    _, result = fit_event.fit(data)
    print(f"least-squares start: chi^2 = {result.chi2:.1f} for {len(data)} points; error bars scaled by "
          f"sqrt(chi^2/dof) = {np.sqrt(result.chi2 / result.dof):.3f}")
    draws, info = sample(data, result, args.warmup, args.samples, args.chains, args.seed, args.progress)
    print_posterior(draws, result, info, args)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env bash
# Regenerate the source-integral rules (Gauss-Legendre and logarithmic
# generalized Gauss) and compare them with the checked-in header.
exec bash "$(dirname "${BASH_SOURCE[0]}")/reproduce_header.sh" \
    gen_source_rules.py src/numerics/source_rules_table.hpp "source-integral rules"

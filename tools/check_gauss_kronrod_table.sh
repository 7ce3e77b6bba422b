#!/usr/bin/env bash
# Regenerate the Gauss-Kronrod node table and compare it with the checked-in header.
exec bash "$(dirname "${BASH_SOURCE[0]}")/reproduce_header.sh" \
    gen_gauss_kronrod_table.py src/numerics/gauss_kronrod_table.hpp "Gauss-Kronrod table"

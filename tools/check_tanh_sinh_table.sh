#!/usr/bin/env bash
# Regenerate the tanh-sinh node table and compare it with the checked-in header.
exec bash "$(dirname "${BASH_SOURCE[0]}")/reproduce_header.sh" \
    gen_tanh_sinh_table.py src/numerics/tanh_sinh_table.hpp "tanh-sinh table"

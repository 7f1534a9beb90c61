// SPDX-License-Identifier: MIT
// The check of a whole set, read front to back through callbacks: what the
// loader library's resource_set_check_stream does, and what tarnvex -t
// reports.
#ifndef LIB_SET_CHECK_HPP
#define LIB_SET_CHECK_HPP

#include "resource_set.h"
#include "set_rules.hpp"

#include <cstdint>

// As resource_set_check_stream, with callbacks that are not null.
resource_set_status check_set(const resource_set_check_callbacks& callbacks, std::uint32_t& problems);

// As resource_set_read_table_stream, with callbacks whose read is not null.
resource_set_status read_table_stream(const resource_set_check_callbacks& callbacks);

#endif

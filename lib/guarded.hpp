// SPDX-License-Identifier: MIT
// The library's one boundary for C++ exceptions: no exception leaves a
// function of the C interface.
#ifndef RESOURCE_SET_GUARDED_HPP
#define RESOURCE_SET_GUARDED_HPP

#include "resource_set.h"

#include <new>

// Runs call and gives its status; MEMORY when it throws.  Only allocations
// throw in the library (std::bad_alloc), and taking the writer's lock
// (std::system_error, when the system is out of the resources for it).
template <typename Call>
resource_set_status guarded(Call call) noexcept
{
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return RESOURCE_SET_ERROR_MEMORY;
    } catch (...) {
        return RESOURCE_SET_ERROR_MEMORY;
    }
}

#endif

// SPDX-License-Identifier: MIT
// tarnvex: lists a resource set, recreates its resource files in the current
// folder and writes reslist.txt, the listfile from which vashpak rebuilds the
// set.  Everything it reports goes to standard output, or to standard error
// when the resources themselves go to standard output.
#include "program.hpp"
#include "streams.hpp"

#include <cstdio>

int main(int argc, char** argv)
{
    // Before any file is opened: reslist.txt given descriptor 1 would take
    // the listing.
    if (!open_standard_streams()) {
        return 1;
    }
    ignore_write_signals();
    return tarnvex_main(argc, argv, stdout, stderr);
}

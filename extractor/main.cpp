// tarnvex: lists a resource set, recreates its resource files in the current
// folder and writes reslist.txt, the listfile from which vashpak rebuilds the
// set.  Everything it reports goes to standard output.
#include "run.hpp"

#include <cstdio>

int main(int argc, char** argv)
{
    return tarnvex_main(argc, argv, stdout);
}

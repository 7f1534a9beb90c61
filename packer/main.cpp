// vashpak: packs resource files, named on the command line or in listfiles,
// into one resource set.
#include "resource_table.hpp"
#include "set_writer.hpp"
#include "stream_io.hpp"

#include <cstdio>

int main(int argc, char** argv)
{
    const char* program = (argc > 0 && argv[0] != nullptr) ? argv[0] : "vashpak";
    if (argc <= 2) {
        usage(program);
        return 1;
    }
    const char* out_name = argv[1];
    table.data_total = 0;

    std::FILE* out = std::fopen(out_name, "wb");
    if (out == nullptr) {
        logerr("Can't open \"%s\" for output", out_name);
        return 1;
    }

    bool accepted = true;
    for (int i = 2; i < argc; ++i) {
        if (!add_to_filelist(argv[i])) {
            logerr("Failed \"%s\"", argv[i]);
            accepted = false;
            break;
        }
    }

    // After a failed input nothing is written and the output stays empty.
    bool ok = accepted && gen_output(out, out_name);
    // The last buffered bytes reach the file only now; a failure here is the
    // run's first and only one to report.
    if (!close_output(out) && ok) {
        logerr("Can't write \"%s\"", out_name);
        ok = false;
    }
    return ok ? 0 : 1;
}

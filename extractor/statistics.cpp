// SPDX-License-Identifier: MIT
#include "statistics.hpp"

#include "listfile.hpp"
#include "streams.hpp"

#include <cinttypes>

void print_statistics(const run_options& options, listfile_state& listfile, run_totals& totals)
{
    std::fprintf(options.report, "--- TarnVex stats ---\n");
    std::fprintf(options.report, "Total output:%" PRIu64 " files (%" PRIu64 "b)\n", totals.files_written,
                 totals.bytes_written);
    if (options.output != output_kind::files) {
        // The last bytes leave only now.
        if (std::ferror(options.data) == 0 && !flush_output(options.data)) {
            std::fprintf(options.report, "Can't write %s\n", "standard output");
            totals.failed = true;
        }
        return;
    }
    // The listfile is closed first, so that a failure to write its last
    // bytes is known before it is reported as generated.
    close_listfile(listfile);
    if (listfile.ok) {
        std::fprintf(options.report, "Listfile generated as: %s\n", LISTFILE_NAME);
    } else {
        std::fprintf(options.report, "Can't write %s\n", LISTFILE_NAME);
        totals.failed = true;
    }
}

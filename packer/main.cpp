// SPDX-License-Identifier: MIT
// vashpak: packs resource files, named on the command line or in listfiles,
// into one resource set.
#include "resource_table.hpp"
#include "set_writer.hpp"
#include "streams.hpp"
#include "wrap.hpp"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* HELP_TEXT = "usage: vashpak OUTPUT INPUT...\n"
                                  "       vashpak --wrap RAW RESOURCE [WORD1 [WORD2]]\n"
                                  "       vashpak --help | --version\n"
                                  "\n"
                                  "Packs resource files into the resource set OUTPUT, which is created, or\n"
                                  "emptied, first.  Each INPUT, in order, is one of:\n"
                                  "\n"
                                  "  FILE           a resource file: it starts with 0SER and is at least 20\n"
                                  "                 bytes long; its name, at most 32 bytes, is stored as given\n"
                                  "  @LISTFILE      a text file that names one input per line\n"
                                  "  !discard       the discard point: the resources before it are the ones a\n"
                                  "                 loader keeps (quote it in bash: '!discard')\n"
                                  "\n"
                                  "  --wrap RAW RESOURCE [WORD1 [WORD2]]\n"
                                  "                 make the resource file RESOURCE of the bytes of RAW (- for\n"
                                  "                 standard input), with the words given (0 when left out),\n"
                                  "                 each decimal or hexadecimal after 0x\n"
                                  "  -h, --help     print this help and exit\n"
                                  "      --version  print the version and exit\n"
                                  "\n"
                                  "--help and --version are options only as the single argument, and\n"
                                  "--wrap only as the first with two to four after it: name a set ./--wrap\n"
                                  "to pack into it.\n"
                                  "The manual: man vashpak\n";

constexpr const char* VERSION_TEXT = "vashpak (" RESOURCE_SET_PACKAGE ") " RESOURCE_SET_VERSION "\n";

void usage(const char* program)
{
    logerr("usage: %s outputfile [file1 | @listfile] [...]", program);
}

// --help and --version: the text on standard output, status 1 if it did not
// get there.
int print_text(const char* text)
{
    std::fputs(text, stdout);
    return flush_output(stdout) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const char* program = (argc > 0 && argv[0] != nullptr) ? argv[0] : "vashpak";
    // The options, as the only argument and in these spellings alone: with
    // any more arguments, the first is the output whatever it is called.
    const std::string_view option = argc == 2 ? argv[1] : "";
    // Before any file is opened: an output given descriptor 2 would take
    // the messages meant for standard error.
    if (!open_standard_streams()) {
        return 1;
    }
    ignore_write_signals();
    if (option == "--help" || option == "-h") {
        return print_text(HELP_TEXT);
    }
    if (option == "--version") {
        return print_text(VERSION_TEXT);
    }
    // --wrap only as the first argument, with two to four after it: any
    // other command line keeps its meaning, and ./--wrap names a set.
    if (argc >= 4 && argc <= 6 && std::string_view(argv[1]) == "--wrap") {
        return wrap_resource(argv[2], argv[3], argc > 4 ? argv[4] : nullptr, argc > 5 ? argv[5] : nullptr);
    }
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
    // A message that did not reach standard error, a warning included,
    // makes the run a failure: nobody was told.
    if (!flush_output(stderr)) {
        ok = false;
    }
    return ok ? 0 : 1;
}

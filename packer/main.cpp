// SPDX-License-Identifier: MIT
// vashpak: packs resource files, named on the command line or in listfiles,
// into one resource set.
#include "edit.hpp"
#include "resource_table.hpp"
#include "set_writer.hpp"
#include "streams.hpp"
#include "wrap.hpp"

#include <cstddef>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

namespace {

constexpr const char* HELP_TEXT = "usage: vashpak OUTPUT INPUT...\n"
                                  "       vashpak --update SET INPUT...\n"
                                  "       vashpak --delete SET PATTERN...\n"
                                  "       vashpak --rename SET OLD NEW\n"
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
                                  "  --update SET INPUT...\n"
                                  "                 put each INPUT, a FILE or @LISTFILE, into the set SET in\n"
                                  "                 place of its last entry of that name, or at its end\n"
                                  "  --delete SET PATTERN...\n"
                                  "                 remove from SET every entry whose name matches a PATTERN,\n"
                                  "                 a glob as tarnvex takes it (* ? [...])\n"
                                  "  --rename SET OLD NEW\n"
                                  "                 give the last entry of SET named OLD the name NEW\n"
                                  "  --wrap RAW RESOURCE [WORD1 [WORD2]]\n"
                                  "                 make the resource file RESOURCE of the bytes of RAW (- for\n"
                                  "                 standard input), with the words given (0 when left out),\n"
                                  "                 each decimal or hexadecimal after 0x\n"
                                  "  -h, --help     print this help and exit\n"
                                  "      --version  print the version and exit\n"
                                  "\n"
                                  "--help and --version are options only as the single argument, --wrap\n"
                                  "only as the first with two to four after it, --update and --delete only\n"
                                  "as the first with two or more after it, and --rename only as the first\n"
                                  "with three after it: name a set ./--wrap or ./--update to pack into it.\n"
                                  "The manual: man vashpak\n";

constexpr const char* VERSION_TEXT = "vashpak (" RESOURCE_SET_PACKAGE ") " RESOURCE_SET_VERSION "\n";

void usage(const char* program)
{
    logerr("usage: %s outputfile [file1 | @listfile] [...]", program);
}

// The end of every run that may print messages: one that did not reach
// standard error, a warning included, makes the run a failure, since
// nobody was told.
int ended(int status)
{
    return flush_output(stderr) ? status : 1;
}

// The edits, only as the first argument and with enough after them: the
// run's status, or nothing for any other command line, which keeps its
// meaning.
std::optional<int> run_edit(int argc, char** argv)
{
    const std::string_view edit = argc >= 4 ? argv[1] : "";
    const std::span<const char* const> arguments(argv, static_cast<std::size_t>(argc));
    if (edit == "--update") {
        return update_set(argv[2], arguments.subspan(3));
    }
    if (edit == "--delete") {
        return delete_entries(argv[2], arguments.subspan(3));
    }
    if (edit == "--rename" && argc == 5) {
        return rename_entry(argv[2], argv[3], argv[4]);
    }
    return std::nullopt;
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
    if (const std::optional<int> status = run_edit(argc, argv)) {
        return ended(*status);
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
    return ended(ok ? 0 : 1);
}

// SPDX-License-Identifier: MIT
#include "program.hpp"

#include "command_line.hpp"
#include "folders.hpp"
#include "listfile.hpp"
#include "live_file.hpp"
#include "run.hpp"
#include "streams.hpp"
#include "unwrap.hpp"

#include <new>

namespace {

constexpr const char* HELP_TEXT = "usage: tarnvex [-d] [-k] [-v] [--exact] [-C DIR] [--] SET [NAME...]\n"
                                  "       tarnvex -l [-v] SET [NAME...]\n"
                                  "       tarnvex -O | -p [-v] SET [NAME...]\n"
                                  "       tarnvex -l --json SET [NAME...]\n"
                                  "       tarnvex --compare [-C DIR] SET [NAME...]\n"
                                  "       tarnvex -t [-v] SET\n"
                                  "       tarnvex --unwrap RESOURCE RAW\n"
                                  "       tarnvex --help | --version\n"
                                  "\n"
                                  "Lists the resource set SET, recreates its resource files in the current\n"
                                  "folder and writes reslist.txt, a listfile from which vashpak packs them\n"
                                  "again.  SET is read once, front to back: a pipe will do.  With NAMEs,\n"
                                  "glob patterns (* ? [...] \\) matched against whole stored names, only the\n"
                                  "entries they match are listed and extracted.\n"
                                  "\n"
                                  "  -d, --make-directories\n"
                                  "                 create the folders the names need, as mkdir -p would\n"
                                  "  -C, --directory DIR\n"
                                  "                 write the files and reslist.txt into DIR, which must\n"
                                  "                 exist; SET is still named from the current folder\n"
                                  "  -k, --keep-old-files\n"
                                  "                 leave whatever already stands at an entry's name\n"
                                  "      --exact    list the discard point in reslist.txt, so that vashpak\n"
                                  "                 packs the same set again\n"
                                  "  -l, --list     list the table of SET and nothing more: no file is\n"
                                  "                 written and reslist.txt is left alone\n"
                                  "      --json     with -l: the listing as one JSON document\n"
                                  "      --compare  compare each entry with the file an extraction would\n"
                                  "                 write at its name; print Differs or Missing NAME for\n"
                                  "                 each that does not match, and write nothing\n"
                                  "  -O, --to-stdout\n"
                                  "                 write the resource files to standard output, one after\n"
                                  "                 another, and the report to standard error\n"
                                  "  -p, --payload  the same with each payload alone\n"
                                  "  -t, --test     read the whole set and report every way in which it is\n"
                                  "                 not what vashpak writes; write nothing\n"
                                  "  -v, --verbose  list the discard point, the words and the offsets too\n"
                                  "      --unwrap RESOURCE RAW\n"
                                  "                 write the payload of the resource file RESOURCE to RAW\n"
                                  "                 (- for standard output)\n"
                                  "  -h, --help     print this help and exit\n"
                                  "      --version  print the version and exit\n"
                                  "  --             end the options\n"
                                  "\n"
                                  "A lone argument is always a set; a set named like an option may also\n"
                                  "be given as ./NAME.\n"
                                  "The manual: man tarnvex\n";

constexpr const char* VERSION_TEXT = "tarnvex (" RESOURCE_SET_PACKAGE ") " RESOURCE_SET_VERSION "\n";

int run_command(extract_run& run, const command_line& command, std::FILE* out, std::FILE* err);
const char* enter_run_folder(set_input& input, const char* folder);
int print_text(std::FILE* report, const char* text);
void print_fault(std::FILE* err, const command_line& command);

} // namespace

int tarnvex_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    extract_run run;
    run.options.report = out;
    try {
        const command_line command = read_command_line(argc, argv);
        run.options = command.options;
        run.options.report = out;
        if (command.options.output != output_kind::files || command.options.listing == listing_kind::json) {
            // The resources, or the JSON listing, take standard output.
            run.options.report = err;
            run.options.data = out;
        }
        return run_command(run, command, out, err);
    } catch (const std::bad_alloc&) {
        // The file being written goes, as it would on any other failure.
        abandon_live_file();
        std::fprintf(run.options.report, "Out of memory\n");
        return end_run(run, 1);
    }
}

namespace {

// The whole run, as tarnvex_main describes it; the one thing it leaves to
// its caller is running out of memory.
int run_command(extract_run& run, const command_line& command, std::FILE* out, std::FILE* err)
{
    run.input.name = command.set_name;
    if (command.set_name != nullptr) {
        run.input.path = command.set_name;
    }
    switch (command.action) {
    case tarnvex_action::help:
        return print_text(run.options.report, HELP_TEXT);
    case tarnvex_action::version:
        return print_text(run.options.report, VERSION_TEXT);
    case tarnvex_action::list:
        return list_set(run);
    case tarnvex_action::test:
        return test_set(run);
    case tarnvex_action::compare:
        // Nothing is written: no listfile, and the folder of -C is only
        // read.
        if (command.directory != nullptr) {
            if (const char* const missing = enter_run_folder(run.input, command.directory); missing != nullptr) {
                std::fprintf(run.options.report, "Can't open %s\n", missing);
                return end_run(run, 1);
            }
        }
        return compare_set(run);
    case tarnvex_action::unwrap:
        // Its messages go to standard error, since the payload may take
        // standard output; reslist.txt is not created.
        return unwrap_resource(command.set_name, command.raw_name, out, err);
    case tarnvex_action::extract:
    case tarnvex_action::wrong:
        break;
    }
    if (command.action == tarnvex_action::extract && command.options.output != output_kind::files) {
        // Nothing is written but to standard output: no folder is entered
        // and reslist.txt is left alone.
        set_binary_mode(run.options.data);
        return extract_set(run);
    }
    // An interrupted run leaves no file half written.
    catch_interruptions();
    if (command.action == tarnvex_action::extract && command.directory != nullptr) {
        if (const char* const missing = enter_run_folder(run.input, command.directory); missing != nullptr) {
            std::fprintf(run.options.report, "Can't open %s\n", missing);
            return end_run(run, 1);
        }
    }
    // Created before the command line is looked at more closely, so that
    // every extracting run, a wrong one included, leaves one.
    open_listfile(run.listfile);
    if (command.action == tarnvex_action::wrong) {
        print_fault(err, command);
        std::fprintf(run.options.report, "usage: tarnvex <resname>\n");
        return end_run(run, -1);
    }
    return extract_set(run);
}

// Makes folder the current one, the set's path first made absolute so that
// it still names the set given.  Null when that is done, else what could
// not be had: the set's path (the current folder is gone) or the folder.
const char* enter_run_folder(set_input& input, const char* folder)
{
    if (!make_absolute(input.name, input.path)) {
        return input.name;
    }
    return enter_folder(folder) ? nullptr : folder;
}

// The line in getopt's manner, on standard error, that says what is wrong
// with a wrong command line.
void print_fault(std::FILE* err, const command_line& command)
{
    const char* const what = command.what.c_str();
    switch (command.fault) {
    case command_fault::none:
        return;
    case command_fault::no_set:
        std::fprintf(err, "tarnvex: no set given\n");
        break;
    case command_fault::unknown_option:
        std::fprintf(err, "tarnvex: unknown option %s\n", what);
        break;
    case command_fault::ambiguous_option:
        std::fprintf(err, "tarnvex: option %s is ambiguous\n", what);
        break;
    case command_fault::needs_folder:
        std::fprintf(err, "tarnvex: option %s needs a folder\n", what);
        break;
    case command_fault::takes_no_argument:
        std::fprintf(err, "tarnvex: option %s takes no argument\n", what);
        break;
    case command_fault::not_alone:
        std::fprintf(err, "tarnvex: %s takes no other argument\n", what);
        break;
    case command_fault::unwrap_misplaced:
        std::fprintf(err, "tarnvex: --unwrap comes first, with RESOURCE and RAW alone\n");
        break;
    case command_fault::modes_exclusive:
        std::fprintf(err, "tarnvex: %s and %s exclude each other\n", what, command.other.c_str());
        break;
    case command_fault::test_names:
        std::fprintf(err, "tarnvex: %s takes one set\n", what);
        break;
    case command_fault::json_without_list:
        std::fprintf(err, "tarnvex: --json needs -l\n");
        break;
    }
    std::fflush(err);
}

// --help and --version: the text on the report, status 1 if it did not get
// there.
int print_text(std::FILE* report, const char* text)
{
    std::fputs(text, report);
    return flush_output(report) ? 0 : 1;
}

} // namespace

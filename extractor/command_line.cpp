// SPDX-License-Identifier: MIT
#include "command_line.hpp"

#include "live_file.hpp"
#include "run.hpp"
#include "streams.hpp"

#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>

namespace {

constexpr const char* HELP_TEXT = "usage: tarnvex [-d] [-C DIR] [--] SET\n"
                                  "       tarnvex -l SET\n"
                                  "       tarnvex --help | --version\n"
                                  "\n"
                                  "Lists the resource set SET, recreates its resource files in the current\n"
                                  "folder and writes reslist.txt, a listfile from which vashpak packs them\n"
                                  "again.  SET is read once, front to back: a pipe will do.\n"
                                  "\n"
                                  "  -d, --make-directories\n"
                                  "                 create the folders the names need, as mkdir -p would\n"
                                  "  -C, --directory DIR\n"
                                  "                 write the files and reslist.txt into DIR, which must\n"
                                  "                 exist; SET is still named from the current folder\n"
                                  "  -l, --list     list the table of SET and nothing more: no file is\n"
                                  "                 written and reslist.txt is left alone\n"
                                  "  -h, --help     print this help and exit\n"
                                  "      --version  print the version and exit\n"
                                  "  --             end the options\n"
                                  "\n"
                                  "A lone argument is always a set; a set named like an option may also\n"
                                  "be given as ./NAME.\n"
                                  "The manual: man tarnvex\n";

constexpr const char* VERSION_TEXT = "tarnvex (" RESOURCE_SET_PACKAGE ") " RESOURCE_SET_VERSION "\n";

int run_command(extract_run& run, int argc, const char* const* argv);
bool parse_options(int argc, const char* const* argv, command_line& command);
const char* enter_folder(extract_run& run, const char* folder);
int print_text(std::FILE* report, const char* text);

} // namespace

int tarnvex_main(int argc, const char* const* argv, std::FILE* report)
{
    extract_run run;
    run.report = report;
    try {
        return run_command(run, argc, argv);
    } catch (const std::bad_alloc&) {
        // The file being written goes, as it would on any other failure.
        abandon_live_file();
        std::fprintf(run.report, "Out of memory\n");
        return end_run(run, 1);
    }
}

command_line read_command_line(int argc, const char* const* argv)
{
    command_line command;
    // The forms that keep their old meaning first: a lone argument is a
    // set, whatever it is called, unless it is one of the three options.
    const std::string_view first = argc >= 2 ? argv[1] : "";
    if (argc == 2) {
        command.action = first == "--help" || first == "-h" ? tarnvex_action::help
                         : first == "--version"             ? tarnvex_action::version
                                                            : tarnvex_action::extract;
        command.set_name = argv[1];
    } else if (argc == 3 && (first == "-l" || first == "--list")) {
        command.action = tarnvex_action::list;
        command.set_name = argv[2];
    } else if (!parse_options(argc, argv, command)) {
        command = command_line{};
    }
    return command;
}

namespace {

// The whole run, as tarnvex_main describes it; the one thing it leaves to
// its caller is running out of memory.
int run_command(extract_run& run, int argc, const char* const* argv)
{
    const command_line command = read_command_line(argc, argv);
    run.set_name = command.set_name;
    switch (command.action) {
    case tarnvex_action::help:
        return print_text(run.report, HELP_TEXT);
    case tarnvex_action::version:
        return print_text(run.report, VERSION_TEXT);
    case tarnvex_action::list:
        run.set_path = command.set_name;
        return list_set(run);
    case tarnvex_action::extract:
    case tarnvex_action::wrong:
        break;
    }
    // An interrupted run leaves no file half written.
    catch_interruptions();
    if (command.action == tarnvex_action::extract && command.directory != nullptr) {
        if (const char* const missing = enter_folder(run, command.directory); missing != nullptr) {
            std::fprintf(run.report, "Can't open %s\n", missing);
            return end_run(run, 1);
        }
    } else if (command.action == tarnvex_action::extract) {
        run.set_path = command.set_name;
    }
    open_listfile(run);
    if (command.action == tarnvex_action::wrong) {
        std::fprintf(run.report, "usage: tarnvex <resname>\n");
        return end_run(run, -1);
    }
    run.make_directories = command.make_directories;
    return extract_set(run);
}

// The options before the set, on a command line that is not one of the
// forms that keep their old meaning (a lone argument, "-l SET"): any of -d,
// -C DIR and -l, in their long forms too, then "--" or not, then exactly
// one set.  False for anything else.
bool parse_options(int argc, const char* const* argv, command_line& command)
{
    command.action = tarnvex_action::extract;
    int next = 1;
    for (; next < argc; ++next) {
        const std::string_view argument = argv[next];
        if (argument == "--") {
            ++next;
            break;
        }
        if (argument == "-l" || argument == "--list") {
            command.action = tarnvex_action::list;
        } else if (argument == "-d" || argument == "--make-directories") {
            command.make_directories = true;
        } else if (argument == "-C" || argument == "--directory") {
            if (++next == argc) {
                return false;
            }
            command.directory = argv[next];
        } else if (argument.size() > 1 && argument.front() == '-') {
            return false;
        } else {
            break;
        }
    }
    if (argc - next != 1) {
        return false;
    }
    command.set_name = argv[next];
    return true;
}

// Makes folder the current one, the set's path first made absolute so that
// it still names the set given.  Null when that is done, else what could
// not be had: the set's path (the current folder is gone) or the folder.
const char* enter_folder(extract_run& run, const char* folder)
{
    std::error_code error;
    const std::filesystem::path set = std::filesystem::absolute(run.set_name, error);
    if (error) {
        return run.set_name;
    }
    run.set_path = set.string();
    std::filesystem::current_path(folder, error);
    return error ? folder : nullptr;
}

// --help and --version: the text on the report, status 1 if it did not get
// there.
int print_text(std::FILE* report, const char* text)
{
    std::fputs(text, report);
    return flush_output(report) ? 0 : 1;
}

} // namespace

// SPDX-License-Identifier: MIT
#include "command_line.hpp"

#include "files.hpp"
#include "live_file.hpp"
#include "streams.hpp"
#include "unwrap.hpp"

#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>

namespace {

constexpr const char* HELP_TEXT = "usage: tarnvex [-d] [-k] [-v] [--exact] [-C DIR] [--] SET [NAME...]\n"
                                  "       tarnvex -l [-v] SET [NAME...]\n"
                                  "       tarnvex -O | -p [-v] SET [NAME...]\n"
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

// The modes of the run, apart from extracting into files.
struct modes {
    bool list = false;
    bool test = false;
    bool to_stdout = false;
    bool payload = false;
};

int run_command(extract_run& run, const command_line& command, std::FILE* out, std::FILE* err);
bool parse_options(int argc, const char* const* argv, command_line& command);
const char* enter_folder(extract_run& run, const char* folder);
int print_text(std::FILE* report, const char* text);

} // namespace

int tarnvex_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    extract_run run;
    run.report = out;
    try {
        const command_line command = read_command_line(argc, argv);
        if (command.options.output != output_kind::files) {
            // The resources take standard output.
            run.report = err;
            run.data = out;
        }
        return run_command(run, command, out, err);
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
    const std::string_view first = argc >= 2 ? argv[1] : "";
    if (argc == 2) {
        command.action = first == "--help" || first == "-h" ? tarnvex_action::help
                         : first == "--version"             ? tarnvex_action::version
                                                            : tarnvex_action::extract;
        command.set_name = argv[1];
    } else if (argc == 3 && (first == "-l" || first == "--list")) {
        command.action = tarnvex_action::list;
        command.set_name = argv[2];
    } else if (argc == 4 && first == "--unwrap") {
        command.action = tarnvex_action::unwrap;
        command.set_name = argv[2];
        command.raw_name = argv[3];
    } else if (!parse_options(argc, argv, command)) {
        command = command_line{};
    }
    return command;
}

namespace {

// The whole run, as tarnvex_main describes it; the one thing it leaves to
// its caller is running out of memory.
int run_command(extract_run& run, const command_line& command, std::FILE* out, std::FILE* err)
{
    run.set_name = command.set_name;
    if (command.set_name != nullptr) {
        run.set_path = command.set_name;
    }
    run.options = command.options;
    run.names_matched.assign(command.options.names.size(), false);
    switch (command.action) {
    case tarnvex_action::help:
        return print_text(run.report, HELP_TEXT);
    case tarnvex_action::version:
        return print_text(run.report, VERSION_TEXT);
    case tarnvex_action::list:
        return list_set(run);
    case tarnvex_action::test:
        return test_set(run);
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
        set_binary_mode(run.data);
        return extract_set(run);
    }
    // An interrupted run leaves no file half written.
    catch_interruptions();
    if (command.action == tarnvex_action::extract && command.directory != nullptr) {
        if (const char* const missing = enter_folder(run, command.directory); missing != nullptr) {
            std::fprintf(run.report, "Can't open %s\n", missing);
            return end_run(run, 1);
        }
    }
    // Created before the command line is looked at more closely, so that
    // every extracting run, a wrong one included, leaves one.
    open_listfile(run);
    if (command.action == tarnvex_action::wrong) {
        std::fprintf(run.report, "usage: tarnvex <resname>\n");
        return end_run(run, -1);
    }
    return extract_set(run);
}

// Takes one option without an argument, by its letter or its long name.
// False for an option not known.
bool take_option(std::string_view option, command_line& command, modes& mode)
{
    run_options& options = command.options;
    if (option == "d" || option == "make-directories") {
        options.make_directories = true;
    } else if (option == "k" || option == "keep-old-files") {
        options.keep_old_files = true;
    } else if (option == "v" || option == "verbose") {
        options.verbose = true;
    } else if (option == "exact") {
        options.exact = true;
    } else if (option == "l" || option == "list") {
        mode.list = true;
    } else if (option == "t" || option == "test") {
        mode.test = true;
    } else if (option == "O" || option == "to-stdout") {
        mode.to_stdout = true;
    } else if (option == "p" || option == "payload") {
        mode.payload = true;
    } else {
        return false;
    }
    return true;
}

// The argument of -C: the rest of its word from at, or else the next word,
// past which next then moves.  False when there is none.
bool take_directory(int argc, const char* const* argv, int& next, std::size_t at, command_line& command)
{
    if (argv[next][at] != '\0') {
        command.directory = argv[next] + at;
    } else if (++next < argc) {
        command.directory = argv[next];
    } else {
        return false;
    }
    return true;
}

// One word of the form --name, --name=VALUE or --directory VALUE.
bool take_long_option(int argc, const char* const* argv, int& next, command_line& command, modes& mode)
{
    const std::string_view option = std::string_view(argv[next]).substr(2);
    const std::size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    if (name == "directory") {
        // After "--directory=", or the next word.
        return take_directory(argc, argv, next, equals == std::string_view::npos ? option.size() + 2 : equals + 3,
                              command);
    }
    return equals == std::string_view::npos && name.size() >= 2 && take_option(name, command, mode);
}

// One word of short options: each a letter, and the last may be C with its
// argument after it in the word or in the next one.
bool take_short_options(int argc, const char* const* argv, int& next, command_line& command, modes& mode)
{
    const std::string_view word = argv[next];
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (word[i] == 'C') {
            return take_directory(argc, argv, next, i + 1, command);
        }
        if (!take_option(word.substr(i, 1), command, mode)) {
            return false;
        }
    }
    return true;
}

// The general form of the command line (see read_command_line).
bool parse_options(int argc, const char* const* argv, command_line& command)
{
    modes mode;
    std::vector<const char*> words;
    bool options_ended = false;
    for (int next = 1; next < argc; ++next) {
        const std::string_view word = argv[next];
        if (options_ended || word.size() < 2 || word.front() != '-') {
            words.push_back(argv[next]);
        } else if (word == "--") {
            options_ended = true;
        } else if (!(word[1] == '-' ? take_long_option(argc, argv, next, command, mode)
                                    : take_short_options(argc, argv, next, command, mode))) {
            return false;
        }
    }
    const int exclusive_modes =
        (mode.list ? 1 : 0) + (mode.test ? 1 : 0) + (mode.to_stdout ? 1 : 0) + (mode.payload ? 1 : 0);
    if (words.empty() || exclusive_modes > 1 || (mode.test && words.size() > 1)) {
        return false;
    }
    command.set_name = words.front();
    command.options.names.assign(words.begin() + 1, words.end());
    command.options.output = mode.to_stdout ? output_kind::resource_files
                             : mode.payload ? output_kind::payloads
                                            : output_kind::files;
    command.action = mode.list ? tarnvex_action::list : mode.test ? tarnvex_action::test : tarnvex_action::extract;
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

// SPDX-License-Identifier: MIT
#include "command_line.hpp"

#include <array>
#include <string_view>
#include <vector>

namespace {

// The modes of the run, apart from extracting into files, and each as it
// was first given, in the order given, for the message when two meet.
struct modes {
    bool list = false;
    bool test = false;
    bool compare = false;
    bool to_stdout = false;
    bool payload = false;
    bool json = false;
    std::vector<std::string> given;
};

bool parse_options(int argc, const char* const* argv, command_line& command);

// A command line found wrong: nothing of it is kept but what is wrong.
void fault(command_line& command, command_fault what_fault, std::string_view what = {}, std::string_view other = {})
{
    command.fault = what_fault;
    command.what = what;
    command.other = other;
}

} // namespace

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
        command_line wrong;
        fault(wrong, command.fault, command.what, command.other);
        command = wrong;
    }
    return command;
}

namespace {

// Marks a mode given, as spelt, the first time.
void take_mode(bool& mode, std::string_view spelling, modes& mode_given)
{
    if (!mode) {
        mode = true;
        mode_given.given.emplace_back(spelling);
    }
}

// Takes one option without an argument, by its letter or its long name.
// False, with the fault set, for an option not known here; spelling is the
// option as the message names it.
bool take_option(std::string_view option, std::string_view spelling, command_line& command, modes& mode)
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
    } else if (option == "json") {
        mode.json = true;
    } else if (option == "l" || option == "list") {
        take_mode(mode.list, spelling, mode);
    } else if (option == "t" || option == "test") {
        take_mode(mode.test, spelling, mode);
    } else if (option == "compare") {
        take_mode(mode.compare, spelling, mode);
    } else if (option == "O" || option == "to-stdout") {
        take_mode(mode.to_stdout, spelling, mode);
    } else if (option == "p" || option == "payload") {
        take_mode(mode.payload, spelling, mode);
    } else if (option == "h" || option == "help" || option == "version") {
        fault(command, command_fault::not_alone, spelling);
        return false;
    } else if (option == "unwrap") {
        fault(command, command_fault::unwrap_misplaced);
        return false;
    } else {
        fault(command, command_fault::unknown_option, spelling);
        return false;
    }
    return true;
}

// The argument of -C: the rest of its word from at, or else the next word,
// past which next then moves.  False, with the fault set, when there is
// none; spelling is the option as the message names it.
bool take_directory(int argc, const char* const* argv, int& next, std::size_t at, std::string_view spelling,
                    command_line& command)
{
    if (argv[next][at] != '\0') {
        command.directory = argv[next] + at;
    } else if (++next < argc) {
        command.directory = argv[next];
    } else {
        fault(command, command_fault::needs_folder, spelling);
        return false;
    }
    return true;
}

// Every long option, those that act only alone included, so that an
// abbreviation of one of them is never taken for another.
constexpr std::array<std::string_view, 14> LONG_OPTIONS = {
    "compare",          "directory", "exact", "help",      "json",   "keep-old-files", "list",
    "make-directories", "payload",   "test",  "to-stdout", "unwrap", "verbose",        "version"};

// The long option that name spells, or else the one it abbreviates; empty
// when it abbreviates none or more than one, which abbreviated tells.
std::string_view long_option_named(std::string_view name, int& abbreviated)
{
    std::string_view found;
    abbreviated = 0;
    for (const std::string_view option : LONG_OPTIONS) {
        if (option == name) {
            abbreviated = 1;
            return option;
        }
        if (option.starts_with(name)) {
            found = option;
            ++abbreviated;
        }
    }
    return abbreviated == 1 ? found : std::string_view();
}

// One word of the form --name, --name=VALUE or --directory VALUE, name
// perhaps abbreviated.  An argument after "=" is the argument, even when
// empty; only an option that takes one may have it.  The messages name a
// long option known by its whole name, and one not known as given, up to
// its "=".
bool take_long_option(int argc, const char* const* argv, int& next, command_line& command, modes& mode)
{
    const std::string_view option = std::string_view(argv[next]).substr(2);
    const std::size_t equals = option.find('=');
    const std::string_view given = option.substr(0, equals);
    int abbreviated = 0;
    const std::string_view name = long_option_named(given, abbreviated);
    if (name.empty()) {
        std::string spelling = "--";
        spelling += given;
        fault(command, abbreviated > 1 ? command_fault::ambiguous_option : command_fault::unknown_option, spelling);
        return false;
    }
    std::string spelling = "--";
    spelling += name;
    if (name == "directory") {
        if (equals != std::string_view::npos) {
            command.directory = argv[next] + 2 + equals + 1;
            return true;
        }
        return take_directory(argc, argv, next, option.size() + 2, spelling, command);
    }
    if (equals != std::string_view::npos && name != "help" && name != "version" && name != "unwrap") {
        fault(command, command_fault::takes_no_argument, spelling);
        return false;
    }
    return take_option(name, spelling, command, mode);
}

// One word of short options: each a letter, and the last may be C with its
// argument after it in the word or in the next one.
bool take_short_options(int argc, const char* const* argv, int& next, command_line& command, modes& mode)
{
    const std::string_view word = argv[next];
    for (std::size_t i = 1; i < word.size(); ++i) {
        std::string spelling = "-";
        spelling += word[i];
        if (word[i] == 'C') {
            return take_directory(argc, argv, next, i + 1, spelling, command);
        }
        if (!take_option(word.substr(i, 1), spelling, command, mode)) {
            return false;
        }
    }
    return true;
}

// What is wrong with the modes and words of a command line whose options
// are all known; false, with the fault set, when something is.
bool check_modes(const modes& mode, const std::vector<const char*>& words, command_line& command)
{
    if (words.empty()) {
        fault(command, command_fault::no_set);
        return false;
    }
    if (mode.given.size() > 1) {
        fault(command, command_fault::modes_exclusive, mode.given[0], mode.given[1]);
        return false;
    }
    if (mode.test && words.size() > 1) {
        fault(command, command_fault::test_names, mode.given[0]);
        return false;
    }
    if (mode.json && !mode.list) {
        fault(command, command_fault::json_without_list);
        return false;
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
    if (!check_modes(mode, words, command)) {
        return false;
    }
    command.set_name = words.front();
    command.options.names.assign(words.begin() + 1, words.end());
    command.options.output = mode.to_stdout ? output_kind::resource_files
                             : mode.payload ? output_kind::payloads
                                            : output_kind::files;
    command.options.listing = mode.json ? listing_kind::json : mode.compare ? listing_kind::none : listing_kind::text;
    command.action = mode.list      ? tarnvex_action::list
                     : mode.test    ? tarnvex_action::test
                     : mode.compare ? tarnvex_action::compare
                                    : tarnvex_action::extract;
    return true;
}

} // namespace

// SPDX-License-Identifier: MIT
#include "command_line.hpp"

#include <array>
#include <string_view>
#include <vector>

namespace {

// The modes of the run, apart from extracting into files.
struct modes {
    bool list = false;
    bool test = false;
    bool to_stdout = false;
    bool payload = false;
};

bool parse_options(int argc, const char* const* argv, command_line& command);

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
        command = command_line{};
    }
    return command;
}

namespace {

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

// Every long option, those that act only alone included, so that an
// abbreviation of one of them is never taken for another.
constexpr std::array<std::string_view, 12> LONG_OPTIONS = {
    "directory", "exact", "help",      "keep-old-files", "list",    "make-directories",
    "payload",   "test",  "to-stdout", "unwrap",         "verbose", "version"};

// The long option that name spells, or else the one it abbreviates; empty
// when it abbreviates none or more than one.
std::string_view long_option_named(std::string_view name)
{
    std::string_view found;
    int abbreviated = 0;
    for (const std::string_view option : LONG_OPTIONS) {
        if (option == name) {
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
// empty; only an option that takes one may have it.
bool take_long_option(int argc, const char* const* argv, int& next, command_line& command, modes& mode)
{
    const std::string_view option = std::string_view(argv[next]).substr(2);
    const std::size_t equals = option.find('=');
    const std::string_view name = long_option_named(option.substr(0, equals));
    if (name == "directory") {
        if (equals != std::string_view::npos) {
            command.directory = argv[next] + 2 + equals + 1;
            return true;
        }
        return take_directory(argc, argv, next, option.size() + 2, command);
    }
    return equals == std::string_view::npos && !name.empty() && take_option(name, command, mode);
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

} // namespace

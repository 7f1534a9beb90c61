// SPDX-License-Identifier: MIT
// The body of tarnvex: lists a resource set, recreates its resource files in
// the current folder and writes reslist.txt, the listfile from which vashpak
// rebuilds the set.  Everything it reports goes to the stream it is given.
#include "run.hpp"

#include "extract.hpp"
#include "replace.hpp"
#include "resource_format.hpp"
#include "stream_io.hpp"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* LISTFILE_NAME = "reslist.txt";

// The most entries a table is read to: 256 times as many as the packer
// writes, 56 MiB in memory.  A set that claims more is read up to there and
// then treated as cut short, so that no count, however large, makes the
// table outgrow memory or the read go on for ever.
constexpr std::uint32_t TABLE_ENTRIES_MAX = std::uint32_t{1} << 20U;

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

// The set's stream buffer: the table and small bodies come in with a read
// per 64 KiB rather than a read or two per entry.  It is much smaller than
// the payload buffer, so that the C library reads the bulk of a large
// payload straight into that buffer instead of copying it through this one
// (a 1 MiB buffer here cost 20 ms of copying per 256 MiB extracted).
char set_buffer[64 * 1024];

// What the command line asks for.
struct command_line {
    bool list = false;
    bool make_directories = false;
    // The folder to extract into; null for the current one.
    const char* directory = nullptr;
    const char* set_name = nullptr;
};

struct extract_run {
    std::FILE* report = nullptr;
    // The set as given, for the messages, and as opened: from the folder
    // tarnvex was started in, whatever folder it extracts into.
    const char* set_name = nullptr;
    std::string set_path;
    bool make_directories = false;
    // With make_directories: the folder that names were last made in.
    std::string folder_made;
    std::FILE* set = nullptr;
    std::FILE* listfile = nullptr;
    bool listfile_ok = false;
    bool failed = false;
    std::uint64_t files_written = 0;
    std::uint64_t bytes_written = 0;
};

// Appends a name to the listfile and flushes it, so that every listed name is
// on disk whatever happens later in the run.
void list_name(extract_run& run, const std::string& name)
{
    if (!run.listfile_ok) {
        return;
    }
    if (std::fputs(name.c_str(), run.listfile) < 0 || std::fputc('\n', run.listfile) == EOF ||
        std::fflush(run.listfile) != 0) {
        run.listfile_ok = false;
    }
}

// Closes what is still open and gives the exit status; a report that did not
// reach its stream turns a success into a failure.
int end_run(extract_run& run, int status)
{
    if (run.set != nullptr) {
        std::fclose(run.set);
        run.set = nullptr;
    }
    if (run.listfile != nullptr) {
        if (!close_output(run.listfile)) {
            run.listfile_ok = false;
        }
        run.listfile = nullptr;
    }
    if (!flush_output(run.report) && status == 0) {
        status = 1;
    }
    release_interruptions();
    return status;
}

int short_read(extract_run& run)
{
    std::fprintf(run.report, "Can't read %s\n", run.set_name);
    return end_run(run, 1);
}

// Reads the set_header and the whole table, printing the count and a line
// per entry and writing each name to the listfile, if there is one; the
// entries are kept in toc when it is given.  False on a short read.
bool read_table(extract_run& run, std::vector<toc_entry>* toc)
{
    // Only the count is used: the magic, the reserved word and the discard
    // point are neither checked nor needed to extract.
    set_header_bytes header_bytes{};
    if (!read_block(run.set, header_bytes.data(), header_bytes.size())) {
        return false;
    }
    const std::uint32_t count = decode_set_header(header_bytes).count;
    std::fprintf(run.report, "count = %" PRIu32 "\n", count);

    // The table grows with the entries actually read, never with what the
    // count claims.
    for (std::uint32_t i = 0; i < count; ++i) {
        toc_entry_bytes entry_bytes{};
        if (i == TABLE_ENTRIES_MAX || !read_block(run.set, entry_bytes.data(), entry_bytes.size())) {
            return false;
        }
        const toc_entry entry = decode_toc_entry(entry_bytes);
        const std::string name = entry_name(entry);
        std::fprintf(run.report, "%" PRIu32 ": %s, %" PRIu32 "\n", i, name.c_str(), entry.size);
        list_name(run, name);
        if (toc != nullptr) {
            toc->push_back(entry);
        }
    }
    return true;
}

// tarnvex -l: the listing and nothing more.  The set is read no further than
// its table, and no file is written, reslist.txt included.
int list_table(extract_run& run)
{
    run.set = std::fopen(run.set_name, "rb");
    if (run.set == nullptr) {
        std::fprintf(run.report, "Can't open %s\n", run.set_name);
        return end_run(run, 1);
    }
    return read_table(run, nullptr) ? end_run(run, 0) : short_read(run);
}

// --help and --version: the text on the report, status 1 if it did not get
// there.
int print_text(std::FILE* report, const char* text)
{
    std::fputs(text, report);
    return flush_output(report) ? 0 : 1;
}

// True when name, followed through links, is the listfile being written or
// the set being read, however it is spelt: writing it would replace one of
// them.
bool names_run_file(const extract_run& run, const std::string& name)
{
    std::error_code error;
    return std::filesystem::equivalent(name, LISTFILE_NAME, error) ||
           std::filesystem::equivalent(name, run.set_path, error);
}

// What becomes of an entry before its payload is read.
enum class entry_start { started, unsafe, refused };

// Checks an entry's name and creates the file to write, with the folders it
// needs when asked to.  Nothing touches the disk for an unsafe name.
entry_start start_entry_file(extract_run& run, const std::string& name, replacement& file)
{
    if (!name_is_safe(name)) {
        return entry_start::unsafe;
    }
    if (run.make_directories && !make_folders_for(name, run.folder_made)) {
        return entry_start::refused;
    }
    // A name where nothing stood cannot be the listfile or the set, which
    // are there: only a name that is taken is looked at more closely.
    if (begin_new_file(file, name)) {
        return entry_start::started;
    }
    if (names_run_file(run, name)) {
        return entry_start::unsafe;
    }
    return begin_replacement(file, name) ? entry_start::started : entry_start::refused;
}

// Recreates one resource file from the body at the current position of the
// set, or reads past the body when the file cannot or must not be written.
// Whatever stands at the entry's name is replaced only by a whole file (see
// begin_replacement).  False only when the set ends inside the body.
bool extract_entry(extract_run& run, const toc_entry& entry)
{
    body_header_bytes stored{};
    if (!read_block(run.set, stored.data(), stored.size())) {
        return false;
    }
    const std::string name = entry_name(entry);
    bool write_ok = true;
    replacement file;
    const entry_start start = start_entry_file(run, name, file);
    if (start == entry_start::unsafe) {
        std::fprintf(run.report, "Skipping unsafe name %s\n", name.c_str());
    } else if (start == entry_start::refused) {
        std::fprintf(run.report, "Can't create %s\n", name.c_str());
    }
    if (start != entry_start::started) {
        run.failed = true;
        return copy_payload(run.set, nullptr, {}, entry.size, write_ok);
    }

    // The stored body_header is dropped: every recreated file gets the same one.
    std::array<unsigned char, RESOURCE_FILE_MIN_SIZE> head{};
    const std::span<unsigned char> head_bytes(head);
    encode_resource_header({RESOURCE_MAGIC, entry.word1, entry.word2}, head_bytes.first<RESOURCE_HEADER_SIZE>());
    encode_body_header({0, BODY_MARK}, head_bytes.subspan<RESOURCE_HEADER_SIZE, BODY_HEADER_SIZE>());
    // Written in whole blocks by copy_payload: no stream buffer is needed.
    std::setvbuf(file.stream, nullptr, _IONBF, 0);
    if (!copy_payload(run.set, file.stream, head, entry.size, write_ok)) {
        abandon_replacement(file);
        return false;
    }
    bool written = false;
    if (write_ok) {
        written = close_replacement(file);
    } else {
        abandon_replacement(file);
    }
    if (!written) {
        std::fprintf(run.report, "Can't write %s\n", name.c_str());
        run.failed = true;
        return true;
    }
    if (!commit_replacement(file)) {
        std::fprintf(run.report, "Can't create %s\n", name.c_str());
        run.failed = true;
        return true;
    }
    ++run.files_written;
    run.bytes_written += entry.size;
    return true;
}

// The options before the set, on a command line that is not one of the
// forms that keep their old meaning (a lone argument, "-l SET"): any of -d,
// -C DIR and -l, in their long forms too, then "--" or not, then exactly
// one set.  False for anything else.
bool parse_options(int argc, const char* const* argv, command_line& command)
{
    int next = 1;
    for (; next < argc; ++next) {
        const std::string_view argument = argv[next];
        if (argument == "--") {
            ++next;
            break;
        }
        if (argument == "-l" || argument == "--list") {
            command.list = true;
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

// The command line, once --help and --version are ruled out: the forms
// that keep their old meaning first, then the options.  False for a wrong
// one.
bool read_command_line(int argc, const char* const* argv, command_line& command)
{
    if (argc == 2) {
        command.set_name = argv[1];
        return true;
    }
    if (argc == 3 && (std::string_view(argv[1]) == "-l" || std::string_view(argv[1]) == "--list")) {
        command.list = true;
        command.set_name = argv[2];
        return true;
    }
    return parse_options(argc, argv, command);
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

// The whole run, as tarnvex_main describes it; the one thing it leaves to
// its caller is running out of memory.
int run_tarnvex(extract_run& run, int argc, const char* const* argv)
{
    // The options, each in these spellings and in this place only: every
    // other command line keeps its meaning, and a lone argument is a set.
    const std::string_view option = argc >= 2 ? argv[1] : "";
    if (argc == 2 && (option == "--help" || option == "-h")) {
        return print_text(run.report, HELP_TEXT);
    }
    if (argc == 2 && option == "--version") {
        return print_text(run.report, VERSION_TEXT);
    }
    command_line command;
    const bool valid = read_command_line(argc, argv, command);
    run.set_name = command.set_name;
    if (valid && command.list) {
        return list_table(run);
    }
    // An interrupted run leaves no file half written.
    catch_interruptions();
    if (valid && command.directory != nullptr) {
        if (const char* const missing = enter_folder(run, command.directory); missing != nullptr) {
            std::fprintf(run.report, "Can't open %s\n", missing);
            return end_run(run, 1);
        }
    } else if (valid) {
        run.set_path = run.set_name;
    }
    // Created before anything else, so that every run leaves one.
    run.listfile = create_text_output(LISTFILE_NAME);
    run.listfile_ok = run.listfile != nullptr;

    if (!valid) {
        std::fprintf(run.report, "usage: tarnvex <resname>\n");
        return end_run(run, -1);
    }
    run.make_directories = command.make_directories;
    run.set = std::fopen(run.set_path.c_str(), "rb");
    if (run.set == nullptr) {
        std::fprintf(run.report, "Can't open %s\n", run.set_name);
        return end_run(run, 1);
    }
    std::setvbuf(run.set, set_buffer, _IOFBF, sizeof set_buffer);

    // The whole table comes before any body.
    std::vector<toc_entry> toc;
    if (!read_table(run, &toc)) {
        return short_read(run);
    }

    // The bodies follow in table order; the set is read in one forward pass.
    for (const toc_entry& entry : toc) {
        if (!extract_entry(run, entry)) {
            return short_read(run);
        }
    }
    std::fclose(run.set);
    run.set = nullptr;

    std::fprintf(run.report, "--- TarnVex stats ---\n");
    std::fprintf(run.report, "Total output:%" PRIu64 " files (%" PRIu64 "b)\n", run.files_written, run.bytes_written);
    // The listfile is closed first, so that a failure to write its last
    // bytes is known before it is reported as generated.
    if (run.listfile != nullptr && !close_output(run.listfile)) {
        run.listfile_ok = false;
    }
    run.listfile = nullptr;
    if (run.listfile_ok) {
        std::fprintf(run.report, "Listfile generated as: %s\n", LISTFILE_NAME);
    } else {
        std::fprintf(run.report, "Can't write %s\n", LISTFILE_NAME);
        run.failed = true;
    }
    return end_run(run, run.failed ? 1 : 0);
}

} // namespace

int tarnvex_main(int argc, const char* const* argv, std::FILE* report)
{
    extract_run run;
    run.report = report;
    try {
        return run_tarnvex(run, argc, argv);
    } catch (const std::bad_alloc&) {
        // The file being written goes, as it would on any other failure.
        abandon_live_file();
        std::fprintf(run.report, "Out of memory\n");
        return end_run(run, 1);
    }
}

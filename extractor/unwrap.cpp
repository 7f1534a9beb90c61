// SPDX-License-Identifier: MIT
#include "unwrap.hpp"

#include "files.hpp"
#include "live_file.hpp"
#include "output_file.hpp"
#include "payload.hpp"
#include "resource_format.hpp"
#include "streams.hpp"

#include <cstdint>
#include <string_view>

namespace {

// Copies the payload, the rest of in, onto out.  False when in cannot be
// read; a failed write is left in out's error flag.
bool copy_payload_rest(std::FILE* in, std::FILE* out)
{
    static unsigned char buffer[64 * 1024];
    const stream_copy copy{.length = ~std::uint64_t{0}, .extent = copy_extent::rest};
    return copy_stream(in, out, buffer, copy) == copy_end::done;
}

// The payload, the rest of in, onto standard output.
int payload_to_output(std::FILE* in, const char* resource, std::FILE* out, std::FILE* err)
{
    set_binary_mode(out);
    if (!copy_payload_rest(in, out)) {
        std::fprintf(err, "Can't read %s\n", resource);
        return 1;
    }
    if (!flush_output(out)) {
        std::fprintf(err, "Can't write %s\n", "standard output");
        return 1;
    }
    return 0;
}

// The payload, the rest of in, into the file raw, replaced whole.
int payload_to_file(std::FILE* in, const char* resource, const char* raw, std::FILE* err)
{
    catch_interruptions();
    // Writing the resource over itself would leave the payload alone.
    const bool created =
        !same_file(identity_of(in), identity_of(raw)) && begin_replacing(raw, TEMPORARY_PREFIX, true) != nullptr;
    const bool read = created && copy_payload_rest(in, live_file_stream());
    if (created && !read) {
        std::fprintf(err, "Can't read %s\n", resource);
    }
    const bool written = read && close_live_file();
    if (read && !written) {
        std::fprintf(err, "Can't write %s\n", raw);
    }
    const bool committed = written && commit_live_file(raw);
    if (!created || (written && !committed)) {
        std::fprintf(err, "Can't create %s\n", raw);
    }
    abandon_live_file();
    release_interruptions();
    return committed ? 0 : 1;
}

} // namespace

int unwrap_resource(const char* resource, const char* raw, std::FILE* out, std::FILE* err)
{
    std::FILE* const in = std::fopen(resource, "rb");
    if (in == nullptr) {
        std::fprintf(err, "Can't open %s\n", resource);
        flush_output(err);
        return 1;
    }
    resource_header_bytes header{};
    body_header_bytes body{};
    int status = 1;
    if (!read_block(in, header.data(), header.size()) || decode_resource_header(header).magic != RESOURCE_MAGIC ||
        !read_block(in, body.data(), body.size())) {
        std::fprintf(err, "%s is not a resource\n", resource);
    } else if (std::string_view(raw) == "-" && same_file(identity_of(in), identity_of(out))) {
        // Standard output that is the resource would have it append its
        // own payload to itself for as long as it is read.
        std::fprintf(err, "Can't unwrap \"%s\" into itself\n", resource);
    } else if (std::string_view(raw) == "-") {
        status = payload_to_output(in, resource, out, err);
    } else {
        status = payload_to_file(in, resource, raw, err);
    }
    std::fclose(in);
    flush_output(err);
    return status;
}

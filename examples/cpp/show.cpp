// SPDX-License-Identifier: MIT
// show SET: lists the entries of SET in table order, one a line, its
// payload's size and its name, with a line "!discard" at the discard
// point.
// show SET NAME FILE: writes the payload of the resource NAME to FILE.
#include <resource_set.hpp>

#include <cinttypes>
#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: show SET [NAME FILE]\n");
        return 2;
    }
    const auto opened = resource_sets::set::open(argv[1]);
    if (!opened) {
        std::fprintf(stderr, "show: %s: %s\n", argv[1], opened.text());
        return 1;
    }
    const resource_sets::set& set = opened.value();

    if (argc == 2) {
        std::uint32_t index = 0;
        for (const resource_sets::entry& entry : set) {
            if (index++ == set.keep_count()) {
                std::printf("!discard\n");
            }
            std::printf("%" PRIu32 " %s\n", entry.size, entry.name);
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    const resource_sets::entry* entry = set.find(argv[2]);
    if (entry == nullptr) {
        std::fprintf(stderr, "show: %s: no resource %s\n", argv[1], argv[2]);
        return 1;
    }
    const auto payload = set.read_all(*entry);
    if (!payload) {
        std::fprintf(stderr, "show: %s: %s\n", argv[2], payload.text());
        return 1;
    }
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(payload.value().data()),
              static_cast<std::streamsize>(payload.value().size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "show: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

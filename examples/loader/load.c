/* SPDX-License-Identifier: MIT */
/* load SET NAME: writes the payload of the resource NAME in SET to
 * standard output, as a program loads one of its resources. */
#include <resource_set.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    resource_set *set = NULL;
    resource_set_status status;
    const resource_set_entry *entry;
    char buffer[65536];
    uint64_t offset = 0;
    size_t got = 0;

    if (argc != 3) {
        fprintf(stderr, "usage: load SET NAME\n");
        return 2;
    }
    status = resource_set_open(argv[1], &set);
    if (status != RESOURCE_SET_OK) {
        fprintf(stderr, "load: %s: %s\n", argv[1], resource_set_error_text(status));
        return 1;
    }
    entry = resource_set_find(set, argv[2]);
    if (entry == NULL) {
        fprintf(stderr, "load: %s: no resource %s\n", argv[1], argv[2]);
        resource_set_close(set);
        return 1;
    }
    /* Piece by piece: a payload may be larger than memory allows at once. */
    while ((status = resource_set_read(set, entry, offset, buffer, sizeof buffer, &got)) == RESOURCE_SET_OK &&
           got > 0) {
        if (fwrite(buffer, 1, got, stdout) != got) {
            break;
        }
        offset += got;
    }
    resource_set_close(set);
    if (status != RESOURCE_SET_OK) {
        fprintf(stderr, "load: %s: %s\n", argv[2], resource_set_error_text(status));
        return 1;
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "load: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

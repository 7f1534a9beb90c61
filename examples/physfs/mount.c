/* SPDX-License-Identifier: MIT */
/* mount SET FOLDER NAME: mounts the set SET and, over it, the folder FOLDER
 * (a mod's files, which shadow the set's of the same name), lists the tree
 * PhysicsFS sees and writes the file NAME to standard output, as a game
 * loads its assets through PhysicsFS. */
#include <physfs.h>
#include <resource_set_physfs.h>

#include <stdio.h>
#include <string.h>

static const char *last_error(void)
{
    return PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
}

/* Lists folder and everything under it, one path a line, folders with a
 * final '/', to standard error. */
static void list(const char *folder)
{
    char **names = PHYSFS_enumerateFiles(folder);
    char **name;
    char path[1024];
    PHYSFS_Stat stat;

    if (names == NULL) {
        return;
    }
    for (name = names; *name != NULL; ++name) {
        snprintf(path, sizeof path, "%s%s%s", folder, *folder ? "/" : "", *name);
        if (!PHYSFS_stat(path, &stat)) {
            continue;
        }
        if (stat.filetype == PHYSFS_FILETYPE_DIRECTORY) {
            fprintf(stderr, "%s/\n", path);
            list(path);
        } else {
            fprintf(stderr, "%s %lld (%s)\n", path, (long long)stat.filesize, PHYSFS_getRealDir(path));
        }
    }
    PHYSFS_freeList(names);
}

int main(int argc, char **argv)
{
    PHYSFS_File *file;
    PHYSFS_sint64 got;
    char buffer[65536];
    int failed = 0;

    if (argc != 4) {
        fprintf(stderr, "usage: mount SET FOLDER NAME\n");
        return 2;
    }
    if (!PHYSFS_init(argv[0]) || !resource_set_physfs_register()) {
        fprintf(stderr, "mount: PhysicsFS: %s\n", last_error());
        return 1;
    }
    /* The set at the end of the search path, the folder before it: a file
     * of the folder is found first. */
    if (!PHYSFS_mount(argv[1], "/", 1)) {
        fprintf(stderr, "mount: %s: %s\n", argv[1], last_error());
        PHYSFS_deinit();
        return 1;
    }
    if (!PHYSFS_mount(argv[2], "/", 0)) {
        fprintf(stderr, "mount: %s: %s\n", argv[2], last_error());
        PHYSFS_deinit();
        return 1;
    }
    list("");
    file = PHYSFS_openRead(argv[3]);
    if (file == NULL) {
        fprintf(stderr, "mount: %s: %s\n", argv[3], last_error());
        PHYSFS_deinit();
        return 1;
    }
    while ((got = PHYSFS_readBytes(file, buffer, sizeof buffer)) > 0) {
        if (fwrite(buffer, 1, (size_t)got, stdout) != (size_t)got) {
            failed = 1;
            break;
        }
    }
    if (got < 0) {
        fprintf(stderr, "mount: %s: %s\n", argv[3], last_error());
        failed = 1;
    }
    PHYSFS_close(file);
    PHYSFS_deinit();
    if (fflush(stdout) != 0 || ferror(stdout)) {
        failed = 1;
    }
    return failed;
}

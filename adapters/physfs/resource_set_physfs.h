/* SPDX-License-Identifier: MIT */
/*
 * resource_set_physfs.h: resource sets as a PhysicsFS archive format.
 * After resource_set_physfs_register(), PHYSFS_mount("game.set", "/", 1)
 * mounts a set beside zips and folders, and every PhysicsFS call reads it:
 * PHYSFS_enumerateFiles, PHYSFS_stat, PHYSFS_exists, PHYSFS_openRead.
 * Names with '/' are folders; of entries with one name, the last in the
 * table is the file; a name that resource_set_name_is_safe refuses is not
 * mounted.  The set is read only.  The manual page is
 * resource_set_physfs(3).
 */
#ifndef RESOURCE_SET_PHYSFS_H
#define RESOURCE_SET_PHYSFS_H

/* On every declaration, as RESOURCE_SET_API in resource_set.h: exported
 * from the shared library; RESOURCE_SET_PHYSFS_STATIC before the include
 * for the static one on Windows. */
#if defined(RESOURCE_SET_PHYSFS_STATIC)
#define RESOURCE_SET_PHYSFS_API
#elif defined(_WIN32)
#if defined(RESOURCE_SET_PHYSFS_BUILDING)
#define RESOURCE_SET_PHYSFS_API __declspec(dllexport)
#else
#define RESOURCE_SET_PHYSFS_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define RESOURCE_SET_PHYSFS_API __attribute__((visibility("default")))
#else
#define RESOURCE_SET_PHYSFS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Registers the archiver of resource sets with PhysicsFS, which must be
 * initialized (PHYSFS_init).  It takes files with the extension SET, and
 * any file whose first four bytes are "0TSR", whatever its name.  Nonzero
 * on success; zero with PhysicsFS's error code set otherwise (already
 * registered: PHYSFS_ERR_DUPLICATE).  PHYSFS_deinit forgets it.
 */
RESOURCE_SET_PHYSFS_API int resource_set_physfs_register(void);

#ifdef __cplusplus
}
#endif

#endif

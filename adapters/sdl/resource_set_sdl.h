/* SPDX-License-Identifier: MIT */
/*
 * resource_set_sdl.h: a resource of a set as an SDL2 stream, for
 * SDL_LoadBMP_RW, IMG_Load_RW, Mix_LoadWAV_RW and every other function that
 * takes an SDL_RWops.  The stream reads the payload through
 * resource_set_read; it cannot be written.  The manual page is
 * resource_set_sdl(3).
 */
#ifndef RESOURCE_SET_SDL_H
#define RESOURCE_SET_SDL_H

#include <resource_set.h>

/* On every declaration, as RESOURCE_SET_API in resource_set.h: exported
 * from the shared library; RESOURCE_SET_SDL_STATIC before the include for
 * the static one on Windows. */
#if defined(RESOURCE_SET_SDL_STATIC)
#define RESOURCE_SET_SDL_API
#elif defined(_WIN32)
#if defined(RESOURCE_SET_SDL_BUILDING)
#define RESOURCE_SET_SDL_API __declspec(dllexport)
#else
#define RESOURCE_SET_SDL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define RESOURCE_SET_SDL_API __attribute__((visibility("default")))
#else
#define RESOURCE_SET_SDL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* SDL's stream (SDL_RWops, from SDL_rwops.h). */
struct SDL_RWops;

/*
 * A stream of entry's payload, at its start: its size is the payload's,
 * seek moves within it (a place before its start is refused, one past its
 * end taken as the end), read copies from it, write fails.  SDL_RWclose
 * frees the stream and nothing else; set must stay open until then, and
 * may be read by other streams and threads meanwhile.  Null, with
 * SDL_GetError saying why, for a null set or entry, an entry that set did
 * not give, or when memory runs out.
 */
RESOURCE_SET_SDL_API struct SDL_RWops *resource_set_rwops(const resource_set *set, const resource_set_entry *entry);

/* The same for the entry resource_set_find(set, name) gives: the last of
 * that name.  Null when there is none. */
RESOURCE_SET_SDL_API struct SDL_RWops *resource_set_rwops_by_name(const resource_set *set, const char *name);

#ifdef __cplusplus
}
#endif

#endif

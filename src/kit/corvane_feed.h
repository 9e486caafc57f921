/*
 * corvane_feed.h: publishing performance figures to Corvane overlays from any language.
 *
 * A host (the launcher that starts one Corvane overlay per game) owns one shared-memory block
 * that every overlay reads once a second. This library creates or opens that block and
 * publishes a JSON document into it under the block's lock protocol, so that a host written
 * in C, C#, Python, Node, Rust or C++ needs no copy of that protocol. It is plain C: an opaque
 * handle, result codes, and the text of the last error asked for separately.
 *
 *     corvane_feed* feed = NULL;
 *     if (corvane_feed_open(NULL, &feed) != CORVANE_FEED_OK) {
 *       fprintf(stderr, "%s\n", corvane_feed_last_message(feed));
 *     } else if (corvane_feed_publish(feed, json, strlen(json), 1, ipc_window) !=
 *                CORVANE_FEED_OK) {
 *       fprintf(stderr, "%s\n", corvane_feed_last_message(feed));
 *     }
 *     ...publish again once a second...
 *     corvane_feed_close(feed);
 *
 * The document's keys and types are described by kit/schema/document.schema.json in the
 * release package, and in HOST-PROTOCOL.md beside the kit; the library does not check the JSON
 * (`tools/corvane-feed.exe --check FILE` does, with the overlay's own parser). A complete host
 * that uses this header is kit/examples/sample_host.c.
 *
 * Message 1004: every overlay tells the host whom it serves by posting (PostMessageW, never
 * SendMessage) message 1004 (0x3EC, below WM_USER) to the IPC window named in the last
 * publication: wParam is the game id the overlay serves (all 64 bits), lParam the id of the
 * process that owns the game window (0 when it cannot be found). It is posted right after the
 * overlay's first read of the block, and afterwards at the next refresh (once a second, only
 * while the game window is the foreground window) that finds a window it has not told; once
 * per window and process; a post that fails is retried at the next refresh. Any window of the
 * host may receive it, a message-only window (HWND_MESSAGE) included.
 *
 * The heartbeat: put a top-level "seq" in every document, a number that changes at every
 * publication, also when no figure changed (a counter from 1 is enough), and publish at least
 * once a second. An overlay whose documents carry "seq" marks its figures stale when three
 * refreshes in a row (once a second each) read the same "seq": at the third read of an
 * unchanged "seq", about 2 to 3 s after the host's last publication; a changed "seq" ends it.
 * So a host that hangs with its window alive does not leave frozen figures on screen as live. The
 * library does not add it: it publishes the document as given.
 *
 * On Windows the block exists only while some process has it open: keep the handle open for
 * as long as overlays should see figures. Natively (POSIX shared memory, for tests) the block
 * stays until its name is removed.
 *
 * Threads: a handle is used by one thread at a time; separate handles are independent.
 * Windows: corvane_feed.dll with the import libraries corvane_feed.lib (MSVC, made from
 * corvane_feed.def) and libcorvane_feed.dll.a (MinGW); it needs no DLL beyond the system's own.
 * Elsewhere: libcorvane_feed.so.
 */
#ifndef CORVANE_FEED_H_
#define CORVANE_FEED_H_

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(CORVANE_FEED_BUILDING)
#define CORVANE_FEED_API __declspec(dllexport)
#else
#define CORVANE_FEED_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define CORVANE_FEED_API __attribute__((visibility("default")))
#else
#define CORVANE_FEED_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The revision of this interface. It grows when a function is added or changes; compare it
 * with corvane_feed_interface_version() to know that the library you loaded is the one this
 * header describes. */
#define CORVANE_FEED_INTERFACE_VERSION 1

/* The block every overlay reads (pass NULL as the name to use it). */
#define CORVANE_FEED_BLOCK_NAME "{44F38C7C-449C-4624-8F7E-A4FF5C3EFDE1}_perf_for_cross_"

/* The largest document, in bytes, that the block holds. */
#define CORVANE_FEED_MAX_DOCUMENT_SIZE 4096

/* Result codes. */
#define CORVANE_FEED_OK 0
#define CORVANE_FEED_BAD_ARGUMENT 1 /* a null pointer, an empty document, an unusable name */
#define CORVANE_FEED_TOO_LARGE 2    /* the document is over CORVANE_FEED_MAX_DOCUMENT_SIZE */
#define CORVANE_FEED_FAILED 3       /* the system refused, or the block's lock stayed held */
#define CORVANE_FEED_NO_MEMORY 4    /* the library could not allocate what it needed */

/* A connection to one block. Made by corvane_feed_open, ended by corvane_feed_close. */
typedef struct corvane_feed corvane_feed;

/* Creates the block `block_name` with room for the largest document, or opens it when it
 * exists. NULL means CORVANE_FEED_BLOCK_NAME, the block every overlay reads; other names are
 * for tests. On Windows a new block lets in the account the host runs as and the system, at
 * medium integrity, so the player's overlays open it also when the host runs elevated.
 * Like sqlite3_open, it sets *feed to a handle even when the block could not be made, so that
 * corvane_feed_last_message(*feed) says why; *feed is NULL only when there was
 * no memory for a handle (or `feed` is NULL). Close the handle in every case.
 * Returns CORVANE_FEED_OK, BAD_ARGUMENT (feed is NULL, or the name is empty or holds '/'),
 * FAILED or NO_MEMORY. */
CORVANE_FEED_API int corvane_feed_open(const char* block_name, corvane_feed** feed);

/* Publishes `document` (UTF-8 JSON text of `length` bytes, 1 to
 * CORVANE_FEED_MAX_DOCUMENT_SIZE, no terminator needed) with the show flag (non-zero: the
 * overlays show their box; 0: they hide it but still read the figures) and the host's IPC
 * window handle (the 32 significant bits of its HWND; 0 = none), which receives message 1004
 * from every overlay (see above). It takes the block's lock word, waiting in 1 ms pauses while
 * an overlay holds it, writes, and frees the word. A word that keeps one value for more than
 * 2 s belongs to a process that died or froze holding it: it is taken over, the document is
 * published, and corvane_feed_last_message says so. A document that is too large is refused,
 * never cut. Returns CORVANE_FEED_OK, BAD_ARGUMENT, TOO_LARGE, FAILED (the block could not be
 * made at open, the word kept changing hands without coming free for 5 s, or another writer
 * took the word over while this one wrote, judging it dead: publish again) or NO_MEMORY. */
CORVANE_FEED_API int corvane_feed_publish(corvane_feed* feed, const char* document, size_t length,
                                          int show, uint32_t ipc_window);

/* What the last call on `feed` had to say: after a failure, why; after a success, a note
 * worth logging, or "" when there is none. The text is UTF-8, belongs to the handle and stays
 * valid until the next call on it. Never NULL: a NULL handle gives a text that says the handle
 * is NULL. */
CORVANE_FEED_API const char* corvane_feed_last_message(const corvane_feed* feed);

/* Closes the block (on Windows it goes away when the last process closes it) and frees the
 * handle. NULL is allowed and does nothing. */
CORVANE_FEED_API void corvane_feed_close(corvane_feed* feed);

/* The library's version, such as "0.1.0.1", the one Corvane.exe reports. */
CORVANE_FEED_API const char* corvane_feed_version(void);

/* CORVANE_FEED_INTERFACE_VERSION of the library that was loaded. */
CORVANE_FEED_API int corvane_feed_interface_version(void);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_FEED_H_ */

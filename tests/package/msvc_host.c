/* A host built for the MSVC ABI (clang --target=x86_64-pc-windows-msvc, linked by lld-link against
 * the package's kit/lib/corvane_feed.lib), as a launcher built with Visual C++ links the kit.
 * There is no MSVC C runtime on the build machine, so it uses none: kernel32 only, its own entry
 * point, no floating point and no large local arrays.
 *
 * It publishes its document to the block named by the environment variable
 * CORVANE_TEST_BLOCK, prints "published VERSION", keeps the block open until its standard input
 * ends, and exits 0; on a failure it prints the library's message and exits 1. */
#include "corvane_feed.h"

typedef void* HANDLE;
#define STD_INPUT_HANDLE ((unsigned long)-10)
#define STD_OUTPUT_HANDLE ((unsigned long)-11)
__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) int __stdcall ReadFile(HANDLE file, void* data, unsigned long size,
                                             unsigned long* read, void* overlapped);
__declspec(dllimport) unsigned long __stdcall GetEnvironmentVariableA(const char* name,
                                                                      char* value,
                                                                      unsigned long size);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

static const char kDocument[] =
    "{\"fps\": [{\"game_id\": 12345, \"cur\": 59.6, \"min\": 41.0, \"max\": 60.2}], \"cpu\": 23.5, "
    "\"memory\": {\"free\": 9216, \"total\": 16384}, \"diskio\": [{\"name\": \"C:\", "
    "\"used\": 1.2}], \"ui_style\": \"{\\\"alpha\\\": 80, \\\"font-color\\\": \\\"#00ff80\\\"}\"}";

static unsigned long Length(const char* text) {
  unsigned long length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

static void Print(const char* text) {
  unsigned long written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, Length(text), &written, 0);
}

static void Fail(const char* what, const corvane_feed* feed) {
  Print(what);
  Print(": ");
  Print(corvane_feed_last_message(feed));
  Print("\r\n");
}

void HostMain(void) {
  static char block_name[256];
  char rest[64];
  unsigned long got;
  corvane_feed* feed = 0;
  unsigned long name_length = GetEnvironmentVariableA("CORVANE_TEST_BLOCK", block_name,
                                                      sizeof block_name);
  if (name_length == 0 || name_length >= sizeof block_name) {
    Print("CORVANE_TEST_BLOCK is not set\r\n");
    ExitProcess(1);
  }
  if (corvane_feed_open(block_name, &feed) != CORVANE_FEED_OK) {
    Fail("open", feed);
    corvane_feed_close(feed);
    ExitProcess(1);
  }
  if (corvane_feed_publish(feed, kDocument, sizeof kDocument - 1, 1, 0x1a2b) != CORVANE_FEED_OK) {
    Fail("publish", feed);
    corvane_feed_close(feed);
    ExitProcess(1);
  }
  Print("published ");
  Print(corvane_feed_version());
  Print("\r\n");
  /* On Windows the block lives while it is open: hold it until standard input ends. */
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), rest, sizeof rest, &got, 0) && got > 0) {
  }
  corvane_feed_close(feed);
  ExitProcess(0);
}

/*
 * sample_host.c: a small, complete Corvane host in C, over the kit's corvane_feed.dll.
 *
 * What a launcher does for its overlays, in one console program:
 *   - it makes its IPC window, a message-only window (HWND_MESSAGE) that Corvane may post to,
 *     lets message 1004 through to it even when the launcher runs elevated, and prints every
 *     message 1004 it receives: wParam is the game id the overlay serves, lParam the id of the
 *     game's process;
 *   - it opens the block every overlay reads and, every second, publishes the figures (this
 *     machine's CPU load and memory, a frame rate for the game), a display style and the
 *     heartbeat "seq" (1, 2, 3, ...: the overlays mark the figures stale when it stops
 *     changing), naming its IPC window in the block;
 *   - it closes the block when it ends (after the given seconds, or on Ctrl+C).
 *
 * Run it, then start Corvane for a game window with the same game id:
 *   sample_host.exe 12345
 *   overlay\Corvane.exe --hwnd <the game's window, hexadecimal> --game-id 12345
 * (tools\corvane-demo-game.exe makes a game window and prints its handle.)
 *
 * Build it in the package's folder (the host folder), then put the DLL beside the program,
 * where Windows finds it:
 *   MSVC:   cl /W4 /I kit\include kit\examples\sample_host.c kit\lib\corvane_feed.lib user32.lib
 *   MinGW:  x86_64-w64-mingw32-gcc -Wall -Wextra -I kit/include kit/examples/sample_host.c
 *           kit/lib/libcorvane_feed.dll.a -o sample_host.exe
 *   copy kit\bin\corvane_feed.dll .
 *
 * Usage: sample_host [game id [seconds]]   game id 12345 and no time limit by default.
 */
/* ChangeWindowMessageFilterEx came with Windows 7; older MinGW headers declare it only when
 * told that Windows 7 is the target. */
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "corvane_feed.h"

/* Corvane's message to the host's IPC window (a fixed number below WM_USER). */
#define CORVANE_HOST_MESSAGE 1004
#define PUBLISH_TIMER 1
#define PUBLISH_INTERVAL_MS 1000

static corvane_feed* g_feed = NULL;
static HWND g_ipc_window = NULL;
static uint64_t g_game_id = 12345;
static uint64_t g_seq = 0;          /* the heartbeat: one more at every publication */
static unsigned g_seconds_left = 0; /* 0: run until Ctrl+C */
static DWORD g_main_thread = 0;

/* CPU load in percent since the previous call, from the system's idle, kernel and user times
 * (kernel time includes idle time). */
static double CpuPercent(void) {
  static ULONGLONG last_idle = 0, last_total = 0;
  FILETIME idle, kernel, user;
  ULONGLONG idle_now, total_now, idle_delta, total_delta;
  if (!GetSystemTimes(&idle, &kernel, &user)) return 0.0;
  idle_now = ((ULONGLONG)idle.dwHighDateTime << 32) | idle.dwLowDateTime;
  total_now = (((ULONGLONG)kernel.dwHighDateTime << 32) | kernel.dwLowDateTime) +
              (((ULONGLONG)user.dwHighDateTime << 32) | user.dwLowDateTime);
  idle_delta = idle_now - last_idle;
  total_delta = total_now - last_total;
  last_idle = idle_now;
  last_total = total_now;
  if (total_delta == 0 || idle_delta > total_delta) return 0.0;
  return 100.0 * (double)(total_delta - idle_delta) / (double)total_delta;
}

/* One publication: the heartbeat, the figures and the style as one JSON document of at most
 * 4096 bytes. "seq" changes at every publication, also when no figure changed, so the overlays
 * can tell a host that hangs from figures that stand still. A real launcher measures the game's
 * frame rate; this sample publishes a steady one. */
static void Publish(void) {
  static char document[CORVANE_FEED_MAX_DOCUMENT_SIZE + 1];
  MEMORYSTATUSEX memory;
  int length;
  memory.dwLength = sizeof memory;
  if (!GlobalMemoryStatusEx(&memory)) memory.ullAvailPhys = memory.ullTotalPhys = 0;
  /* ui_style is a JSON text inside a string: its quotes are escaped. */
  length = snprintf(document, sizeof document,
                    "{\"seq\": %" PRIu64 ", \"fps\": [{\"game_id\": %" PRIu64
                    ", \"cur\": 60.0, \"min\": 58.0, \"max\": 61.0}], "
                    "\"cpu\": %.1f, \"memory\": {\"free\": %" PRIu64 ", \"total\": %" PRIu64
                    "}, "
                    "\"ui_style\": \"{\\\"alpha\\\": 80, \\\"font-size\\\": 14, "
                    "\\\"font-color\\\": \\\"#00ff80\\\", \\\"pos\\\": \\\"top-center\\\", "
                    "\\\"direction\\\": \\\"hor\\\"}\"}",
                    ++g_seq, g_game_id, CpuPercent(), (uint64_t)(memory.ullAvailPhys >> 20),
                    (uint64_t)(memory.ullTotalPhys >> 20));
  if (length < 0 || (size_t)length >= sizeof document) {
    printf("the document does not fit the block\n");
    return;
  }
  /* The block holds the IPC window's handle as 32 bits: window handles fit in them. */
  if (corvane_feed_publish(g_feed, document, (size_t)length, 1,
                           (uint32_t)(uintptr_t)g_ipc_window) != CORVANE_FEED_OK) {
    printf("publish failed: %s\n", corvane_feed_last_message(g_feed));
  } else if (corvane_feed_last_message(g_feed)[0] != '\0') {
    printf("published, with a note: %s\n", corvane_feed_last_message(g_feed));
  } else {
    printf("published %d bytes\n", length);
  }
  fflush(stdout);
}

static LRESULT CALLBACK IpcWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case CORVANE_HOST_MESSAGE:
      /* Posted, never sent: the overlay does not wait for this to return. */
      printf("message 1004: game id %" PRIu64 ", game process id %lu\n", (uint64_t)wparam,
             (unsigned long)lparam);
      fflush(stdout);
      return 0;
    case WM_TIMER:
      if (wparam == PUBLISH_TIMER) {
        Publish();
        if (g_seconds_left != 0 && --g_seconds_left == 0) PostQuitMessage(0);
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

/* Ctrl+C and the console's closing come on a thread of their own: end the message loop. */
static BOOL WINAPI OnConsoleControl(DWORD event) {
  (void)event;
  PostThreadMessageW(g_main_thread, WM_QUIT, 0, 0);
  return TRUE;
}

int main(int argc, char** argv) {
  WNDCLASSW window_class;
  MSG message;
  int status;
  if (argc > 1) g_game_id = _strtoui64(argv[1], NULL, 10);
  if (argc > 2) g_seconds_left = (unsigned)strtoul(argv[2], NULL, 10);
  g_main_thread = GetCurrentThreadId();

  /* NULL: the block every overlay reads. The handle is set even when the open fails, so that
   * the message says why; it is closed in every case. */
  status = corvane_feed_open(NULL, &g_feed);
  if (status != CORVANE_FEED_OK) {
    printf("open failed: %s\n", corvane_feed_last_message(g_feed));
    corvane_feed_close(g_feed);
    return 1;
  }

  ZeroMemory(&window_class, sizeof window_class);
  window_class.lpfnWndProc = IpcWindowProc;
  window_class.hInstance = GetModuleHandleW(NULL);
  window_class.lpszClassName = L"CorvaneSampleHostIpc";
  RegisterClassW(&window_class);
  g_ipc_window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 NULL, window_class.hInstance, NULL);
  if (g_ipc_window == NULL) {
    printf("CreateWindowEx failed: error %lu\n", GetLastError());
    corvane_feed_close(g_feed);
    return 1;
  }
  /* Windows keeps a process at a lower integrity level from posting to the windows of one at a
   * higher level. Corvane runs at medium integrity; a launcher that runs elevated would never
   * get message 1004 unless its IPC window lets it through. A launcher that is not elevated
   * gets Corvane's posts anyway. */
  if (!ChangeWindowMessageFilterEx(g_ipc_window, CORVANE_HOST_MESSAGE, MSGFLT_ALLOW, NULL)) {
    printf("ChangeWindowMessageFilterEx failed: error %lu\n", GetLastError());
  }
  printf("sample host: corvane_feed %s, game id %" PRIu64 ", IPC window %08lX\n",
         corvane_feed_version(), g_game_id, (unsigned long)(uintptr_t)g_ipc_window);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  Publish(); /* at once, then every second */
  SetTimer(g_ipc_window, PUBLISH_TIMER, PUBLISH_INTERVAL_MS, NULL);
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  KillTimer(g_ipc_window, PUBLISH_TIMER);
  DestroyWindow(g_ipc_window);
  corvane_feed_close(g_feed); /* on Windows the block goes with the last handle */
  printf("sample host: done\n");
  return 0;
}
